// Control words and EEPROM places of the vertical model.
#pragma once
#include "core/eeprom_map.h"

namespace yword {
constexpr int kArm = 122;           // 1 then 0: re-arm the read-out
constexpr int kPause = 128;         // 1 pause, 0 resume acquisition
constexpr int kInvert = 204;        // bit 0 CH1, bit 1 CH2 inverted
constexpr int kGainLoad = 210;      // 1 before a configuration, 3 loads the fine gains
constexpr int kPositionBytes = 212; // CH1 position byte | CH2 << 8
constexpr int ChFineGain[2] = {214, 216};
constexpr int ChSoftOffset[2] = {218, 220};
}  // namespace yword

namespace yee {
constexpr int I2cDiv[2] = {EE_VDIV, EE_VDIV + kEeVdivStride};             // u8 62, 63
constexpr int I2cOffset[2] = {EE_VOFFSET, EE_VOFFSET + kEeOffsetStride};  // u16 66, 68
constexpr int ChProbeItem[2] = {EepromItemAddress(kEeCh1, 6), EepromItemAddress(kEeCh2, 6)};  // 98, 109
constexpr int ChLabel[3] = {EE_CH1_LABEL, EE_CH2_LABEL, EE_CH1_LABEL};
static_assert(ChProbeItem[0] == 98 && ChProbeItem[1] == 109, "probe items of the channel menus");
}  // namespace yee
