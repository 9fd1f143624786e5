// The multi-scope mode: the FPGA reloaded with its independent time-base
// configuration, both channels set up as two oscilloscopes with their own
// time base and trigger, the other menus restricted; split screen, the set-up
// re-established without a reload, and the sampling restart.
#include "acquisition/horizontal/task_hori_internal.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/system_module/task_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/menu/draw_hooks.h"
#include "core/messages/msg.h"
#include "core/messages/settings_lock.h"
#include "core/state/wave_types.h"

namespace {
using namespace hori;

constexpr int kConfigNormal = 0, kConfigMultiScope = 1;
constexpr int64_t kRecordCentre = x_system::kRecordCentre;
constexpr int kZeroCode = 127;
constexpr int kFreqGate = 2, kFreqPeriod = 3;
constexpr int kUtilityOutItem = 6;
constexpr int kAcqMemDepthItem = 2;
constexpr uint32_t kAcqItemHidden = 0x8;
constexpr uint32_t kDisabledBit = MENU_ATTR_DISABLED;
constexpr int kTriggerChoices = 17;
constexpr int kSplitRow[2] = {133, 333}, kSplitHeight = 200;
constexpr int kFullRow = 233, kFullHeight = 400;

// The menus restricted while multi-scope is on: choice masks, and the choice
// counts of the trigger types' source items.
struct Restriction {
  int task, item;
  uint32_t mask;
  int choices;  // 0: unchanged
};
const Restriction kRestrictions[] = {
    {kTriggerTask, 1, 0xc, 0},      {kTriggerTask, 6, 0xc, 0},      {kTriggerTask, 100, 6, 0},
    {kTriggerTask, 0, 0xfffc, 2},   {kTriggerTask, 5, 0xfffc, 2},   {kCursorTask, 2, 4, 0},
    {kMeasureTask, 0, 4, 0},        {kMeasureTask, 1, 4, 0},
};

control& Board() { return *Sys().board; }
x_system& Tb() { return *Sys().timeBase; }
y_system& Vert() { return *Sys().vertical; }
trig_system& Trig() { return *Sys().trigger; }

void SetTaskItemDisabled(int task, int n, uint32_t bit, bool disabled) {
  const uint32_t a = uint32_t(M().GetTaskItemAttribute(task, n));
  M().SetTaskItemAttribute(task, n, disabled ? a | bit : a & ~bit);
}

void Restrict(bool on) {
  for (const Restriction& r : kRestrictions) {
    M().SetTaskItemParaAttribute(r.task, r.item, on ? r.mask : 0);
    if (r.choices) M().SetTaskMenuItemMaxSel(r.task, r.item, on ? r.choices : kTriggerChoices);
  }
}

// The PLL configured again and the ADCs re-synchronised with the phases kept
// in the run state.
void ResyncAdcs(bool setPhases) {
  int16_t p1 = 0, p2 = 0;
  Run().GetAdcPhaseInformation(&p1, &p2, nullptr, nullptr);
  Board().PllConfig();
  Board().AdcInitSyncVEX4100R(p1, p2);
  if (setPhases) Board().AdcPhase(p1, p2);
}

// The re-sync once the settings are whole, with the settings lock let go
// (the board's own sequence changes no setting), then the settings sent again.
void ResyncAdcsLetGo(bool setPhases) {
  {
    SettingsLetGo resyncing;
    ResyncAdcs(setPhases);
  }
  SystemAllParaReSet();
}

void ShowMessageNow(int n) {
  Message(n);
  msginfo info;
  if (Sys().message->GetMessage(&info) < 0) return;
  Draw().showMessage(&info);
}

// One channel as its own oscilloscope: on, its range applied, the trigger on
// it at its zero line.
void ChannelScope(int ch) {
  Vert().SetChOnOff(ch, 1);
  Vert().AdjYsensitivity(ch, 0);
  Trig().SetTriggerSource(ch);
  Trig().SetTriggerPos(ch, 0, Vert().GetYposition(ch) - kZeroCode);
}

// The settings of channel `ch` applied again on the configuration in force.
void ReapplyChannel(int ch) {
  Vert().SetYInvert(ch, Vert().GetYInvert(ch));
  const int vdiv = Vert().GetRealYsensitivity(ch);
  Vert().SetYsensitivity(ch, vdiv);
  Vert().SetRealYsensitivity(ch, vdiv);
  const int probe = Vert().GetYRealprobe(ch);
  Vert().SetYprobe(ch, probe);
  Vert().SetYRealprobe(ch, probe);
  Vert().SetRealYposition(ch, Vert().GetRealYposition(ch));
}

bool g_deferResync = false, g_resyncDue = false;

bool RefusedLikeOnOff() {
  const uint64_t func = Run().GetFuncBits();
  const int refusal = Stopped() ? kMsgStopDisabled
                      : (func & kFuncZoom) ? kMsgZoom
                      : (func & kFuncXY)   ? kMsgXY
                                           : -1;
  if (refusal < 0) return false;
  Message(refusal);
  return true;
}

// What switching on and ChConfig share: the acquire, utility, cursor and
// math modules give way to the two oscilloscopes.
void OtherModulesGiveWay() {
  AssistTo(kAcquireTask, 3, 0, 0);
  AssistTo(kAcquireTask, 3, 2, 1);
  AssistTo(kUtilityTask, 3, 41, 0);
  AssistTo(kUtilityTask, 3, 55, 0);
  AssistTo(kCursorTask, 3, 0, 0);
  Manager().TaskFuncOff(kMathTask, 0);
}

void SwitchOn() {
  AssistTo(kTriggerTask, 2);
  Run().SetFuncBit(kFuncMultiScope);
  M().EnableItem(kHoriSplit, true);
  SetTaskItemDisabled(kAcquireTask, kAcqMemDepthItem, kAcqItemHidden, true);
  for (int ch : {1, 0}) {
    ChannelScope(ch);
    Tb().SetPreTrigDepth(ch, kRecordCentre);
    Tb().SetRealPreTrigDepth(ch, kRecordCentre);
    Tb().AdjTimeBase(ch, 0);
    Board().FreqInitMeter(ch, kFreqGate, kFreqPeriod);
  }
  OtherModulesGiveWay();
  Run().EnableAlternate();
  Run().IndependTimeBaseEnable();
  Run().SetIndependTimeBaseSplit(1);
  Restrict(true);
  M().SetTaskMenuItem(kTriggerTask, 100, 0);
  M().SetTaskMenuItem(kTriggerTask, 101, 0);
  SetTaskItemDisabled(kTriggerTask, 102, kDisabledBit, true);
  AssistTo(kTriggerTask, 2);
}

void SwitchOff() {
  Run().ClearFuncBit(kFuncMultiScope);
  M().EnableItem(kHoriSplit, false);
  SetTaskItemDisabled(kAcquireTask, kAcqMemDepthItem, kAcqItemHidden, false);
  for (int slot : {0, 1}) Run().SetWaveDisplayInfor(slot, kFullRow, kFullHeight);
  Run().DisableAlternate();
  Run().IndependTimeBaseDisable();
  Run().SetIndependTimeBaseSplit(1);
  Restrict(false);
  SetTaskItemDisabled(kTriggerTask, 102, kDisabledBit, false);
  for (int ch : {1, 0}) Board().FreqInitMeter(ch, kFreqGate, kFreqPeriod);
}
}  // namespace

namespace hori {
void DeferAdcResync(bool on) {
  g_deferResync = on;
  if (on) g_resyncDue = false;
}

bool RunDeferredAdcResync() {
  if (!g_resyncDue) return false;
  g_resyncDue = false;
  ResyncAdcsLetGo(false);
  return true;
}
}  // namespace hori

int Hori_MultiScopeOnOff(keypara k) {
  // A setup load re-establishes the configuration under the zoom or X-Y the
  // setup holds and raises nothing; a stopped one keeps its record.
  const bool setupLoad = k.key == KEY_NO_KEY && k.step == kReload.step;
  if (setupLoad && Stopped()) return 0;
  if (!setupLoad && RefusedLikeOnOff()) return 0;
  const int savedTimeBase = Tb().GetRealTimeBase(0);
  const int savedSource = Run().GetTrigSource();
  const int wasOn = Run().GetChStatus();
  // Items 2 and 5 are one setting on two pages: the panel steps the one of
  // the page shown, a remote or setup call takes item 2.
  const bool panel = k.key != KEY_NO_KEY;
  const int n = panel && M().GetCurrPage() == 1 ? kHoriMultiScope2 : kHoriMultiScope;
  const int on = M().AdjMenuItemPara(k, n) ? 1 : 0;
  SetItem(n == kHoriMultiScope ? kHoriMultiScope2 : kHoriMultiScope, uint64_t(on));

  const bool reload = panel || k.step == kReload.step || on != Run().IsIndependTimeBase();
  if (reload) {
    if (panel) ShowMessageNow(on ? kMsgMultiScopeLoading : kMsgMultiScopeExit);
    Board().ReFpgeConfig(on ? kConfigMultiScope : kConfigNormal);
    // The re-synchronisation (half a second of the board's own waits) runs
    // once the switch's settings are all in force, the lock let go, and the
    // settings are sent again after it: a recall runs it after its last block.
    g_resyncDue = true;
  }
  Run().SetAcquireStatus(0, 0);
  Run().SetAcquireStatus(1, 0);
  if (on)
    SwitchOn();
  else
    SwitchOff();

  AssistTo(kUtilityTask, 1, 1);
  Sys().message->ClearMessage();
  Hori_MultiScopeChSplit(kNoKey);
  if (!(Run().GetChStatus() & 0x20)) Tb().SetHoriPoints(1);
  for (int ch : {1, 0}) {
    Run().SetAcquireStatus(ch, 0);
    Vert().SetChOnOff(ch, 1);
    if (!on && !((wasOn >> ch) & 1)) Vert().SetChOnOff(ch, 0);
    ReapplyChannel(ch);
    Tb().SetTimeBase(ch, savedTimeBase);
    Tb().SetRealTimeBase(ch, savedTimeBase);
    Tb().AdjPreTrigDepth(ch, 0);
    Tb().AdjTimeBase(ch, 0);
    Trig().SetTriggerSource(ch);
  }
  AssistTo(kTriggerTask, 3, 1, savedSource);
  Trig().SetTriggerSource(savedSource);
  Board().SendRealControl(fpga::kUtilityOut, int(uint16_t(M().GetTaskMenuItem(kUtilityTask, kUtilityOutItem))));
  if (!g_deferResync) hori::RunDeferredAdcResync();
  if (panel) AdcPhaseDetection(0, nullptr);
  if (on) {
    AssistTo(kTriggerTask, 3, 1, 0);
    Trig().SetTriggerSource(0);
    Run().SetActivCh(0);
  }
  Run().SetWaveType(kWaveRaster);
  Sys().message->ClearMessage();
  SyncRunState();
  Run().SetDrawRefresh();
  return 0;
}

int Hori_MultiScopeChSplit(keypara k) {
  const bool panel = k.key != KEY_NO_KEY;
  const int n = panel && M().GetCurrPage() == 1 ? kHoriSplit2 : kHoriSplit;
  if (panel && M().ItemDisabled(kHoriSplit)) return 0;
  const int split = M().AdjMenuItemPara(k, n) ? 1 : 0;
  SetItem(n == kHoriSplit ? kHoriSplit2 : kHoriSplit, uint64_t(split));
  Board().SendRealControl(fpga::kSplit, split);
  if (Stopped()) {
    Board().SendRealControl(fpga::kReadArm, 1);
    Board().SendRealControl(fpga::kReadArm, 0);
  }
  Run().SetIndependTimeBaseSplit(split);
  const bool apart = split && MultiScopeOn();
  for (int ch : {0, 1})
    Run().SetWaveDisplayInfor(ch, apart ? kSplitRow[ch] : kFullRow, apart ? kSplitHeight : kFullHeight);
  AssistTo(kStorageTask, 4, 2, 13);
  Run().SetDrawRefresh();
  return 0;
}

int Hori_MultiScopeChConfig(keypara) {
  if (RefusedLikeOnOff()) return 0;
  for (int ch : {1, 0}) {
    ChannelScope(ch);
    Tb().AdjTimeBase(ch, 0);
    Board().FreqInitMeter(ch, kFreqGate, kFreqPeriod);
  }
  OtherModulesGiveWay();
  Run().EnableAlternate();
  Run().SetIndependTimeBaseSplit(1);
  for (int item : {1, 0, 5}) M().SetTaskItemParaAttribute(kTriggerTask, item, item == 1 ? 0xc : 0xfffc);
  AssistTo(kTriggerTask, 2);
  Hori_MultiScopeChSplit(kNoKey);
  Tb().SetHoriPoints(1);
  const int timeBase = Tb().GetRealTimeBase(0);
  const int64_t depth = Tb().GetRealPreTrigDepth(0);
  for (int ch : {1, 0}) {
    Vert().SetChOnOff(ch, 1);
    Vert().SetYposition(ch, kZeroCode);
    Vert().SetRealYposition(ch, kZeroCode);
    Tb().SetTimeBase(ch, timeBase);
    Tb().SetRealTimeBase(ch, timeBase);
    Tb().SetPreTrigDepth(ch, depth);
    Tb().SetRealPreTrigDepth(ch, depth);
    Tb().AdjTimeBase(ch, 0);
  }
  Trig().SetTriggerSource(0);
  Trig().SetTriggerPos(0, 0, 0);
  Run().SetActivCh(0);
  Vert().SetChOnOff(0, 1);
  ResyncAdcsLetGo(true);
  Run().SetWaveType(kWaveRaster);
  Sys().message->ClearMessage();
  Board().Bee();
  Run().SetDrawRefresh();
  return 0;
}

int Hori_MultiScopeRST(keypara) {
  Board().SysSample();
  Board().Bee();
  return 0;
}

int Hori_MultiScopeBack(keypara) { return 0; }
