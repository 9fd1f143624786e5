// The acquire module's SCPI commands: the ACQUIRE key and its lock, the
// acquisition mode, the averaging count and the memory depth. Setters write
// the item, rerun its handler with no key and then the page handler; queries
// answer from the items.
#include <cstdio>

#include "acquisition/acquire/task_acquire.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"

namespace {
constexpr int kRollTimeBase = 26;  // from here on auto sweep rolls: no averaging
constexpr int kTrigAuto = 0;
constexpr int kModeNormal = 0;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

const scpipara kModes[] = {
    {"NORMal", 0}, {"PEAKdetect", 1}, {"HRESolution", 2}, {"AVERage", 3}, {"", -1}};
const scpipara kCounts[] = {{"2", 0},    {"4", 1},    {"8", 2},     {"16", 3},    {"32", 4},
                            {"64", 5},   {"128", 6},  {"256", 7},   {"512", 8},   {"1024", 9},
                            {"2048", 10}, {"4096", 11}, {"8192", 12}, {"", -1}};
const scpipara kDepths[] = {{"AUTO", 0}, {"7K", 1},  {"70K", 2}, {"700K", 3},
                            {"7M", 4},   {"35M", 5}, {"56M", 6}, {"", -1}};

Menu& M() { return TaskAcquire.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
_SysRunInfoOp& Run() { return *SystemResource.runStatus; }

// The pattern of the row whose value is `v`, "" when none.
const char* KeywordOf(const scpipara* words, int v) {
  for (int i = 0; words[i].pattern[0]; ++i)
    if (words[i].value == v) return words[i].pattern;
  return "";
}

// Auto sweep rolls on block 0's time base: no averaging.
bool Rolls() { return Run().GetTriggerMode() == kTrigAuto && Run().GetRealTimeBase(0) >= kRollTimeBase; }

void CommonOp() {
  AcquireMenuOp(kNoKey);
  std::printf("\n ----Scpi_AcquireCommonOp----");
  Run().SetDrawRefresh();
}

// Scpi_Key_Acquire, Scpi_Key_AcquireLock, Scpi_Key_AcquireLockAsk.
using AcquireKey = ScpiKeyTrio<kKeyAcquire, kKeyAcquire>;

void Scpi_Acquire_Mode(scpi_para*, char* p) {
  int mode = ScpiKeyword(kModes, p);
  if (mode < 0) return;
  if (mode == kAcqModeAverage && Rolls()) mode = kModeNormal;
  M().SetMenuItem(kAcqMode, uint64_t(mode));
  Acqure_Mode(kNoKey);
  CommonOp();
}

void Scpi_Acquire_GetMode(scpi_para*, char*) { ScpiAnswer(KeywordOf(kModes, Item(kAcqMode))); }

void Scpi_Acquire_SetAverageNum(scpi_para*, char* p) {
  const int sel = ScpiKeyword(kCounts, p);
  if (sel < 0 || ScpiRefuseIf(Rolls())) return;  // the panel greys averaging meanwhile
  TaskAcquire.SetAverageSel(sel);
  M().SetMenuItem(kAcqAverage, uint64_t(TaskForAcquire::Average[sel]));
  M().SetMenuItem(kAcqMode, kAcqModeAverage);
  Acqure_Mode(kNoKey);
  Acqure_Average(kNoKey);
  CommonOp();
}

void Scpi_Acquire_GetAverageNum(scpi_para*, char*) {
  ScpiAnswerNumber(Item(kAcqAverage));
}

void Scpi_Acquire_SetMemDepth(scpi_para*, char* p) {
  const int depth = ScpiKeyword(kDepths, p);
  if (depth < 0) return;
  M().SetMenuItem(kAcqMemDepth, uint64_t(depth));
  Acqure_MemDepth(kNoKey);
  CommonOp();
}

void Scpi_Acquire_GetMemDepth(scpi_para*, char*) { ScpiAnswer(KeywordOf(kDepths, Item(kAcqMemDepth))); }
}  // namespace

template <>
const char* AcquireKey::name = "Acquire";

instr TaskAcquireInstrStandard[] = {
    SCPI_KEY_ROWS("KEY:ACQuire", AcquireKey),
    {"ACQuire:TYPE", Scpi_Acquire_Mode},
    {"ACQuire:TYPE?", Scpi_Acquire_GetMode},
    {"ACQuire:AVERages:COUNt", Scpi_Acquire_SetAverageNum},
    {"ACQuire:AVERages:COUNt?", Scpi_Acquire_GetAverageNum},
    {"ACQuire:MEMory:DEPTh", Scpi_Acquire_SetMemDepth},
    {"ACQuire:MEMory:DEPTh?", Scpi_Acquire_GetMemDepth},
    {"", nullptr},
};
