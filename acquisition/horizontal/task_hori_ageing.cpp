// The ADC ageing test of service pages 12 and 13: a sweep of each chosen
// channel's position across the ADC codes, then rounds of the middle phase
// test; counts, rates and the result shown on screen, the table kept in
// "AdcMessage/AdcResult.bin" and the flyline offsets written to the USB disk.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "acquisition/horizontal/task_hori_service_internal.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "platform/clock.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "acquisition/system_module/task_system.h"
#include "core/menu/draw_hooks.h"
#include "core/board/fpga_words.h"

namespace hori {
namespace {
constexpr int kMsgShown = 12, kMsgCleared = 43, kMsgDetecting = 115;
constexpr int kEeAgeMark = 12, kEeAgeCounter = 13, kEeAgeResult = 17;
constexpr uint8_t kAgeMark = 153;
constexpr int kAgeVdiv = 12;
constexpr int kAgeWaveBright = 100;  // percent: the sweep's trace at full brightness
constexpr int kStartPos[2] = {160, 127};
constexpr int kSweepEnd = 203, kMiddlePos = 56;
constexpr int kAgeTimeBase = 21, kAgeTimeBaseType1 = 28, kAgeTimeBaseLimit = 30;
constexpr int kNormalTimeBase = 16, kNormalLimit = 25;
constexpr int64_t kPassUs = 20000;
constexpr int kRoundsAgeing = 10, kRoundsQc = 1;
constexpr double kMiddlePassRate = 99.7;
constexpr int kCodeTolerance = 4;
constexpr char kResultFile[] = "AdcMessage/AdcResult.bin";
constexpr char kMessageFile[] = "AdcMessage/Testing1.txt";
constexpr char kFlyLineDir[] = "/udisk/FilyLine";
constexpr char kOffsetFile[] = "/udisk/FilyLine/Offset.txt";
constexpr int kMessageBytes = 100;
constexpr int kText = 0xFFFFFF;

char MessageText[kMessageBytes + 1] = {};  // the text shown by "Message"
bool MessageShown = false;

double Rate(int32_t part, int32_t other) {
  const int64_t all = int64_t(part) + other;
  return all > 0 ? 100.0 * double(part) / double(all) : 0.0;
}

bool SaveTable(const AgeingTable& t) {
  mkdir(plat::MapPath("AdcMessage").c_str(), 0755);
  FILE* f = std::fopen(plat::MapPath(kResultFile).c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(&t, sizeof t, 1, f) == 1;
  std::fclose(f);
  if (ok && Run().GetUsbInsertStatus()) {
    plat::ShellSystem("cp AdcMessage/AdcResult.bin  /udisk/FilyLine");
    plat::ShellSystem("sync");
  }
  return ok;
}

bool LoadTable(AgeingTable* t) {
  FILE* f = std::fopen(plat::MapPath(kResultFile).c_str(), "rb");
  if (!f) return false;
  AgeingTable read{};
  const bool ok = std::fread(&read, sizeof read, 1, f) == 1;
  std::fclose(f);
  if (ok) *t = read;
  return ok;
}

// Whether channel ch's codes of the last acquisition hold its position.
bool CodesAt(int ch, int position) {
  control& b = *Sys().board;
  const int hi = (b.ReadAnyReg(fpga::kMax) >> (8 * ch)) & 0xFF;
  const int lo = (b.ReadAnyReg(fpga::kMin) >> (8 * ch)) & 0xFF;
  return lo - kCodeTolerance <= position && position <= hi + kCodeTolerance;
}

void WriteOffsets(const AgeingTable& t) {
  if (!Run().GetUsbInsertStatus()) return;
  mkdir(plat::MapPath(kFlyLineDir).c_str(), 0755);
  FILE* f = std::fopen(plat::MapPath(kOffsetFile).c_str(), "a");
  if (!f) return;
  std::fprintf(f, "CH1 Offset %d \n", t.offset[0]);
  std::fprintf(f, "CH2 Offset %d \n", t.offset[1]);
  std::fclose(f);
}

void ADC_TestStart(int type) {
  Service& s = Svc();
  Draw().waveBright(kAgeWaveBright);
  y_system& v = *Sys().vertical;
  x_system& tb = *Sys().timeBase;
  const bool on[2] = {Item(kAdcTest4) != 0, Item(kAdcTest5) != 0};
  for (int ch : {0, 1}) {
    v.SetChOnOff(ch, on[ch] ? 1 : 0);
    if (!on[ch]) continue;
    v.SetYsensitivity(ch, kAgeVdiv);
    v.SetRealYsensitivity(ch, kAgeVdiv);
    v.SetYposition(ch, kStartPos[ch]);
    v.SetRealYposition(ch, kStartPos[ch]);
    s.ageSweep[ch] = kStartPos[ch];
  }
  s.age = AgeingTable{};
  SetAdcTestMode(type == 2 ? 2 : 1);
  AdcTestingTimeStart();
  s.ageMiddle = false;
  s.ageRounds = 0;
  s.ageNoPhaseCheck = false;
  tb.SetMaxRealAndRollTimeBase(0, kAgeTimeBaseLimit);
  const int timeBase = Item(kAgeType) == 1 ? kAgeTimeBaseType1 : kAgeTimeBase;
  tb.SetTimeBase(0, timeBase);
  tb.SetRealTimeBase(0, timeBase);
  tb.AdjTimeBase(0, 0);
  Sys().board->SysSample();
  Manager().AddUserTaskDisplay(kHoriTaskId, 3, 0);
  Manager().AddUserTaskProcess(kHoriTaskId, 2, 0);
  if (Sys().eeprom->I2C_ReadU8(kEeAgeMark) != kAgeMark) Sys().eeprom->I2C_WriteU8(kEeAgeMark, kAgeMark);
}

// The middle test's verdict, also for a run stopped before its last round.
void SetVerdict(const AgeingTable& t) {
  SetAdcPassFailFlag(Rate(t.centrePass, t.centreFail) >= kMiddlePassRate);
}

void TestEnd(int itemValue) {
  Service& s = Svc();
  SetVerdict(s.age);
  x_system& tb = *Sys().timeBase;
  Sys().board->SendRealControl(fpga::kDisplayWord2, itemValue);
  tb.SetMaxRealAndRollTimeBase(0, kNormalLimit);
  tb.SetTimeBase(0, kNormalTimeBase);
  tb.SetRealTimeBase(0, kNormalTimeBase);
  tb.AdjTimeBase(0, 0);
  Sys().board->SysSample();
  SaveTable(s.age);
  SetAdcTestMode(0);
  s.ageMiddle = false;
  Manager().DelUserTaskProcess(kHoriTaskId);
}

int RunItem(keypara k, int n, int type) {
  const int v = M().AdjMenuItemPara(k, n);
  if (v)
    ADC_TestStart(type);
  else if (Svc().age.mode)
    TestEnd(v);
  return 0;
}
}  // namespace

bool AgeingRunning() { return GetAdcTestMode() != 0; }
void SetAdcTestMode(int mode) { Svc().age.mode = mode; }
int GetAdcTestMode() { return Svc().age.mode; }
void SetAdcPassFailFlag(int passed) { Svc().age.passFail = passed ? 1 : 0; }
void AdcTestingTimeStart() { Svc().age.startUs = plat::MonoUs(); }

void AdTestingPorcess() {
  Service& s = Svc();
  if (!s.age.mode) return;
  const int64_t now = plat::MonoUs();
  if (now - s.ageLastUs < kPassUs) return;
  s.ageLastUs = now;
  AgeingTable& t = s.age;
  y_system& v = *Sys().vertical;
  if (!s.ageMiddle) {
    bool done = true;
    for (int ch : {0, 1}) {
      if (!(Run().GetChStatus() >> ch & 1) || s.ageSweep[ch] >= kSweepEnd) continue;
      if (CodesAt(ch, s.ageSweep[ch]))
        ++t.pass[ch];
      else
        ++t.fail[ch];
      t.offset[ch] = s.ageSweep[ch] - kStartPos[ch];
      v.SetRealYposition(ch, ++s.ageSweep[ch]);
      done = done && s.ageSweep[ch] >= kSweepEnd;
    }
    if (!done) return;
    v.SetRealYposition(0, kMiddlePos);
    s.ageMiddle = true;
    return;
  }
  short result = 0;
  const int rc = AdcPhaseDetection(0, &result);
  if (rc < 0) s.ageNoPhaseCheck = true;
  if (rc > 0)  // 1: a clean picture
    ++t.centrePass;
  else
    ++t.centreFail;
  std::printf("MiddlePassRate = %lf \n", Rate(t.centrePass, t.centreFail));
  const int rounds = t.mode == 2 ? kRoundsQc : kRoundsAgeing;
  if (++s.ageRounds < rounds) return;
  SetVerdict(t);
  WriteOffsets(t);
  Sys().eeprom->I2C_WriteU8(kEeAgeResult, uint8_t(t.passFail));
  Sys().eeprom->I2C_WriteU32(kEeAgeCounter, ++s.ageCounter);
  // The screen with the result, next to the offsets on the disk.
  char shot[32];
  std::snprintf(shot, sizeof shot, "FlyLine_%d", int(s.ageCounter));
  if (Run().GetUsbInsertStatus()) PrintScreen(kFlyLineDir, shot);
  SetItem(kAgeRun, 0);
  SetItem(kAgeQc, 0);
  TestEnd(0);
}

void AgeingDisplay() {
  Service& s = Svc();
  const AgeingTable& t = s.age;
  const bool result = t.centrePass + t.centreFail > 0;  // a finished run's result stays shown
  if (!s.age.mode && !MessageShown && !s.phaseResultShown && !result) return;
  char line[200];
  int row = 60;
  auto put = [&](const char* text) {
    Draw().drawString(row, 40, text, kText);
    row += 18;
  };
  int16_t init = 0, p1 = 0, p2 = 0;
  Run().GetAdcPhaseInformation(&p1, &p2, &init, nullptr);
  char phases[100];
  std::snprintf(phases, sizeof phases, "ADCInitPhase : %d  ADC1 Phase : %d     ADC2 Phase  : %d ", init, p1, p2);
  if (!s.age.mode && !MessageShown && !result) {  // the phase calibration's result only
    put(phases);
    return;
  }
  const int64_t minutes = t.startUs ? (plat::MonoUs() - t.startUs) / 60000000 : 0;
  std::snprintf(line, sizeof line,
                "Temp:  %3.2f Hour: %d  Min: %d    Ch1 PassCnt = %d  FailCnt = %d  Ch2 PassCnt = %d  FailCnt = %d",
                double(Run().GetTemperature()), int(minutes / 60), int(minutes % 60), t.pass[0], t.fail[0],
                t.pass[1], t.fail[1]);
  put(line);
  std::snprintf(line, sizeof line, "Ch1 PassRate = %3.4lf%%    FailRate = %3.4lf%%   Ch2 PassRate = %3.4lf%%   FailRate = %3.4lf%% ",
                Rate(t.pass[0], t.fail[0]), Rate(t.fail[0], t.pass[0]), Rate(t.pass[1], t.fail[1]),
                Rate(t.fail[1], t.pass[1]));
  put(line);
  std::snprintf(line, sizeof line, "Center  PassCnt : %d  FailCnt : %d  ", t.centrePass, t.centreFail);
  put(line);
  std::snprintf(line, sizeof line, "Center  PassRate : %3.5lf %%", Rate(t.centrePass, t.centreFail));
  put(line);
  if (!t.mode && t.centrePass + t.centreFail > 0) {
    if (t.passFail) {
      put("ADC Centered Flyline Test Pass. ");
    } else {
      put("Warning: ADC Centered Flyline Test Fail! ");
      put("Please check or replace ADC ! ");
    }
  }
  if (s.ageNoPhaseCheck) put("Warning! ADC Phase Match Fail .");
  put(phases);
  if (MessageShown) put(MessageText);
}
}  // namespace hori

using namespace hori;

int ADC_AGE(keypara k) { return RunItem(k, kAgeRun, 1); }
int ADC_AGE_QC(keypara k) { return RunItem(k, kAgeQc, 2); }
int ADC_Type(keypara k) { return M().AdjMenuItemPara(k, kAgeType); }

int ADC_AGE_Mesage(keypara) {
  if (AgeingRunning()) {
    Message(kMsgDetecting);
    return 0;
  }
  std::memset(MessageText, 0, sizeof MessageText);
  FILE* f = std::fopen(plat::MapPath(kMessageFile).c_str(), "rb");
  if (f) {
    const size_t n = std::fread(MessageText, 1, kMessageBytes, f);
    MessageText[n] = 0;
    std::fclose(f);
  } else {
    std::snprintf(MessageText, sizeof MessageText, "%s", "No Message!");
  }
  LoadTable(&Svc().age);
  Svc().age.mode = 0;
  MessageShown = true;
  Manager().AddUserTaskDisplay(kHoriTaskId, 3, 0);
  Message(kMsgShown);
  return 0;
}

int ADC_AGE_MesageClear(keypara) {
  plat::ShellSystem("rm AdcMessage/*.*");
  const iic_item batch[] = {IicU8(kEeAgeMark, kAgeMark), IicU32(kEeAgeCounter, 0), IicU8(kEeAgeResult, 0),
                            IicEnd()};
  Sys().eeprom->I2C_BatchWrite(batch);
  Svc().ageCounter = 0;
  Message(kMsgCleared);
  return 0;
}

int Gain50mv_Test6(keypara) {
  short result = 0;
  if (AdcPhaseDetection(0, &result) < 0) {
    Svc().ageNoPhaseCheck = true;
    ServiceNote("ADC phase detection needs the instrument's board: not run here.");
  }
  Sys().board->Bee();
  Run().SetDrawRefresh();
  return 0;
}
