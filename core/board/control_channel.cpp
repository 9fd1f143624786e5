// Board control: the analogue front-end word and the per-channel words.
#include <algorithm>

#include "core/messages/settings_lock.h"
#include "core/state/ids.h"
#include "core/board/att_ctrl_table.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"

namespace {
constexpr uint32_t kDcCouplingBit[2] = {1, 512};
constexpr uint32_t kBwLimitBit[2] = {16, 8192};
constexpr int kCouplingDc = 0;
constexpr int kCouplingGnd = 2;
constexpr int kSetupHoldType = 9;

uint32_t TrigCouplingBits(int coupling) {
  switch (coupling) {
    case 1: return 0x840000;
    case 2: return 0xCC0000;
    case 3: return 0x040000;
    case 4: return 0xC00000;
    default: return 0xC40000;
  }
}

uint32_t TrigSourceBits(int source) {
  switch (source) {
    case 1: return 0x100000;
    case 2: return 0x300000;
    case 3: return 0x200000;
    default: return 0;
  }
}
}  // namespace

uint32_t control::FrontEndWord(const FrontEndSetting& s) {
  uint32_t w = 0;
  for (int ch = 0; ch < 2; ++ch) {
    w |= s.rangeBits[ch];
    if (s.coupling[ch] == kCouplingDc) w |= kDcCouplingBit[ch];
    if (s.bwLimit[ch]) w |= kBwLimitBit[ch];
  }
  w |= TrigCouplingBits(s.trigCoupling);
  if (s.trigType != kSetupHoldType) {
    w |= TrigSourceBits(s.trigSource);
  } else {
    // The setup/hold trigger compares on the source its selection puts on
    // word 48: the clock for 0, the data for 1, both otherwise.
    if (s.setupHoldSelection != 1) w |= TrigSourceBits(s.setupHoldClock);
    if (s.setupHoldSelection != 0) w |= TrigSourceBits(s.setupHoldData);
  }
  return w & 0xFFFFFF;
}

int control::AnalogChannelControl(const FrontEndSetting& s) {
  const uint32_t w = FrontEndWord(s);
  const Pair seq[] = {{fpga::kFrontEndStrobe, 0},
                      {fpga::kFrontEndLow, uint16_t(w & 0xFFFF)},
                      {fpga::kFrontEndHigh, uint16_t(w >> 16 & 0xFF)},
                      {fpga::kFrontEndStrobe, 1},
                      {174, uint16_t(s.bwClass == 0 ? 1 : 0)}};
  int rc = SendSequence(seq, 5);
  if (!s.independent) {
    // The front end's settle is part of its caller's change, which may not be split.
    SettingsKeep settle;
    SettingsWaitMs(10);
  }
  return rc;
}

int control::ChGndEnable(const GroundSetting& s) {
  int mask = 0, levels = 0;
  for (int ch = 0; ch < 2; ++ch) {
    if (s.coupling[ch] != kCouplingGnd) continue;
    mask |= 1 << ch;
    int level = std::clamp(s.stopped ? s.stopLevel[ch] : s.level[ch], 0, 255);
    levels |= level << (8 * ch);
  }
  return SendRealControl(fpga::kGround, mask) | SendRealControl(fpga::kGroundLevel, levels);
}

int control::SetChPriority(int activeCh, int sourceMask, int stopSourceMask, int acqStatus) {
  const bool stopped = acqStatus == 4;
  const int on = (stopped ? sourceMask & stopSourceMask : sourceMask) & 3;
  return SendRealControl(fpga::kActiveCh, activeCh > 1 || activeCh < 0 ? 0 : activeCh) | SendRealControl(fpga::kChannelsOn, on * 4);
}

FrontEndSetting control::FrontEndFrom(const _SysRunInfo* run, const uint32_t rangeBits[2]) {
  FrontEndSetting s{};
  for (int ch = 0; ch < 2; ++ch) {
    s.rangeBits[ch] = rangeBits ? rangeBits[ch] : 0;
    s.coupling[ch] = run->vertical[ch].coupling;
    s.bwLimit[ch] = run->vertical[ch].bwLimit;
  }
  s.trigCoupling = run->trigCoupling;
  s.trigType = run->trigType;
  s.trigSource = run->trigSource;
  s.setupHoldData = run->trigSource2;
  s.setupHoldClock = run->trigSource3;
  s.setupHoldSelection = run->setupHoldSel;
  s.bwClass = run->bandwidthClass;
  s.independent = run->independentTimeBase == 1;
  return s;
}

int control::AnalogChannelControl(const _SysRunInfo* run, const uint32_t rangeBits[2]) {
  if (!run || !rangeBits) return -1;
  return AnalogChannelControl(FrontEndFrom(run, rangeBits));
}

int control::AnalogChannelControl(const _SysRunInfo* run) {
  if (!run) return -1;
  const uint32_t bits[2] = {AttCtrlBits(0, run->vertical[0].vdivIndex), AttCtrlBits(1, run->vertical[1].vdivIndex)};
  return AnalogChannelControl(run, bits);
}

int control::ChGndEnable(const _SysRunInfo* run) {
  if (!run) return -1;
  GroundSetting g{};
  for (int ch = 0; ch < 2; ++ch) {
    g.coupling[ch] = run->vertical[ch].coupling;
    g.level[ch] = run->vertical[ch].position;
    g.stopLevel[ch] = run->vertical[ch].positionSelected;
  }
  g.stopped = run->acqStatus[0] == kAcqStopped;
  return ChGndEnable(g);
}

int control::SetChPriority(const _SysRunInfo* run) {
  if (!run) return -1;
  return SetChPriority(run->activeCh, run->sourceOn, run->sourceOnSnapshot, run->acqStatus[0]);
}
