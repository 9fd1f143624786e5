// Board control: the sampling PLL, the two ADCs and the offset DACs, all
// written through control words the FPGA forwards to the serial devices.
#include <cstdio>

#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "platform/clock.h"

uint16_t ADCGain[2][2];

namespace {
constexpr int kAdcBoth = 128;
constexpr const char* kPhaseNames[8] = {"0", "45", "90", "135", "180", "225", "270", "315"};

bool ValidAdc(int adc) { return adc == 0 || adc == 1 || adc == kAdcBoth; }
bool ValidPhase(int p) { return p >= 0 && p < 8; }
const char* PhaseName(int p) { return ValidPhase(p) ? kPhaseNames[p] : "?"; }
}  // namespace

int control::PllConfig() {
  static const uint16_t kPll[3][2] = {{2001, 48}, {0xF120, 79}, {14370, 1}};
  int rc = 0;
  for (const auto& v : kPll) {
    const Pair seq[] = {{fpga::kPllStrobe, 0}, {fpga::kSerialSelect, 1}, {fpga::kPllDataLow, v[0]}, {fpga::kPllDataHigh, v[1]}, {fpga::kPllStrobe, 1}};
    rc |= SendSequence(seq, 5);
    plat::SleepMs(100);
  }
  return rc;
}

int control::AdcConfig(int adc, int reg, int value) {
  if (!ValidAdc(adc)) return -1;
  const Pair seq[] = {{fpga::kAdcStrobe, 0}, {fpga::kAdcData, uint16_t(value)}, {fpga::kAdcAddress, uint16_t(adc * 256 + (reg & 0xFF))}, {fpga::kAdcStrobe, 1}};
  return SendSequence(seq, 4);
}

// Register 8 carries the delay (top three bits) and the gain (low 13 bits);
// each ADC keeps a shadow so one part is replaced without losing the other.
int control::AdcRegister8(int adc, uint16_t keep, int value) {
  if (!ValidAdc(adc)) return -1;
  int rc = 0;
  for (int a = 0; a < 2; ++a) {
    if (adc != a && adc != kAdcBoth) continue;
    adc8_[a] = uint16_t((adc8_[a] & keep) | (value & ~keep));
    rc |= AdcConfig(a, 8, adc8_[a]);
  }
  return rc;
}

int control::AdcConfig08Delay(int adc, int reg, int value) {
  return reg == 8 ? AdcRegister8(adc, 0x1FFF, value) : -1;
}

int control::AdcConfig08Gain(int adc, int reg, int value) {
  return reg == 8 ? AdcRegister8(adc, 0xE000, value) : -1;
}

int control::AdcPhaseWords(int phase1, int phase2, uint16_t base) {
  std::printf("adc1phase = %d  adc2phase = %d \n", phase1, phase2);
  int rc = 0;
  const int phases[2] = {phase1, phase2};
  for (int a = 0; a < 2; ++a) {
    if (!ValidPhase(phases[a])) {
      rc = -1;
      continue;
    }
    uint16_t word = uint16_t(phases[a] * 16 | base);
    std::printf("Adc%d Phase Word = 0x%x\n", a + 1, word);
    rc |= AdcConfig(a, 41, word);
  }
  return rc;
}

int control::AdcPhase(int phase1, int phase2) { return AdcPhaseWords(phase1, phase2, 0xD10F); }

int control::AdcGainAdj(int adc, int coarse, int fine) {
  if (!ValidAdc(adc)) return -1;
  const uint16_t word = uint16_t((coarse & 15) | 0x600 | (fine & 7) << 4);
  int rc = 0;
  for (int reg : {2, 5, 11, 14}) rc |= AdcConfig(adc, reg, word);
  rc |= AdcConfig08Gain(adc, 8, word);
  rc |= AdcConfig(adc, 17, (coarse & 15) << 5 | 0x200E | (fine & 7) << 9);
  rc |= AdcConfig(adc, 15, 16392);
  return rc;
}

// A packed gain code: coarse in the low four bits, fine in bits 4-6.
int control::AdcGain(int adc, int code) { return AdcGainAdj(adc, code & 15, (code >> 4) & 7); }

int control::AdcTestCodeSel(int adc, int mode, int code) {
  static const int kTestReg108[4] = {0, 2, 4, 8};
  if (!ValidAdc(adc) || mode < 0 || mode > 3) return -1;
  int rc = AdcConfig(adc, 111, code);
  if (mode == 0) return rc | AdcConfig(adc, 30, 295);
  rc |= AdcConfig(adc, 108, kTestReg108[mode]);
  if (mode == 3) rc |= AdcConfig(adc, 30, 0x8127);
  return rc | AdcConfig(adc, 30, 4391);
}

int control::AdcPhaseSync() {
  int counts[4] = {};
  for (int i = 0; i < 1000; ++i) {
    AdcConfig(1, 47, 1);
    plat::SleepMs(50);
    AdcConfig(1, 47, 0);
    plat::SleepMs(10);
    int r = ReadAnyReg(fpga::kAdcSync);
    if (r >= 0) ++counts[r & 3];
  }
  for (int i = 0; i < 4; ++i) std::printf("0x%x :   %d\n", i, counts[i]);
  return 0;
}

// Reset, register set, phases and gains of both ADCs, outputs on, then the
// synchronisation pulse. The early variant beeps first, has its own phase base
// and register 42 value, and pulses ADC 1's register 47 before the sync.
int control::AdcSetUp(int phase1, int phase2, bool early) {
  std::printf("\n\n***** ADC1: %s   ADC2: %s **** \n\n", PhaseName(phase1), PhaseName(phase2));
  if (early) Bee();
  int rc = SendRealControl(fpga::kPllReset, 1);
  plat::SleepMs(100);
  rc |= SendRealControl(fpga::kPllReset, 0);

  rc |= AdcConfig(kAdcBoth, 46, 0xFFFF);
  rc |= AdcConfig(kAdcBoth, 18, 19165);
  rc |= AdcConfig(kAdcBoth, 48, 7);
  for (int reg = 23; reg <= 37; reg += 2) rc |= AdcConfig(kAdcBoth, reg, 16125);
  rc |= AdcConfig(kAdcBoth, 39, 8189);
  for (int reg = 24; reg <= 40; reg += 2) rc |= AdcConfig(kAdcBoth, reg, 303);
  rc |= AdcPhaseWords(phase1, phase2, early ? 0xD101 : 0xD10F);
  rc |= AdcConfig(kAdcBoth, 42, early ? 19494 : 15398);
  rc |= AdcConfig(kAdcBoth, 45, 68);
  rc |= AdcConfig(kAdcBoth, 21, 259);
  rc |= AdcConfig(kAdcBoth, 22, 0xC730);
  rc |= AdcConfig(1, 19, 0x8038);
  rc |= AdcConfig08Delay(1, 8, 0xE600);
  rc |= AdcConfig(1, 36, 295);
  for (int a = 0; a < 2; ++a) rc |= AdcGainAdj(a, ADCGain[a][0], ADCGain[a][1]);
  rc |= AdcConfig(kAdcBoth, 101, 1);

  if (early) {
    rc |= AdcConfig(1, 47, 1);
    rc |= AdcConfig(1, 47, 0);
  }
  rc |= SendRealControl(fpga::kAdcResetStrobe, 1);
  plat::SleepMs(50);
  rc |= SendRealControl(fpga::kAdcResetStrobe, 0);
  plat::SleepMs(50);
  return rc ? -1 : 0;
}

int control::AdcInitSyncVEX4100R(int phase1, int phase2) { return AdcSetUp(phase1, phase2, false); }

int control::AdcInit(int phase1, int phase2) { return AdcSetUp(phase1, phase2, true); }

int control::ChannelDAC_Set(int dac, int value) {
  static const uint16_t kOutBits[4] = {0xC000, 0, 0x8000, 0x4000};
  if (dac < 0 || dac > 3 || value < 0 || value >= 4096) return -1;
  const Pair seq[] = {{fpga::kDacStrobe, 0}, {fpga::kSerialSelect, 2}, {fpga::kDacData, uint16_t(value | 0x1000 | kOutBits[dac])}, {fpga::kDacStrobe, 1}};
  return SendSequence(seq, 4);
}
