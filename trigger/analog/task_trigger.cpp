// The trigger module's task interface: defaults, start-up, language, setup
// blocks, assists and the key words it serves itself.
#include "trigger/analog/task_trigger.h"

#include <cstdio>
#include <utility>

#include "acquisition/horizontal/task_hori.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/setup_block.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi.h"
#include "ui/screen/qel_draw.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/bus/bus_pattern_editor.h"
#include "trigger/bus/trigger_bus.h"

namespace {
constexpr int kTaskId = 10;
constexpr char kTriggerLabel[] = "TASK-TRIGGER";
constexpr uint16_t kSetZeroKey = 68, kLevelPushKey = 75, kCh1Key = 64, kCh2Key = 65, kMenuKey = 54;
constexpr int kMsgAlternate = 84;  // "Function is Disabled in Alternate mode"
constexpr int kEeLineNum = 158, kEeUnnamed152 = 152;
constexpr int kModeSingle = 2;

// Item values Initialize sets.
struct ItemValue {
  int16_t item;
  uint64_t value;
};
constexpr ItemValue kInitValues[] = {
    {kTiWinTime, 2}, {kTiTimeOutTime, 2}, {kTiShTime, 2}, {kTiNthIdle, 2}, {kTiNthCount, 1},
    {kTiLowLimit, 2}, {kTiUppLimit, 3}, {122, 0}, {kTiRs232SpecialBps, 1200}, {kTiBusVerPos, 160},
    {172, 4}, {176, 1}, {175, 20}, {206, 2000000}, {227, 19200},
};

}  // namespace

menu TaskTriggerMenu;
Menu* TriggerMenu = nullptr;
TaskForTrigger TaskTrigger;

TaskForTrigger::TaskForTrigger() { BuildTriggerMenu(&TaskTriggerMenu); }

_SysResource* TaskForTrigger::Sys() const { return Resource.sys ? Resource.sys : &SystemResource; }
task_manage* TaskForTrigger::Manager() const { return Resource.manager ? Resource.manager : &TaskManage; }

int TaskForTrigger::Type() const {
  const int t = int(TaskMenu.GetMenuItem(kTiType) & 0xFFFF);
  return t < kTrigTypes ? t : kTrigEdge;
}

uint64_t TaskForTrigger::Item(int n) const { return TaskMenu.MenuIsNull() ? 0 : TaskMenu.GetMenuItem(n); }
void TaskForTrigger::SetItem(int n, uint64_t v) {
  if (!TaskMenu.MenuIsNull()) TaskMenu.SetMenuItem(n, v);
}
uint32_t TaskForTrigger::Attr(int n) const {
  const int a = TaskMenu.MenuIsNull() ? -1 : TaskMenu.GetItemAttribute(n);
  return a < 0 ? 0 : uint32_t(a);
}
void TaskForTrigger::SetAttr(int n, uint32_t set, uint32_t clear) {
  const int a = TaskMenu.MenuIsNull() ? -1 : TaskMenu.GetItemAttribute(n);
  if (a <= 0) return;
  TaskMenu.SetItemAttribute(n, (uint32_t(a) & ~clear) | set);
}

// ---- defaults, start-up, language ----

int TaskForTrigger::Default() {
  std::printf("TaskForTrigger -> Default\n");
  iic_item batch[] = {IicU16(kEeLineNum, 1), IicU32(kEeUnnamed152, 2), IicEnd()};
  Sys()->eeprom->I2C_BatchWrite(batch);
  if (!TaskMenu.MenuIsNull()) SetItem(kTiVideoLine, 1);
  // The level knob serves the first source of each pair, as at a first start.
  for (const auto& [first, second] :
       {std::pair{kTiDelaySource1, kTiDelaySource2}, std::pair{kTiShData, kTiShClock}}) {
    SetAttr(first, kTrigAttrKnob, 0);
    SetAttr(second, 0, kTrigAttrKnob);
  }
  EndAllPatternEdits();
  return 0;
}

int TaskForTrigger::LoadLanguage(int reload) {
  if (reload > 1) return -1;
  _SysRunInfoOp* run = Sys()->runStatus;
  int language = run->GetCurrLanguage();
  if (language >= kMenuLanguages) language = 0;
  char name[kMenuLanguageBytes] = {};
  run->GetLanguageCountry(language, name);
  char path[96];
  if (Menu::MenuTextPath(path, sizeof path, name, "Trigger") < 0) return -1;
  const int page = TaskMenu.MenuIsNull() ? -1 : TaskMenu.GetCurrPage();
  const int rc = reload ? TaskMenu.ReLoadMenu(path, &TaskTriggerMenu) : TaskMenu.LoadMenu(path, &TaskTriggerMenu);
  LoadOverlayWarmTxt(path);
  TaskMenu.Attach(&TaskTriggerMenu);  // the items work without their texts too
  TriggerMenu = &TaskMenu;
  if (reload) {  // the texts bring the table's choice counts back: the type's own again
    const keypara none{KEY_NO_KEY, 0, 0};
    TriggerWhen_Sel(none);
    Decode_Bus_Set_Display_Type(none);
    // The new texts start on the first page and hold no pattern: the page
    // shown and the patterns are the ones in force.
    if (page >= 0 && page < kMenuPages) TaskMenu.SetCurrPage(page * kMenuSlots);
  }
  ShowAllPatternTexts();
  return rc;
}

// Values from a blank EEPROM or a setup file that their items cannot hold
// fall back to 0 (the video standard holds SECAM, beyond the panel's
// choices); time items into their range; counts into theirs.
void TaskForTrigger::Sanitize() {
  const menu* m = TaskMenu.GetMenuInfo();
  if (!m) return;
  for (int n = 0; n < kMenuItems; ++n) {
    const MenuItem& it = m->pages[n / kMenuSlots].items[n % kMenuSlots];
    if (!it.attribute || it.choices <= 1) continue;
    const int choices = n == kTiVideoStandard ? kTrigVideoStandards : it.choices;
    if ((Item(n) & 0xFFFF) >= uint64_t(choices)) SetItem(n, 0);
  }
  const uint64_t timeMax = Type() == kTrigPulse ? kTrigPulseTimeMax : kTrigTimeMax;
  for (int n : {kTiWinTime, kTiTimeOutTime, kTiShTime, kTiNthIdle, kTiLowLimit, kTiUppLimit}) {
    const uint64_t v = Item(n);
    if (v < kTrigTimeMin || v > timeMax) SetItem(n, v < kTrigTimeMin ? kTrigTimeMin : timeMax);
  }
  const uint64_t nth = Item(kTiNthCount);
  if (nth < 1 || nth > uint64_t(kTrigNthMax)) SetItem(kTiNthCount, 1);
  const uint64_t line = Item(kTiVideoLine) & 0xFFFF;
  if (line < 1 || line > 625) SetItem(kTiVideoLine, 1);
}

int TaskForTrigger::Initialize() {
  LoadLanguage(0);
  for (const ItemValue& v : kInitValues) SetItem(v.item, v.value);
  Sanitize();
  if ((Item(kTiMode) & 0xFFFF) == kModeSingle) SetItem(kTiMode, 0);
  const keypara none{KEY_NO_KEY, 0, 0};
  if (TriggerMenu) {
    const int page = TaskMenu.GetCurrPage();
    TaskMenu.SetCurrPage(LinkageItem[Type()]);
    Trigger_TypeSelect(none);
    if (page >= 0 && page < kMenuPages) TaskMenu.SetCurrPage(page * kMenuSlots);
  }
  Trigger_VideoSync(none);
  SetItem(kTiDurSource, 0);
  SetItem(kTiDurCode, 2);
  Trigger_DurationCode(none);
  SetItem(kTiPatSource, 0);
  SetItem(kTiPatCode, 2);
  Trigger_PatternCode(none);
  InitBusSettings();
  Decode_input_init();
  {
    SemLock lock(Resource.sem ? *Resource.sem : Sem);
    for (uint32_t& c : Sys()->runStatus->GetSysRunInfoBaseAddr()->sourceCode) c = 2;
  }
  TriggerTypeParaRefresh();
  TriggerSetParaRefresh();
  Sys()->trigger->AdjTriggerPosition(0);
  task_manage* m = Manager();
  for (int a : {0, 6, 7, 14, 13}) m->AddTaskBetweenSync(a, kTaskId);
  return 0;
}

int TaskForTrigger::TriggerAllParaReSet() {
  const menu* m = TaskMenu.GetMenuInfo();
  for (int n = 0; m && n < kMenuItems; ++n)
    if (m->pages[n / kMenuSlots].items[n % kMenuSlots].eeprom != kMenuNoEeprom) SetItem(n, Item(n));
  Trigger_MenuOp(keypara{KEY_NO_KEY, 0, 0});
  if ((Item(kTiEdgeAlternate) & 0xFFFF) == 1) Trigger_EdgeAlternate(keypara{KEY_NO_KEY, 0, 0});
  return 0;
}

// ---- setup blocks ----

int TaskForTrigger::Stroage(taskresponse* r) {
  const auto save = [this](SetupFileRecord* rec) {
    return SaveMenuBlock(rec, kTriggerLabel, TaskMenu, &TaskTriggerMenu);
  };
  const auto load = [this](SetupFileRecord* rec) {
    if (!LoadMenuBlock(*rec, kTriggerLabel, TaskMenu, &TaskTriggerMenu)) return false;  // a short block changes nothing
    Sanitize();
    TriggerAllParaReSet();
    return true;
  };
  return RunSetupBlock(r, save, load, [](SetupFileRecord* rec) {
    return CheckMenuBlock(*rec, kTriggerLabel, &TaskTriggerMenu);
  });
}

// ---- key words and the task interface ----

int TaskForTrigger::OpResponse(taskresponse* r) {
  if (!r) return -1;
  switch (r->key.key) {
    case KEY_WORD_DEFAULT: return DefaultSetup();
    case KEY_WORD_INIT: return Initialize();
    case KEY_WORD_STORAGE: return Stroage(r);
    case KEY_WORD_LANGUAGE: return LoadLanguage(1);
    case kSetZeroKey:
      if (Sys()->runStatus->IsIndependTimeBase()) return Sys()->message->SetMessage(kMsgAlternate), 0;
      TaskMenu.SetCurrPage(kTiBusState);
      std::printf("TaskForTrigger: key %d\n", kSetZeroKey);
      return 0;
    default: break;
  }
  return TaskMenu.MenuOp(r->key);
}

int TaskForTrigger::Display() {
  if (NumKeyboardFlag) Sys()->draw->DrawNumKeyboard(&NumKeyboard);
  const int t = Type();
  if (t >= kTrigRs232 && t <= kTrigLin && (Item(kTiBusState) & 0xFFFF) == 1 &&
      !DecodeLaneGivesWay()) {
    Draw_Decode_bus(char(t));
    if ((Item(kTiEventTable) & 0xFFFF) == 1)
      (t == kTrigLin ? Draw_Decode_LInList : t == kTrigCan ? Draw_Decode_CanList : Draw_Decode_EventList)(char(t));
  }
  if (Decode_DisplayType == kDecodePopKeyboard)
    Draw_Decode_Storage_Inupt_Back();
  if (Decode_DisplayType == kDecodePopOverwrite) DrawOverwriteQuestion();
  DrawPatternPopup();
  return 0;
}

int TaskForTrigger::FunctionOnOff(int) {
  EndAllPatternEdits();
  return CloseNumKeyboard();
}

int TaskForTrigger::TaskControlHandover(taskresponse*) {
  TaskMenu.MenuPopDisable();
  EndAllPatternEdits();
  return CloseNumKeyboard();
}

int TaskForTrigger::DisableFunc() {
  const bool keypad = NumKeyboardFlag != 0, question = Decode_DisplayType == kDecodePopOverwrite;
  if (!keypad && !question) return 0;
  if (keypad) CloseNumKeyboard();
  if (question) Decode_Storage_Cancel(keypara{KEY_NO_KEY, 0, 0});
  Manager()->DelUserTaskDisplay(kTaskUtility);
  return 1;
}

int TaskForTrigger::TaskBackgroundResponse(taskresponse* r, taskresponse*) {
  if (!r || r->key.key != kMenuKey) return 0;
  if (Item(kTiEventTable) & 0xFFFF) {
    SetItem(kTiEventTable, 0);
    return 1;
  }
  return DisableFunc();
}

int TaskForTrigger::TaskBetweenSync(taskresponse* r, taskresponse*) {
  if (!r) return 0;
  const uint16_t key = r->key.key;
  const int t = Type();
  if (key == kLevelPushKey && (t == kTrigSlope || t == kTrigRunt || t == kTrigWindow)) {
    const int item = t == kTrigSlope ? kTiSlopeThreshold : t == kTrigRunt ? kTiRuntLevel : kTiWinLevel;
    const int modulo = t == kTrigSlope ? 3 : 2;
    SetItem(item, ((Item(item) & 0xFFFF) + 1) % uint64_t(modulo));
    TriggerTypeParaRefresh();
  } else if ((key == kCh1Key || key == kCh2Key) && Sys()->runStatus->IsIndependTimeBase()) {
    const int s = key == kCh1Key ? 0 : 1;
    SetItem(kTiEdgeSource, uint64_t(s));
    SetItem(kTiPulseSource, uint64_t(s));
    Sys()->trigger->SetTriggerSource(s);
  }
  LaneGiveWay();
  return 0;
}

bool TaskForTrigger::DecodeLaneGivesWay() const {
  constexpr int kMathFft = 1;
  constexpr int kMathShown = 1 << 5;
  _SysRunInfoOp* run = Sys()->runStatus;
  const bool spectrum = run->GetMathType() == kMathFft && (run->GetChStatus() & kMathShown);
  return spectrum || (run->GetFuncBits() & kFuncXY) || run->IsIndependTimeBase();
}

bool TaskForTrigger::LaneGiveWay() {
  if (!DecodeLaneGivesWay()) return false;
  if (Item(kTiBusState) & 0xFFFF) SetItem(kTiBusState, 0);
  if (Item(kTiEventTable) & 0xFFFF) SetItem(kTiEventTable, 0);
  return true;
}

int TaskForTrigger::AlternateTrigger() {
  _SysResource* sys = Sys();
  if (sys->runStatus->GetAcquireStatus(0) == kAcqStopped) return 0;
  sys->board->FPGAResetDisable();
  sys->trigger->AlternateTrigSet(sys->runStatus->NextAlternateSource());
  sys->timeBase->AdjTimeBase(0, 0);
  sys->board->SysSample();
  sys->runStatus->ClearInterruptFlag();
  return 0;
}

// Requests: code 2 sets the type and edge source, code 3 a source or a page;
// sub-code 128 steps alternate triggering, sub-codes 6, 9, 13, 14 step the
// source that owns the knob on the two-source types.
int TaskForTrigger::Assist(taskresponse* request, taskresponse*) {
  if (!request || !TriggerMenu) return -1;
  const int code = request->request, sub = request->words[0];
  const keypara none{KEY_NO_KEY, 0, 0};
  if (code == 2 && sub == 0) {
    const int type = request->words[1], source = request->words[2];
    if (type < 0 || type >= kTrigTypes) return -1;
    SetItem(kTiType, uint64_t(type));
    SetItem(kTiEdgeSource, uint64_t(source > 4 ? 0 : source));
    TaskMenu.SetCurrPage(0);
    Trigger_TypeSelect(none);
    Trigger_EdgeSource(none);
    TriggerSetMenuOp(none);
    return Trigger_MenuOp(none);
  }
  if (code == 2 && sub == 128) return AlternateTrigger();
  // Types with two sources: the level-knob push (or, for setup/hold, any
  // request) moves the source whose item does not hold the knob, twice.
  struct TwoSources {
    int sub, firstItem;
    int (*first)(keypara);
    int (*second)(keypara);
    bool levelPushOnly;
  };
  static const TwoSources kTwoSources[] = {
      {kTrigDelay, kTiDelaySource1, Trigger_DelaySource1, Trigger_DelaySource2, true},
      {kTrigSetupHold, kTiShData, Trigger_SetupHoldDataSour, Trigger_SetupHoldClkSour, false},
      {kTrigI2c, kTiI2cScl, Decode_I2CScl, Decode_I2CSda, true},
      {kTrigSpi, kTiSpiScl, Decode_SPIScl, Decode_SPIMOSI, true},
  };
  // The system module passes the pushed key as the second value.
  const bool levelPush = request->words[1] == kLevelPushKey || request->key.key == kLevelPushKey;
  if (code == 2)
    for (const TwoSources& t : kTwoSources) {
      if (sub != t.sub) continue;
      if (!t.levelPushOnly || levelPush) {
        const keypara once{KEY_NO_KEY, 1, 0};
        const auto handler = (Attr(t.firstItem) & kTrigAttrKnob) ? t.second : t.first;
        for (int i = 0; i < 2; ++i) handler(once);
      }
      return Trigger_MenuOp(none);
    }
  if (code == 3 && sub == 1) return SetTriggerSourceMenu(short(request->words[1]));
  if (code == 3) {
    if (sub < 0 || sub >= kMenuItems) return -1;
    Manager()->SetWorkTaskbyId(kTaskId);
    TaskMenu.MenuPopDisable();
    TaskMenu.SetCurrPage(sub);
    EndAllPatternEdits();
    if (!Sys()->runStatus->IsMenuStatus()) Sys()->runStatus->MenuOnOff();
    return 0;
  }
  return -1;
}

