// The run-state record: its byte layout, the accessor rules, the start-up
// defaults, the language list and the channel calibration file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/board/ch_cali_data.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/wave_types.h"
#include "platform/clock.h"
#include "platform/devices/i2c.h"
#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/acquisition/sim_frontend.h"
#include "tests/bench/bench.h"

namespace fs = std::filesystem;

namespace {
std::string FreshRoot() { return NewTempRoot("scope-runinfo"); }

// A UTF-16LE text file with a byte-order mark and CR LF line ends.
void WriteUtf16(const std::string& relative, const std::vector<std::string>& lines) {
  fs::path p = fs::path(plat::RootDir()) / relative;
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f.put(char(0xFF)).put(char(0xFE));
  for (const std::string& l : lines)
    for (char c : l + "\r\n") f.put(c).put(0);
}

std::string CaliPath() { return plat::MapPath(ChCaliDataName); }

std::vector<uint8_t> Bytes(const _SysRunInfo& r) {
  std::vector<uint8_t> b(sizeof r);
  std::memcpy(b.data(), &r, sizeof r);
  return b;
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

bool AllCalibrationFinite() {
  for (const CaliRecord& r : ChSelfCaliData.rec) {
    const float v[] = {r.upperSlope,      r.lowerSlope,     r.trigUpFactor,   r.trigDownFactor,
                       r.trigPosFactor,   r.trigAcPosFactor, r.extDcFactor[0], r.extAcFactor[1]};
    for (float x : v)
      if (!std::isfinite(x)) return false;
  }
  return std::isfinite(SysRunStatus.GetSelfCaliTemperature());
}

// ---- layout ----------------------------------------------------------------

TEST(RunInfoLayout, FieldsLandAtTheirBytesLittleEndian) {
  auto r = std::make_unique<_SysRunInfo>();
  std::memset(r.get(), 0, sizeof *r);
  _SysRunInfoOp op(r.get());
  op.SetAcquireStatus(0, 4);
  op.SetChStatus(0x0103);
  r->trigType = 0x1234;
  r->sourceCode[1] = 0xA1B2C3D4;
  op.SetFuncBit(0x0000000100040002ull);
  op.SetMathExpression("CH1+CH2");
  r->year = 2024;
  r->menuTime = {0x01020304, 7};
  op.SetTemperature(36.5f);
  op.Set_OEM(1);
  op.Set_BW_LIM(1);
  op.SetLanguageCountry(2, "Deutsch");
  r->vertical[1].vdivIndex = 9;
  std::memcpy(r->vertical[1].label, "PROBE", 6);
  r->horizontal[2].autoDepth = 7000.0;
  r->horizontal[0].holdOff = -2;
  r->slewRateText[1] = {1.25, 2};

  const std::vector<uint8_t> b = Bytes(*r);
  ASSERT_EQ(b.size(), 17456u);
  EXPECT_EQ(U16(b, 0), 4);
  EXPECT_EQ(U16(b, 2), 4);
  EXPECT_EQ(U16(b, 8), 0x0103);
  EXPECT_EQ(b[66], 0x34);
  EXPECT_EQ(b[67], 0x12);
  EXPECT_EQ(b[92], 0xD4);
  EXPECT_EQ(b[95], 0xA1);
  EXPECT_EQ(b[936], 0x02);
  EXPECT_EQ(b[938], 0x04);
  EXPECT_EQ(b[940], 0x01);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[842])), "CH1+CH2");
  EXPECT_EQ(U16(b, 1136), 2024);
  EXPECT_EQ(b[2192], 0x04);
  EXPECT_EQ(b[2195], 0x01);
  EXPECT_EQ(b[2196], 7);
  float t;
  std::memcpy(&t, &b[2284], 4);
  EXPECT_EQ(t, 36.5f);
  EXPECT_EQ(b[2288], 1);
  EXPECT_EQ(b[2291], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[2304 + 2 * 20])), "Deutsch");
  EXPECT_EQ(U16(b, 3104 + 152 + 44), 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[3104 + 152 + 140])), "PROBE");
  double d;
  std::memcpy(&d, &b[4928 + 2 * 1008 + 160], 8);
  EXPECT_EQ(d, 7000.0);
  EXPECT_EQ(b[4928 + 736], 0xFE);
  EXPECT_EQ(b[4928 + 743], 0xFF);
  std::memcpy(&d, &b[312], 8);
  EXPECT_EQ(d, 1.25);
  EXPECT_EQ(U16(b, 320), 2);
}

TEST(RunInfoLayout, AnImageWrittenAndReadBackIsUnchanged) {
  FreshRoot();
  auto a = std::make_unique<_SysRunInfo>();
  for (size_t i = 0; i < sizeof *a; ++i) reinterpret_cast<uint8_t*>(a.get())[i] = uint8_t(i * 7 + 3);
  {
    std::ofstream f("image.bin", std::ios::binary);
    f.write(reinterpret_cast<const char*>(a.get()), sizeof *a);
  }
  auto b = std::make_unique<_SysRunInfo>();
  std::ifstream f("image.bin", std::ios::binary);
  f.read(reinterpret_cast<char*>(b.get()), sizeof *b);
  ASSERT_EQ(f.gcount(), std::streamsize(sizeof *b));
  EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof *a), 0);
  EXPECT_EQ(b->trigType, a->trigType);
  EXPECT_EQ(b->horizontal[11].holdOff, a->horizontal[11].holdOff);
}

// ---- accessor rules --------------------------------------------------------

TEST(RunInfoAccess, AcquireStatusFollowsTheIndependentTimeBase) {
  EXPECT_EQ(SysRunStatus.SetAcquireStatus(1, 4), 0);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 4);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(1), 4);
  SysRunStatus.IndependTimeBaseEnable();
  SysRunStatus.SetAcquireStatus(1, 2);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 4);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(1), 2);
  EXPECT_EQ(SysRunStatus.SetAcquireStatus(2, 1), -1);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(-1), -1);
  EXPECT_EQ(SysRunStatus.IsAlternate(), 1);
}

TEST(RunInfoAccess, MemoryDepthAndItsPoints) {
  double points = 0;
  EXPECT_EQ(SysRunStatus.SetMemDepth(6), 6);
  EXPECT_EQ(SysRunStatus.GetMemDepth(&points), 6);
  EXPECT_EQ(points, 56000000.0);
  SysRunStatus.SetFuncBit(0x2);
  SysRunStatus.GetMemDepth(&points);
  EXPECT_EQ(points, 70000000.0);
  EXPECT_EQ(SysRunStatus.SetMemDepth(7), -1);
  EXPECT_EQ(SysRunStatus.GetMemDepth(nullptr), 6);
  SysRunStatus.SetMemDepth(2);
  SysRunStatus.GetMemDepth(&points);
  EXPECT_EQ(points, 70000.0);
  SysRunStatus.SetAcquireMode(2);
  SysRunStatus.SetAcquireMode(4);
  EXPECT_EQ(SysRunStatus.GetAcquireMode(), 2);
  SysRunStatus.SetAcquireAverage(12);
  SysRunStatus.SetAcquireAverage(13);
  int avg = 0;
  EXPECT_EQ(SysRunStatus.GetAcquireAverage(&avg), 12);
  EXPECT_EQ(avg, 12);
  EXPECT_EQ(SysRunStatus.GetAcquireAverage(nullptr), -1);
}

TEST(RunInfoAccess, RangeRulesOfTheSetters) {
  EXPECT_EQ(SysRunStatus.SetWaveDisplayInfor(14, 0, 100), -1);
  EXPECT_EQ(SysRunStatus.SetWaveDisplayInfor(3, -1, 100), -1);
  EXPECT_EQ(SysRunStatus.SetWaveDisplayInfor(13, 33, 200), 0);
  int row = 0, height = 0;
  EXPECT_EQ(SysRunStatus.GetWaveDisplayInfor(13, &row, &height), 0);
  EXPECT_EQ(row, 33);
  EXPECT_EQ(height, 200);
  EXPECT_EQ(SysRunStatus.GetWaveDisplayInfor(14, &row, &height), -1);

  EXPECT_EQ(SysRunStatus.SetMathHoldChannel(6), 0x40);
  EXPECT_EQ(SysRunStatus.SetMathHoldChannel(5), -1);
  EXPECT_EQ(SysRunStatus.ClearMathHoldChannel(8), -1);
  EXPECT_EQ(SysRunStatus.ClearMathHoldChannel(6), 0);
  EXPECT_EQ(SysRunStatus.SetWaveType(3), -1);
  EXPECT_EQ(SysRunStatus.SetWaveType(2), 2);
  EXPECT_EQ(SysRunStatus.SetTrigLevelLowHigh(3), -1);
  EXPECT_EQ(SysRunStatus.SetTrigLevelLowHigh(2), 2);
  EXPECT_EQ(SysRunStatus.SetMathType(5), -1);
  EXPECT_EQ(SysRunStatus.SetFFTSource(2), -1);
  EXPECT_EQ(SysRunStatus.SetCursorEnable(2), -1);
  EXPECT_EQ(SysRunStatus.SetGuidance(2), -1);
  EXPECT_EQ(SysRunStatus.SetTimeBaseAdjFlag(2), -1);
  EXPECT_EQ(SysRunStatus.SetRecordTotal(0), -1);
  EXPECT_EQ(SysRunStatus.SetTriggerSourceCode(2, 1), -1);
  EXPECT_EQ(SysRunStatus.GetTriggerSourceCode(2), -1);
  EXPECT_EQ(SysRunStatus.SetTriggerSourceCode(1, 3), 0);
  EXPECT_EQ(SysRunStatus.GetTriggerSourceCode(1), 3);
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(2), -1);
  EXPECT_EQ(SysRunStatus.GetAutoMemDepthPoints(2), 0.0);
  EXPECT_EQ(SysRunStatus.SetIndependTimeBaseSplit(3), 1);
  EXPECT_EQ(SysRunStatus.SetCustomerFlag(-1), 1);
  EXPECT_EQ(SysRunStatus.SetDebugMsgOnOff(4), 0);
  EXPECT_EQ(SysRunStatus.GetCymometer(4), 0.0);
  EXPECT_STREQ(SysRunStatus.GetCymometerResult(-1), "");
  EXPECT_EQ(SysRunStatus.SetCymometerResult(1, 1234.5, FloatElement{1.2345, kFKilo}), 0);
  EXPECT_EQ(SysRunStatus.GetCymometer(1), 1234.5);
  EXPECT_STREQ(SysRunStatus.GetCymometerResult(1), "1.234KHz");
}

TEST(RunInfoAccess, TextFieldsAreBoundedAndTerminated) {
  const std::string longText(120, 'x');
  EXPECT_EQ(SysRunStatus.SetMathExpression(longText.c_str()), 0);
  char out[kMathText];
  std::memset(out, 'y', sizeof out);
  EXPECT_EQ(SysRunStatus.GetMathExpression(out), 0);
  EXPECT_EQ(std::strlen(out), size_t(kMathText - 1));
  EXPECT_EQ(SysRunStatus.GetMathExpression(nullptr), -1);
  EXPECT_EQ(SysRunStatus.SetMathVoltage(nullptr), -1);
  SysRunStatus.SetMathVoltage("2.00V");
  SysRunStatus.GetMathVoltage(out);
  EXPECT_STREQ(out, "2.00V");
  _SysRunInfo* r = SysRunStatus.GetSysRunInfoBaseAddr();
  EXPECT_EQ(r->mathExpression[kMathText - 1], 0);
  EXPECT_EQ(r->measureMasterSource, 0);  // the field after the text is untouched

  EXPECT_EQ(SysRunStatus.SetLanguageCountry(19, longText.c_str()), kLanguageText - 1);
  EXPECT_EQ(SysRunStatus.SetLanguageCountry(20, "x"), -1);
  char name[kLanguageText];
  EXPECT_EQ(SysRunStatus.GetLanguageCountry(19, name), kLanguageText - 1);
  EXPECT_EQ(SysRunStatus.GetLanguageCountry(-1, name), -1);
  EXPECT_EQ(r->languageType[0][0], 0);  // next table untouched
}

TEST(RunInfoAccess, MenuTimeOverByCode) {
  FreshRoot();
  plat::UseVirtualClock(true);
  plat::HoldVirtualClock(true);
  SysRunStatus.SetMenuDisplayTimeS(3);
  SysRunStatus.RefreshMenuTime();
  plat::AdvanceUs(100000000);
  EXPECT_EQ(SysRunStatus.IsMenuTimeOver(), 0);  // never
  const int limits[3] = {5, 10, 20};
  for (int code = 0; code < 3; ++code) {
    SysRunStatus.SetMenuDisplayTimeS(code);
    SysRunStatus.RefreshMenuTime();
    plat::AdvanceUs((limits[code] - 1) * 1000000LL);
    EXPECT_EQ(SysRunStatus.IsMenuTimeOver(), 0) << code;
    plat::AdvanceUs(1000000);
    EXPECT_EQ(SysRunStatus.IsMenuTimeOver(), 1) << code;
  }
  SysRunStatus.SetMenuDisplayTimeS(7);
  EXPECT_EQ(SysRunStatus.IsMenuTimeOver(), 0);
}

TEST(RunInfoAccess, CopiesFromAStoredImageAreRangeChecked) {
  auto image = std::make_unique<_SysRunInfo>();
  std::memset(image.get(), 0, sizeof *image);
  image->horizontal[1].realTimeBase = 17;
  image->vertical[2].vdivIndex = 11;
  for (int i = 0; i < 7; ++i) image->waveRestoreWords[i] = uint16_t(100 + i);
  _SysRunInfo* r = SysRunStatus.GetSysRunInfoBaseAddr();
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(0, 1, 9, image.get()), 0);
  EXPECT_EQ(r->horizontal[9].realTimeBase, 17);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(1, 2, 11, image.get()), 0);
  EXPECT_EQ(r->vertical[11].vdivIndex, 11);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(2, 0, 0, image.get()), 0);
  EXPECT_EQ(r->waveRestoreWords[6], 106);

  // Indices of a damaged image never reach a table.
  image->vertical[0].vdivIndex = 200;
  image->vertical[0].probe = 99;
  image->vertical[0].position = 1000;
  std::memset(image->vertical[0].label, 'A', sizeof image->vertical[0].label);
  image->horizontal[0].realTimeBase = 500;
  SysRunStatus.UserUpdateRunInfo(1, 0, 8, image.get());
  SysRunStatus.UserUpdateRunInfo(0, 0, 8, image.get());
  EXPECT_EQ(r->vertical[8].vdivIndex, 12);
  EXPECT_EQ(r->vertical[8].probe, 3);
  EXPECT_EQ(r->vertical[8].position, 127);
  EXPECT_EQ(std::strlen(r->vertical[8].label), 8u);
  EXPECT_EQ(r->horizontal[8].realTimeBase, 12);

  const std::vector<uint8_t> before = Bytes(*r);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(0, 3, 9, image.get()), -1);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(1, 0, 12, image.get()), -1);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(0, -1, 8, image.get()), -1);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(1, 0, 7, image.get()), -1);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(3, 0, 8, image.get()), -1);
  EXPECT_EQ(SysRunStatus.UserUpdateRunInfo(0, 0, 8, nullptr), -1);
  EXPECT_EQ(Bytes(*r), before);
}

// ---- language list ---------------------------------------------------------

TEST(LanguageList, ParsedAfterTheHeaderBlanksSkippedAtMostTwenty) {
  FreshRoot();
  std::vector<std::string> lines = {"; languages", "[LANGUAGE]", " English , Western", "Chinese,East"};
  for (int i = 0; i < 25; ++i) lines.push_back("L" + std::to_string(i) + ",Western");
  WriteUtf16(kLanguageListPath, lines);
  EXPECT_EQ(SysRunStatus.LoadLanguageCountry(kLanguageListPath), 20);
  char name[kLanguageText], type[kLanguageText];
  EXPECT_EQ(SysRunStatus.GetLanguageCountry(0, name), 7);
  EXPECT_STREQ(name, "English");
  EXPECT_EQ(SysRunStatus.GetLanguageType(0, type), 0);
  EXPECT_STREQ(type, "Western");
  EXPECT_EQ(SysRunStatus.GetLanguageType(1, type), 1);
  EXPECT_STREQ(type, "East");
  SysRunStatus.GetLanguageCountry(19, name);
  EXPECT_STREQ(name, "L17");
  EXPECT_EQ(SysRunStatus.GetLanguageType(20, type), -1);
}

TEST(LanguageList, LongNamesAreCutAndBadFilesRefused) {
  FreshRoot();
  WriteUtf16(kLanguageListPath, {"[LANGUAGE]", std::string(40, 'N') + "," + std::string(40, 'T')});
  EXPECT_EQ(SysRunStatus.LoadLanguageCountry(kLanguageListPath), 1);
  char name[kLanguageText];
  EXPECT_EQ(SysRunStatus.GetLanguageCountry(0, name), kLanguageText - 1);
  EXPECT_EQ(SysRunStatus.LoadLanguageCountry("Data/Menu/Missing.txt"), -1);
  std::ofstream(plat::MapPath("Data/Menu/NoMark.txt")) << "[LANGUAGE]\r\nEnglish,Western\r\n";
  EXPECT_EQ(SysRunStatus.LoadLanguageCountry("Data/Menu/NoMark.txt"), -1);
  EXPECT_EQ(SysRunStatus.LoadLanguageCountry(nullptr), -1);
}

// ---- start-up defaults -----------------------------------------------------

TEST(RunInfoInit, DefaultsAfterStartUp) {
  FreshRoot();
  WriteUtf16(kLanguageListPath, {"[LANGUAGE]", "English,Western", "Chinese,East", "Deutsch,Western"});
  std::vector<uint8_t> e(512, 0xFF);
  e[EE_FORMAT_MARK] = kEepromFormatMark;
  e[EE_LANGUAGE] = 2;
  plat::SimEepromSetImage(e);
  plat::SetWallTime(1700000000);  // 2023-11-14 22:13:20 UTC
  _SysRunInfo* r = SysRunStatus.GetSysRunInfoBaseAddr();
  std::memset(r, 0x5A, kRunInfoClearedHead);  // left-overs to be cleared
  r->keyPushed = 1;

  EXPECT_EQ(SysRunStatus.SysRunInit(), 0);
  EXPECT_EQ(r->startupMark, 255);
  EXPECT_EQ(r->readBlockSize, 8192u);
  EXPECT_EQ(r->memDepthIndex, 1);
  EXPECT_EQ(SysRunStatus.GetWaveType(), kWaveRaster);  // normal mode from the time base
  EXPECT_EQ(SysRunStatus.IsMenuStatus(), 1);
  EXPECT_EQ(SysRunStatus.GetTaskDisplayWaveBit(), 0);
  EXPECT_EQ(SysRunStatus.GetAcquireMode(), 0);
  EXPECT_EQ(SysRunStatus.GetTrigType(), 0);
  EXPECT_EQ(SysRunStatus.GetMathType(), 0);
  EXPECT_EQ(SysRunStatus.IsIndependTimeBase(), 0);
  EXPECT_EQ(SysRunStatus.GetFuncBits(), 0u);
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 2);
  EXPECT_EQ(r->language, 2);
  EXPECT_EQ(SysRunStatus.Get_BW_LIM(), 1);
  EXPECT_EQ(SysRunStatus.IsDrawRefresh(), 1);
  EXPECT_EQ(SysRunStatus.IsPushKey(), 0);
  EXPECT_EQ(r->cursorOn, 0);            // cleared head
  EXPECT_EQ(r->trigCoupling, 0);
  for (const WaveSlot& s : r->waveSlot) {
    EXPECT_EQ(s.row, 233);
    EXPECT_EQ(s.height, 400);
  }
  char name[kLanguageText];
  SysRunStatus.GetLanguageCountry(2, name);
  EXPECT_STREQ(name, "Deutsch");
  EXPECT_EQ(r->year, 2023);
  EXPECT_EQ(r->month, 11);
  EXPECT_EQ(r->day, 14);
  EXPECT_EQ(r->hour, 22);
  EXPECT_EQ(r->minute, 13);
  EXPECT_GE(r->second, 20);  // the wall clock runs on while start-up programs the board
  EXPECT_LE(r->second, 21);
  EXPECT_EQ(SysRunStatus.GetSelfCaliTemperature(), plat::simfe::kSelfCaliTemperature);
}

TEST(RunInfoInit, ABadLanguageIndexGivesTheFirstLanguage) {
  FreshRoot();  // blank EEPROM: byte 1 reads 0xFF
  SysRunStatus.SysRunInit();
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 0);
  plat::SimI2cTransfersFail(true);
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 0);
  plat::SimI2cTransfersFail(false);
  I2cStorage.I2C_WriteU8(EE_LANGUAGE, 20);
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 0);
  I2cStorage.I2C_WriteU8(EE_LANGUAGE, 19);
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 19);
}

TEST(RunInfoInit, StartUpOfTheBenchTakesLanguageAndCalibration) {
  {
    Bench bench;
    WriteUtf16(kLanguageListPath, {"[LANGUAGE]", "English,Western", "Chinese,East"});
    std::vector<uint8_t> img(512, 0xFF);
    img[EE_FORMAT_MARK] = kEepromFormatMark;
    img[EE_LANGUAGE] = 1;
    img[EE_TASK_ID] = 0;
    img[EE_TASK_ID + 1] = 12;
    img[EE_TASK_PAGE] = 0;
    bench.SetEeprom(img);
    ASSERT_EQ(bench.Start(), 0);
    EXPECT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->language, 1);
    char type[kLanguageText];
    EXPECT_EQ(SysRunStatus.GetLanguageType(1, type), 1);
    EXPECT_EQ(bench.EepromByte(EE_LANGUAGE), 1);
    EXPECT_EQ(SysRunStatus.GetSelfCaliTemperature(), plat::simfe::kSelfCaliTemperature);
    // The sync table copies the registered modules' items.
    EXPECT_EQ(SysRunStatus.SysRunInfoSync(kEeCh1), 6);
    EXPECT_EQ(SysRunStatus.SysRunInfoSync(kEeUtility), 1);
    EXPECT_EQ(SysRunStatus.SysRunInfoSync(kEeMath), 2);
    EXPECT_EQ(SysRunStatus.SysRunInfoSync(63), -1);
  }
}

TEST(RunInfoInit, ASettingWrittenThroughIsRestoredFromTheRootsImage) {
  const std::string root = FreshRoot();
  SysRunStatus.SysRunInit();
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 0);
  I2cStorage.I2C_WriteU8(EE_LANGUAGE, 4);
  FreshRoot();  // another instrument: blank
  SysRunStatus.SysRunInit();
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 0);
  ASSERT_TRUE(plat::InitRoot(root));  // the first one again, as after a power cycle
  SysRunStatus.SysRunInit();
  EXPECT_EQ(SysRunStatus.GetCurrLanguage(), 4);
}

// ---- calibration file ------------------------------------------------------

TEST(CaliData, TheShippedFileLoadsWithTheFrontEndsNumbers) {
  FreshRoot();
  ASSERT_EQ(fs::file_size(CaliPath()), uintmax_t(kCaliFileBytes));
  ASSERT_EQ(SysRunStatus.LoadChCaliData(), 0);
  namespace fe = plat::simfe;
  for (int ch = 0; ch < 2; ++ch) {
    for (int range = kCaliFirstRange; range <= kCaliLastRange; ++range) {
      const CaliRecord& r = *ChSelfCaliData.Record(ch, range);
      EXPECT_EQ(r.centreDac, fe::OffsetDacCentre(ch));
      EXPECT_FLOAT_EQ(r.upperSlope, float(fe::kOffsetDacPerCode));
      EXPECT_FLOAT_EQ(r.lowerSlope, float(fe::kOffsetDacPerCode));
      EXPECT_FLOAT_EQ(r.trigUpFactor, float(fe::kTrigDacPerCode));
      EXPECT_FLOAT_EQ(r.trigDownFactor, float(fe::kTrigDacPerCode));
      EXPECT_FLOAT_EQ(r.trigPosFactor, float(fe::kTrigDacPerCode));
      EXPECT_FLOAT_EQ(r.trigAcPosFactor, float(fe::kTrigDacPerCode));
      EXPECT_EQ(r.trigDc.zero, fe::TrigDacZero(ch));
      EXPECT_EQ(r.adcGain1, fe::kAdcGainCoarse);
    }
  }
  const CaliRecord& r16 = *ChSelfCaliData.Record(0, 16);
  EXPECT_EQ(r16.extDc.zero, fe::kExtTrigDacZero);
  EXPECT_EQ(ChSelfCaliData.Record(0, 9)->extDcFactor[0], 3.0f);
  // An offset DAC code computed as the vertical model does lands where the
  // simulated front end puts 0 V.
  const CaliRecord& r = *ChSelfCaliData.Record(1, 9);
  for (int p : {-73, 27, 127, 200, 327}) {
    const float slope = p >= 127 ? r.upperSlope : r.lowerSlope;
    const int dac = int((127 - p) * slope) + r.centreDac;
    EXPECT_DOUBLE_EQ(fe::ZeroPosition(1, dac), p);
  }
  EXPECT_EQ(SysRunStatus.GetSelfCaliTemperature(), fe::kSelfCaliTemperature);
}

TEST(CaliData, MissingShortOrZeroedFilesGiveFiniteValues) {
  FreshRoot();
  fs::remove(CaliPath());
  EXPECT_EQ(SysRunStatus.LoadChCaliData(), -1);
  EXPECT_TRUE(AllCalibrationFinite());
  EXPECT_EQ(ChSelfCaliData.Record(0, 9)->centreDac, 0);

  std::ofstream(CaliPath(), std::ios::binary) << std::string(1000, '\x11');
  EXPECT_EQ(SysRunStatus.LoadChCaliData(), -1);
  EXPECT_EQ(ChSelfCaliData.Record(0, 0)->reserved0[0], 0);  // nothing of it is used
  EXPECT_TRUE(AllCalibrationFinite());

  std::ofstream(CaliPath(), std::ios::binary) << std::string(kCaliFileBytes, '\0');
  EXPECT_EQ(SysRunStatus.LoadChCaliData(), 0);
  EXPECT_TRUE(AllCalibrationFinite());
  EXPECT_EQ(ChSelfCaliData.Record(1, 16)->upperSlope, 0.0f);

  std::string nan(kCaliFileBytes, '\0');
  const float n = std::nanf("");
  std::memcpy(&nan[kCaliTempOffset], &n, 4);
  std::ofstream(CaliPath(), std::ios::binary) << nan;
  EXPECT_EQ(SysRunStatus.LoadChCaliData(), 0);
  EXPECT_EQ(SysRunStatus.GetSelfCaliTemperature(), 0.0f);
}

TEST(CaliData, SaveWritesTheWholeBlockWithTheTemperatureAndReloads) {
  FreshRoot();
  ASSERT_EQ(SysRunStatus.LoadChCaliData(), 0);
  plat::UseVirtualClock(true);
  SysRunStatus.SetTemperature(31.5f);
  ChSelfCaliData.Record(0, 12)->upperDac = 1100;
  EXPECT_EQ(SysRunStatus.SaveAnalogChCaliData(), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 10);
  ASSERT_EQ(fs::file_size(CaliPath()), uintmax_t(kCaliFileBytes));
  std::ifstream f(CaliPath(), std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(f)), {});
  float t;
  std::memcpy(&t, &file[kCaliTempOffset], 4);
  EXPECT_EQ(t, 31.5f);
  EXPECT_EQ(SysRunStatus.GetSelfCaliTemperature(), 31.5f);
  // Reloaded: the slope follows the changed point (|1100 - 2048| / 100).
  EXPECT_FLOAT_EQ(ChSelfCaliData.Record(0, 12)->upperSlope, 9.48f);
}

TEST(CaliData, AFailedSaveRaisesTheFailureMessage) {
  FreshRoot();
  plat::UseVirtualClock(true);
  fs::remove_all(plat::MapPath("/home/user/Hardware"));
  std::ofstream(plat::MapPath("/home/user/Hardware")) << "not a folder";
  QelMsg.ClearMessage();
  EXPECT_EQ(SysRunStatus.SaveChChCaliData(), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 11);
}
}  // namespace
