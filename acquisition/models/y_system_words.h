// Control words and EEPROM places of the vertical model.
#pragma once
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"

// The per-channel words of the vertical model.
constexpr int kFineGainWord[2] = {fpga::kFineGainCh1, fpga::kFineGainCh2};
constexpr int kSoftOffsetWord[2] = {fpga::kSoftOffsetCh1, fpga::kSoftOffsetCh2};

namespace yee {
constexpr int I2cDiv[2] = {EE_VDIV, EE_VDIV + kEeVdivStride};             // u8 62, 63
constexpr int I2cOffset[2] = {EE_VOFFSET, EE_VOFFSET + kEeOffsetStride};  // u16 66, 68
constexpr int ChProbeItem[2] = {EepromItemAddress(kEeCh1, 6), EepromItemAddress(kEeCh2, 6)};  // 98, 109
constexpr int ChLabel[3] = {EE_CH1_LABEL, EE_CH2_LABEL, EE_CH1_LABEL};
static_assert(ChProbeItem[0] == 98 && ChProbeItem[1] == 109, "probe items of the channel menus");
}  // namespace yee
