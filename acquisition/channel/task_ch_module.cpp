// The channel module's task interface: defaults, start-up, language, setup
// blocks, overlays and the key words it serves itself.
#include "acquisition/channel/task_ch_module.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/menu/draw_hooks.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/setup_block.h"
#include "core/state/task_manage.h"

namespace {
constexpr int kAssistStep = 2;
constexpr int kAssistSetItem = 3;
constexpr int kAssistBwLimit = 1;
constexpr int kAssistVoltsDiv = 2;
constexpr uint16_t kVoltsDivKey = 51;  // the soft key of the coarse/fine item
}  // namespace

int ChannelTaskId(int ch) {
  if (ch >= 0 && ch <= 3) return 6 + ch;
  if (ch >= 4 && ch <= 6) return 14;
  if (ch >= 7 && ch <= 10) return 17;
  return -1;
}

TaskForChannel::TaskForChannel(const ChannelLayout& layout, menu* record)
    : L(layout), record_(record), ChLabel(layout.setupLabel) {}


uint16_t TaskForChannel::Item(int n) const { return uint16_t(TaskMenu.GetMenuItem(n)); }
float TaskForChannel::ItemF32(int n) const { return ItemParaF32(TaskMenu.GetMenuItem(n)); }
void TaskForChannel::SetItem(int n, uint64_t v) { TaskMenu.SetMenuItem(n, v); }

void TaskForChannel::ShowPage(int page) { TaskMenu.SetCurrPage(page * kMenuSlots); }

bool TaskForChannel::CurrentProbe() const { return Item(kChProbeType) == 1 && Item(L.probeTypeA) == 1; }

int TaskForChannel::SendSysRequest(int code, short target, short value) {
  ChRequestPara = MakeRequest(uint16_t(code), target, value);
  return Sys().request->Request(ChRequestPara, nullptr);
}

// ---- defaults, start-up, language ----

int TaskForChannel::Default() {
  std::printf("%s\n", L.defaultLine);
  iic_item batch[16];
  int n = 0;
  for (int i = 0; i < L.defaultCount && n < 15; ++i) {
    const int address = EepromItemAddress(L.taskId, L.defaults[i].item);
    if (address >= 0) batch[n++] = IicU8(address, uint8_t(L.defaults[i].value));
  }
  const uint32_t one = uint32_t(ItemParaFromF32(1.0f));
  if (L.defaultResetsCustom) batch[n++] = IicU32(EepromItemAddress(L.taskId, kChCustom), one);
  batch[n] = IicEnd();
  Sys().eeprom->I2C_BatchWrite(batch);
  // The values in force follow the EEPROM when the menu is loaded already.
  if (!TaskMenu.MenuIsNull()) {
    for (int i = 0; i < L.defaultCount; ++i) SetItem(L.defaults[i].item, L.defaults[i].value);
    if (L.defaultResetsCustom) SetItem(kChCustom, one);
  }
  Sys().vertical->SetChLabelName(L.channel, "");
  return 0;
}

// Values read from the EEPROM or a setup file that their items cannot hold
// take the item's default: a blank EEPROM reads 0xFF everywhere.
void TaskForChannel::Sanitize() {
  if (!TaskMenu.GetMenuInfo()) return;
  TaskMenu.ClampItems();
  const float c = ItemF32(kChCustom);
  if (!std::isfinite(c) || c < 0.001f || c > 1000.0f) SetItem(kChCustom, ItemParaFromF32(1.0f));
  const float a = ItemF32(L.customA);
  if (!std::isfinite(a) || a > 1000.0f) SetItem(L.customA, ItemParaFromF32(0.0f));
}

int TaskForChannel::LoadLanguage(int reload) {
  _SysRunInfoOp* run = Sys().runStatus;
  const int language = run->GetCurrLanguage();
  char name[kMenuLanguageBytes] = {};
  run->GetLanguageCountry(language, name);
  std::printf(L.languageLine, language);
  char path[96];
  if (Menu::MenuTextPath(path, sizeof path, name, L.textName) < 0) return -1;
  const int rc = reload ? TaskMenu.ReLoadMenu(path, record_) : TaskMenu.LoadMenu(path, record_);
  TaskMenu.Attach(record_);  // kept without texts too: the items still work
  ChMenu = &TaskMenu;
  if (ChCustomLabelName[0] && Item(L.labelLib) == kChLabelCustom) ShowCustomLabel();
  return rc;
}

int TaskForChannel::Initialize() {
  std::printf("%s\n", L.initLine);
  LoadLanguage(0);
  Sanitize();
  const keypara none{KEY_NO_KEY, 0, 0};
  // Every setting reaches the vertical model through its handler (the
  // coupling also sends the ground words); the run state follows from there.
  Coupling(none);
  BwLimit(none);
  Invert(none);
  const bool customA = Item(L.probeA) == kChProbeACustom;
  TaskMenu.EnableItem(L.customA, customA);
  if (customA && ItemF32(L.customA) < 1.0f) SetItem(L.customA, ItemParaFromF32(1.0f));
  Probe(none);
  Custom(none);
  RerunUnit();
  VoltsDiv(none);
  if (L.initSwitchesOn)
    SendSysRequest(kReqChOnOff, L.channel, short(Sys().runStatus->GetChStatus() >> L.channel & 1));
  if (Item(L.labelLib) == kChLabelCustom) {
    const char* stored = Sys().vertical->GetChLabelName(L.channel);
    std::snprintf(ChCustomLabelName, sizeof ChCustomLabelName, "%.*s", kChLabelChars, stored ? stored : "");
    ChInputNameIndex = int(std::strlen(ChCustomLabelName));
  }
  LabelOnOff(none);
  return 0;
}

// The unit handler of the probe page in force: the current probe keeps its ratio.
void TaskForChannel::RerunUnit() {
  const keypara none{KEY_NO_KEY, 0, 0};
  if (CurrentProbe())
    Unit_A(none);
  else
    Unit(none);
}

int TaskForChannel::AllParaReSet() {
  const keypara none{KEY_NO_KEY, 0, 0};
  Coupling(none);
  BwLimit(none);
  VoltsDiv(none);
  Probe(none);
  Invert(none);
  TaskMenu.EnableItem(L.customA, Item(L.probeA) == kChProbeACustom);
  RerunUnit();
  LabelOnOff(none);
  // Coupling and bandwidth limit reach the front end with the channel refresh.
  return SendSysRequest(kReqChCtrl, L.channel, 0);
}

// ---- setup blocks ----

int TaskForChannel::Stroage(taskresponse* r) {
  const auto save = [this](SetupFileRecord* rec) { return SaveMenuBlock(rec, ChLabel, TaskMenu, record_); };
  const auto load = [this](SetupFileRecord* rec) {
    if (!LoadMenuBlock(*rec, ChLabel, TaskMenu, record_)) return false;
    Sanitize();
    TaskMenu.StoreItems();
    AllParaReSet();
    return true;
  };
  return RunSetupBlock(r, save, load,
                       [this](SetupFileRecord* rec) { return CheckMenuBlock(*rec, ChLabel, record_); });
}

// ---- key words and the task interface ----

int TaskForChannel::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  if (r->key.key == KEY_WORD_NONE && L.swallowsNone) return 0;
  rc = TaskMenu.MenuOp(r->key);
  AdjustSavedPage();
  return rc;
}

// The page remembered for the next start follows the probe type: the
// current-probe page while the current probe is chosen, else the voltage one.
void TaskForChannel::AdjustSavedPage() {
  const int page = TaskMenu.GetCurrPage();
  if (page != 1 && page != L.currentPage) return;
  const int a = Item(kChProbeType), b = Item(L.probeTypeA);
  if (a == 1 && b == 1)
    Sys().eeprom->I2C_WriteU8(EE_TASK_PAGE, uint8_t(L.currentPage));
  else if (a == 0 && b == 0)
    Sys().eeprom->I2C_WriteU8(EE_TASK_PAGE, 1);
}

int TaskForChannel::Display() {
  if (ChInputLableFlag == 1) Draw().softKeyboard(short(ChKeySel), short(ChUpperLower), ChCustomLabelName);
  if (ChNumKeySel) Draw().numKeyboard(&ChNumKeyboard);
  return 0;
}

int TaskForChannel::FunctionOnOff(int mode) {
  if (mode == 0 || mode == 2) CloseKeypad();
  return 0;
}

int TaskForChannel::Assist(taskresponse* request, taskresponse* reply) {
  if (!request) return -1;
  const int selector = request->words[0];
  if (request->request == kAssistSetItem && selector == kAssistBwLimit) {
    SetItem(kChBwLimit, request->words[1]);
    BwLimit(keypara{KEY_NO_KEY, 0, 0});
  } else if (request->request == kAssistStep && selector == kAssistVoltsDiv) {
    TaskMenu.MenuPopDisable();
    VoltsDiv(keypara{kVoltsDivKey, 1, 0});
  }
  (void)reply;
  return MenuOp(request->key);
}

// Another module takes the keys: neither overlay may stay over its screen.
int TaskForChannel::TaskControlHandover(taskresponse*) {
  TaskMenu.MenuPopDisable();
  ChNumKeySel = 0;
  EndTextEntry();
  return 0;
}

int TaskForChannel::TaskBackgroundResponse(taskresponse* r, taskresponse*) {
  if (!r || r->key.key != kKeyMenuOnOff || !ChNumKeySel) return 0;
  CloseKeypad();
  return 1;  // the menu key only closed the keypad
}

// ---- overlays ----

// One display node serves both overlays: listed while either is shown.
void TaskForChannel::SyncOverlay() {
  task_manage* m = &Manager();
  const bool listed = m->FindUserTaskDisplay(L.taskId) == TASK_LISTED;
  const bool wanted = ChInputLableFlag || ChNumKeySel;
  if (wanted && !listed) {
    ChAttrib.page = uint32_t(TaskMenu.GetCurrPage());
    m->AddUserTaskDisplay(L.taskId, ChAttrib.attr, ChAttrib.page);
  } else if (!wanted && listed) {
    m->DelUserTaskDisplay(L.taskId);
  }
}

void TaskForChannel::CloseKeypad() {
  ChNumKeySel = 0;
  SyncOverlay();
}

void TaskForChannel::CloseKeyboard() {
  ChInputLableFlag = 0;
  SyncOverlay();
}

void TaskForChannel::EndTextEntry() {
  CloseKeyboard();
  Sys().runStatus->ClearFuncBit(kChTextEntryBit);
}
