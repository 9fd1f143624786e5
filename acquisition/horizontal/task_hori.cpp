#include "acquisition/horizontal/task_hori.h"

#include <cmath>
#include <cstdio>

#include "acquisition/horizontal/task_hori_internal.h"
#include "acquisition/models/x_system.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/menu/draw_hooks.h"

TaskForHori TaskHori;

namespace hori {
namespace {
constexpr int kAssistStep = 2, kAssistSetItem = 3;
constexpr int kTypeSelector = 1, kFactorySelector = 30;
constexpr uint16_t kTypeKey = 50;  // F2: steps the type
}  // namespace

void Message(int n) { Sys().message->SetMessage(n); }
bool Stopped() { return Run().GetAcquireStatus(0) == kAcqStopped; }
bool MultiScopeOn() { return (Run().GetFuncBits() & kFuncMultiScope) != 0; }
bool MathFftSplit() {
  const int screen = Run().GetFFTScreen();
  return (Run().GetChStatus() & 0x20) && Run().GetMathType() == 1 && (screen == 1 || screen == 3);
}
void SyncRunState() { Run().SysRunInfoSync(kHoriTaskId); }

int AssistTo(int task, uint16_t number, int w0, int w1, keypara key, taskresponse* reply) {
  taskresponse request{};
  taskresponse local{};
  request.request = number;
  request.words[0] = uint16_t(w0);
  request.words[1] = uint16_t(w1);
  request.key = key;
  return Manager().RequestTaskAssist(task, &request, reply ? reply : &local);
}
}  // namespace hori

using namespace hori;

uint32_t HoldOffCounts(double seconds) {
  if (!(seconds > 0)) return kHoldOffMin;
  const double counts = std::floor(seconds / double(kHoldOffStep) + 0.5);
  if (counts < kHoldOffMin) return kHoldOffMin;
  if (counts > kHoldOffMax) return kHoldOffMax;
  return uint32_t(counts);
}

int TaskForHori::Default() {
  std::printf("TaskForHori -> Default\n");
  const iic_item batch[] = {IicU8(EepromItemAddress(kEeHorizontal, kHoriType), 0),
                            IicU32(EepromItemAddress(kEeHorizontal, kHoriHoldOff), kHoldOffDefault),
                            IicU8(39, 0), IicU8(EE_START_TEST, 0), IicEnd()};
  Sys().eeprom->I2C_BatchWrite(batch);
  if (TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskHoriMenu);
  for (int n : {int(kHoriType), 25, 26, 27}) TaskMenu.SetMenuItem(n, 0);
  return 0;
}

int TaskForHori::Initialize() {
  std::printf("TaskForHori :: Initialize ...\n");
  if (LoadLanguage(0) < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskHoriMenu);
  // The stored switches, the factory mode among them (a fresh EEPROM holds
  // 0xFF), come back into their ranges.
  M().ClampItems();
  // At start-up and after the default setup no zoom window has been chosen
  // (zoom coming on picks one).
  Sys().timeBase->ClearZoomTimeBase();
  Hori_Format(kNoKey);
  Hori_Type(kNoKey);
  SetItem(kHoriSplit, 1);
  SetItem(kHoriSplit2, 1);
  // Multi-scope always starts off.
  SetItem(kHoriMultiScope, 0);
  SetItem(kHoriMultiScope2, 0);
  Hori_MultiScopeChSplit(kNoKey);
  M().EnableItem(kHoriSplit, false);
  Run().IndependTimeBaseDisable();
  Hori_HoldOff(kNoKey);
  ItemsFollowState();
  HoriServiceInit();
  return 0;
}

int TaskForHori::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  switch (r->key.key) {
    case kHoriRemoteMultiScopeKey:
      // The key's step carries the value asked for (1 off, 2 on), so a
      // request queued while the previous switch ran is not lost; a refused
      // switch leaves the item showing what is in force.
      if (r->key.step == 1 || r->key.step == 2) SetItem(kHoriMultiScope, uint64_t(r->key.step - 1));
      Hori_MultiScopeOnOff(kNoKey);
      ItemsFollowState();
      return 0;
    default: return TaskMenu.MenuOp(r->key);
  }
}

int TaskForHori::DataProcess() {
  HoriServiceProcess();
  return 0;
}

int TaskForHori::Display() {
  if ((FuncType & kFuncKeypad) && NumKeySel) Draw().numKeyboard(&HoriNumKeyboard);
  HoriServiceDisplay();
  return 0;
}

int TaskForHori::FunctionOnOff(int) {
  CloseKeypad();
  Manager().DelUserTaskProcess(kHoriTaskId);
  Manager().DelUserTaskDisplay(kHoriTaskId);
  SetItem(kHoriFormat, 0);
  Hori_Format(kNoKey);
  return 0;
}

int TaskForHori::Assist(taskresponse* request, taskresponse*) {
  if (!request) return -1;
  const int selector = request->words[0];
  const int value = request->words[1];
  if (request->request == kAssistSetItem && selector == kTypeSelector) {
    if (value > 1) return -1;
    SetItem(kHoriType, uint64_t(value));
    Hori_Type(kNoKey);
  } else if (request->request == kAssistSetItem && selector == kFactorySelector) {
    Manager().ActiveTask(kHoriTaskId, 0);
    TaskMenu.SetCurrPage(kFactorySelector);  // the page of item 30
  } else if (request->request == kAssistStep && selector == 1) {
    Hori_Type(keypara{kTypeKey, 1, 0});
  } else {
    return -1;
  }
  return 0;
}

int TaskForHori::TaskControlHandover(taskresponse*) {
  TaskMenu.MenuPopDisable();
  CloseKeypad();
  HoriServiceHandover();
  if (FuncType == 0) Manager().DelUserTaskDisplay(kHoriTaskId);
  return 0;
}

void TaskForHori::OpenKeypad() {
  Sys().common->NumKeyboardInit(&HoriNumKeyboard, kHoriTaskId, kHoriHoldOff);
  NumKeySel = 1;
  FuncType |= kFuncKeypad;
  Manager().AddUserTaskDisplay(kHoriTaskId, HoriAttrib, 0);
}

void TaskForHori::CloseKeypad() {
  const bool wasOpen = NumKeySel != 0;
  NumKeySel = 0;
  FuncType &= ~kFuncKeypad;
  if (wasOpen && FuncType == 0) Manager().DelUserTaskDisplay(kHoriTaskId);
  if (wasOpen) Run().SetDrawRefresh();
}

int TaskForHori::LoadLanguage(int reload) {
  if (reload != 0 && reload != 1) return -1;
  char language[kLanguageText] = {};
  _SysRunInfoOp* run = Sys().runStatus;
  run->GetLanguageCountry(run->GetSysRunInfoBaseAddr()->language, language);
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Hori") < 0) return -1;
  const int rc = reload == 0 ? TaskMenu.LoadMenu(path, &TaskHoriMenu) : TaskMenu.ReLoadMenu(path, &TaskHoriMenu);
  return rc < 0 ? -1 : 0;
}
