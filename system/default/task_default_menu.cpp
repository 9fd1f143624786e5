// The default module's menu: the DEFAULT key's page handler, the confirm item
// that restores the factory setup and the cancel item.
#include <cstdio>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/board/control.h"
#include "core/menu/menu_def.h"
#include "core/messages/msg.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/web/web_settings.h"
#include "system/default/task_default.h"

namespace {
constexpr int kMsgFactorySet = 14;
constexpr int kAllChannels = 3;

const MenuItemDef kItems[] = {
    {kDefaultSure, "Sure", kMenuAction, 1, Defualt_Sure},
    {kDefaultCancel, "Cancel", kMenuAction, 1, Defualt_Cannel},
};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Default");
  DefineMenuPage(&m, 0, "Default", uint32_t(kTaskDefault) << 8, DefaultMenuOp);
  DefineMenuItems(&m, -1, kItems);
  return m;
}

_SysResource& Sys() { return TaskDefault.Sys(); }
task_manage& Manager() { return TaskDefault.Manager(); }

void SendToAll(uint16_t word) {
  taskresponse r{};
  r.key = keypara{word, 1, 0};
  Manager().SendKeytoAllTask(&r, nullptr);
}
}  // namespace

menu TaskDefaultMenu = BuildMenu();

int DefaultMenuOp(keypara key) {
  if (key.key != kKeyDefault) return 0;
  // A second press while the dialog is up keeps the module remembered first.
  const int last = Manager().GetLastTaskCurrId();
  if (last >= 0 && last != kTaskDefault) DefaultSaveLastTaskId = last;
  Manager().ActiveTask(kTaskDefault, 0);
  TaskDefault.EnableMsgDisplay();
  return 0;
}

int Defualt_Sure(keypara key) {
  if (!TaskDefault.GetMsgDisplayFlag() && key.key != kDefaultConfirmNow) {
    TaskDefault.EnableMsgDisplay();
    return 0;
  }
  SendToAll(KEY_WORD_DEFAULT);
  SendToAll(KEY_WORD_INIT);
  _SysResource& sys = Sys();
  sys.message->SetMessage(kMsgFactorySet);
  Manager().ActiveTask(kTaskCh1, 0);
  sys.timeBase->AdjTimeBase(0, 0);
  sys.vertical->AllChannelCtrlRefresh();
  sys.timeBase->AdjPreTrigDepth(0, 0);
  sys.board->SysSample();
  sys.wave->RequestChData(kAllChannels);
  TaskDefault.DisableMsgDisplay();
  write_web_factory_files();
  restart_frp_client();
  return 0;
}

int Defualt_Cannel(keypara) {
  TaskDefault.DisableMsgDisplay();
  int id = DefaultSaveLastTaskId;
  if (id == kTaskHelp || id < 0 || id == kTaskDefault || !Manager().FindTaskbyId(id)) id = kTaskCh1;
  Manager().ActiveTask(id, -1);
  return 0;
}
