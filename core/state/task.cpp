#include "core/state/task.h"

#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

_SysResource& task::Sys() const { return Resource.sys ? *Resource.sys : SystemResource; }

task_manage& task::Manager() const { return Resource.manager ? *Resource.manager : TaskManage; }

_SysRunInfoOp& task::Run() const { return Sys().runStatus ? *Sys().runStatus : SysRunStatus; }

int TaskNotBuilt::OpResponse(taskresponse* r) {
  if (!r) return -1;
  ++keysSeen;
  lastKey = r->key.key;
  if (r->key.key >= KEY_WORD_DEFAULT && r->key.key <= KEY_WORD_NONE) return 0;
  return TaskMenu.MenuOp(r->key);
}
