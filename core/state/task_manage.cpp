#include "core/state/task_manage.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/menu/draw_hooks.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/semaphore.h"
#include "core/state/system_resource.h"

task_manage TaskManage;

namespace {
std::atomic<void (*)(int, instr*)> g_registerScpiTable{nullptr};

constexpr uint32_t kAttrTop = 0x1;
constexpr uint32_t kAttrPage = 0x2;
constexpr uint32_t kAttrProcessMark = 0x4;

void CopyName(char* dst, const char* src) {
  size_t n = src ? strnlen(src, 19) : 0;
  if (n) std::memcpy(dst, src, n);
  dst[n] = 0;
}
}  // namespace

void SetScpiTableHook(void (*registerTable)(int id, instr* table)) { g_registerScpiTable = registerTable; }

task_manage::task_manage() = default;

task_manage::~task_manage() {
  for (Node* head : {process_, display_}) {
    while (head) {
      Node* n = head->next;
      delete head;
      head = n;
    }
  }
  for (SyncNode*& s : sync_) {
    while (s) {
      SyncNode* n = s->next;
      delete s;
      s = n;
    }
  }
}

int task_manage::TaskRegister(const RegisterRow* row, taskresponse* response) {
  if (!row || !row->module || row->id < 0) return TASK_ID_TOO_LARGE;
  if (row->id > kTaskSlots - 1) return TASK_ID_TOO_LARGE;
  task* m = row->module;
  const int id = row->id;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!modules_[id]) ++count_;
    modules_[id] = m;
    m->TaskId = id;
    CopyName(m->TaskName, row->name);
    m->Resource.sem = &Sem;
    m->Resource.manager = this;
    m->Resource.global = &TaskManage;
    m->Resource.sys = &SystemResource;
    currId_ = id;
    CopyName(currName_, row->name);
  }
  std::printf("\n##### Start Register TaskName:  %s \n", m->TaskName);
  m->TaskMenu.SetResource(&m->Resource);
  if (response && (response->key.key & 0x81) == 0x81) m->Default();
  m->Initialize();
  void (*registerTable)(int, instr*) = g_registerScpiTable.load();
  if (row->table && registerTable) registerTable(id, row->table);
  std::printf("\n##### End Register TaskName:  %s \n", m->TaskName);
  return id;
}

int task_manage::GetSysTaskNum() const { return count_ < 0 ? -1 : count_ + 1; }

task* task_manage::FindTaskbyId(int id) const {
  if (id < 0 || id >= kTaskSlots) return nullptr;
  return modules_[id];
}

task* task_manage::FindTaskbyName(const char* name) const {
  if (!name || !*name) return nullptr;
  // Function modules have ids from 6; all of them are searched (ids are
  // sparse, so the registration count does not bound the highest id).
  for (int id = kFirstFunctionTask; id < kTaskSlots; ++id)
    if (modules_[id] && std::strncmp(modules_[id]->TaskName, name, 20) == 0) return modules_[id];
  return nullptr;
}

int task_manage::SetWorkTaskbyName(const char* name) {
  task* t = FindTaskbyName(name);
  return SetWorkTaskbyId(t ? t->TaskId : kTaskCh1);
}

int task_manage::SetWorkTaskbyId(int id) {
  if (!Registered(id)) return kTaskCh1;
  task* m = modules_[id];
  prevId_ = currId_;
  currId_ = id;
  CopyName(currName_, m->TaskName);
  if (!m->TaskMenu.MenuIsNull()) {
    I2cStorage.I2C_WriteU16(EE_TASK_ID, uint16_t(id));
    I2cStorage.I2C_WriteU8(EE_TASK_PAGE, uint8_t(m->TaskMenu.GetCurrPage()));
  }
  return 0;
}

int task_manage::ActiveTask(int id, int page) {
  if (id < 0 || id > kLastFunctionTask || !modules_[id]) return -1;
  task* m = modules_[id];
  if (page < 0) page = m->TaskMenu.GetCurrPage();
  if (page > m->TaskMenu.GetMaxPage()) page = 0;
  m->TaskMenu.SetCurrPage(5 * page);
  SetWorkTaskbyName(m->TaskName);
  SetWorkTaskbyId(id);
  return 0;
}

task_manage::Node* task_manage::NewNode(int id, uint32_t attr, uint32_t attr2) const {
  Node* n = new Node{};
  CopyName(n->name, modules_[id]->TaskName);
  n->id = id;
  n->attr = attr;
  n->attr2 = attr2;
  return n;
}

task_manage::Node* task_manage::FindNode(Node* head, const char* name) {
  for (Node* n = head; n; n = n->next)
    if (std::strncmp(n->name, name, 20) == 0) return n;
  return nullptr;
}

int task_manage::Remove(Node** head, const char* name) {
  for (Node** p = head; *p; p = &(*p)->next) {
    if (std::strncmp((*p)->name, name, 20) == 0) {
      Node* dead = *p;
      *p = dead->next;
      delete dead;
      return 1;
    }
  }
  return 0;
}

std::vector<task_manage::Node> task_manage::Snapshot(Node* head) const {
  std::vector<Node> out;
  for (Node* n = head; n; n = n->next) out.push_back(*n);
  return out;
}

int task_manage::AddUserTaskProcess(int id, uint32_t attr, uint32_t attr2) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!Registered(id)) return TASK_NO_SUCH_MODULE;
  if (FindNode(process_, modules_[id]->TaskName)) return TASK_PROCESS_EXISTS;
  Node** p = &process_;
  for (; *p; p = &(*p)->next)
    if (attr & kAttrProcessMark) (*p)->attr &= ~kAttrProcessMark;
  *p = NewNode(id, attr, attr2);
  return TASK_ADD_PROCESS_OK;
}

int task_manage::AddUserTaskDisplay(int id, uint32_t attr, uint32_t attr2) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!Registered(id)) return TASK_NO_SUCH_MODULE;
  Node* found = FindNode(display_, modules_[id]->TaskName);
  for (Node* n = display_; n; n = n->next) n->attr &= ~kAttrTop;
  if (found) {
    found->attr |= kAttrTop;
    return TASK_DISPLAY_TOP;
  }
  Node** p = &display_;
  while (*p) p = &(*p)->next;
  *p = NewNode(id, attr | kAttrTop, attr2);
  return TASK_ADD_DISPLAY_OK;
}

int task_manage::SetUserTaskTopDiplay(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!Registered(id)) return TASK_NO_SUCH_MODULE;
  Node* found = FindNode(display_, modules_[id]->TaskName);
  if (!found) return TASK_NO_SUCH_MODULE;
  for (Node* n = display_; n; n = n->next) n->attr &= ~kAttrTop;
  found->attr |= kAttrTop;
  return TASK_SET_TOP_OK;
}

int task_manage::FindUserTaskProcess(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  return Registered(id) && FindNode(process_, modules_[id]->TaskName) ? TASK_LISTED : TASK_NOT_LISTED;
}

int task_manage::FindUserTaskDisplay(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  return Registered(id) && FindNode(display_, modules_[id]->TaskName) ? TASK_LISTED : TASK_NOT_LISTED;
}

int task_manage::DelUserTaskProcess(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!Registered(id)) return TASK_NO_SUCH_MODULE;
  if (Remove(&process_, modules_[id]->TaskName)) {
    std::printf("TASK_DEL_PROCESS_SUCCESS ...\n");
    std::printf("Prelink Name = %s \n", modules_[id]->TaskName);
    return TASK_DEL_PROCESS_OK;
  }
  std::printf("TASK_DEL_PROCESS_FAILE ...\n");
  return TASK_DEL_PROCESS_NOT_FOUND;
}

int task_manage::DelUserTaskDisplay(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!Registered(id)) return TASK_NO_SUCH_MODULE;
  return Remove(&display_, modules_[id]->TaskName) ? TASK_DEL_DISPLAY_OK : TASK_DEL_DISPLAY_NOT_FOUND;
}

int task_manage::AddTaskBetweenSync(int a, int b) {
  if (a < 0 || b < 0 || a >= kSyncLists || b >= kSyncLists || a == b) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  for (SyncNode* s = sync_[a]; s; s = s->next)
    if (s->target == b) return 0;
  sync_[a] = new SyncNode{b, sync_[a]};
  return 0;
}

int task_manage::DelTaskBetweenSync(int a, int b) {
  if (a < 0 || b < 0 || a >= kSyncLists || b >= kSyncLists) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  if (!modules_[a] || !modules_[b]) return -1;
  for (SyncNode** p = &sync_[a]; *p; p = &(*p)->next) {
    if ((*p)->target == b) {
      SyncNode* dead = *p;
      *p = dead->next;
      delete dead;
      break;
    }
  }
  return 0;
}

std::vector<int> task_manage::SyncList(int id) const {
  std::vector<int> out;
  if (id < 0 || id >= kSyncLists) return out;
  std::lock_guard<std::mutex> lock(mu_);
  for (SyncNode* s = sync_[id]; s; s = s->next) out.push_back(s->target);
  return out;
}

int task_manage::TaskBetweenSync(int id, taskresponse* response, taskresponse* arg) {
  if (id < 0 || id >= kSyncLists) return -1;
  for (int target : SyncList(id))
    if (task* m = FindTaskbyId(target)) m->TaskBetweenSync(response, arg);
  return 0;
}

int task_manage::TaskControlHandover(int id, taskresponse* response) {
  if (id < 0 || id > kLastFunctionTask) return -1;
  task* m = FindTaskbyId(id);
  return m ? m->TaskControlHandover(response) : -1;
}

int task_manage::TaskBackgroundResponse(taskresponse* response, taskresponse* arg) {
  std::vector<Node> shown, processing;
  {
    std::lock_guard<std::mutex> lock(mu_);
    shown = Snapshot(display_);
    processing = Snapshot(process_);
  }
  bool called[kSyncLists] = {};
  int result = 0;
  for (const Node& n : shown) {
    task* m = FindTaskbyId(n.id);
    if (!m) continue;
    result |= m->TaskBackgroundResponse(response, arg);
    if (n.id >= 0 && n.id < kSyncLists) called[n.id] = true;
  }
  for (const Node& n : processing) {
    if (n.id >= 0 && n.id < kSyncLists && called[n.id]) continue;
    task* m = FindTaskbyId(n.id);
    if (!m) continue;
    int status = m->TaskBackgroundResponse(response, arg);
    std::printf("RunTaskProcess name : %s   num = %d   Status = %d \n", n.name, n.id, status);
    result |= status;
    if (n.id >= 0 && n.id < kSyncLists) called[n.id] = true;
  }
  return result;
}

int task_manage::RunTaskOpResponse(int route, taskresponse* response) {
  task* cur = FindTaskbyId(currId_);
  if (!cur) return -1;
  task* target = route == 0 ? FindTaskbyId(0) : cur;
  if (!target) return -1;
  int rc = target->OpResponse(response);
  TaskBetweenSync(route == 0 ? 0 : currId_, response, nullptr);
  return rc;
}

int task_manage::RunTaskProcess() {
  std::vector<Node> nodes;
  {
    std::lock_guard<std::mutex> lock(mu_);
    nodes = Snapshot(process_);
  }
  for (const Node& n : nodes)
    if (task* m = FindTaskbyId(n.id)) m->DataProcess();
  return 0;
}

int task_manage::RunTaskDisplay() {
  std::vector<Node> nodes;
  {
    std::lock_guard<std::mutex> lock(mu_);
    nodes = Snapshot(display_);
  }
  int top = -1;
  for (const Node& n : nodes) {
    if (n.attr & kAttrTop) {
      top = n.id;
      continue;
    }
    if (task* m = FindTaskbyId(n.id)) m->Display();
  }
  if (top >= 0) {
    if (task* m = FindTaskbyId(top)) m->Display();
  } else {
    Draw().clearKeyboardShowFlags();
  }
  return 0;
}

int task_manage::SendKeytoAllTask(taskresponse* response, const int* list) {
  if (!list) {
    for (int id = 0; id < kTaskSlots; ++id) {
      task* m = FindTaskbyId(id);
      if (!m) continue;
      std::printf("Task Id = %s \n", m->TaskName);
      m->OpResponse(response);
    }
    return 0;
  }
  for (const int* p = list; *p >= 0; ++p) {
    task* m = FindTaskbyId(*p);
    if (!m) continue;
    std::printf("task id = %s \n", m->TaskName);
    m->OpResponse(response);
  }
  return 0;
}

int task_manage::RequestTaskAssist(int id, taskresponse* request, taskresponse* reply) {
  if (id < 0 || id >= kTaskSlots || !request) return -1;
  task* m = FindTaskbyId(id);
  return m ? m->Assist(request, reply) : -1;
}

int task_manage::TaskAllFuncOff(int arg) {
  for (int id = kFirstFunctionTask; id <= kLastFunctionTask; ++id)
    if (task* m = FindTaskbyId(id)) m->FunctionOnOff(arg);
  return 0;
}

int task_manage::TaskFuncOff(int id, int arg) {
  if (id < kFirstFunctionTask || id > kLastFunctionTask + 1) return -1;
  task* m = FindTaskbyId(id);
  return m ? m->FunctionOnOff(arg) : -1;
}

int task_manage::SetUserTaskMenuItem(int id, int item, uint64_t value) {
  task* m = FindTaskbyId(id);
  if (!m) return -1;
  int rc = m->TaskMenu.SetMenuItem(item, value);
  m->TaskMenu.MenuPopDisable();
  return rc;
}

int task_manage::TaskLossFocusDisplayClose(int id) {
  if (id < kFirstFunctionTask || id >= kTaskSlots) return -1;
  task* m = FindTaskbyId(id);
  if (!m || m->TaskMenu.MenuIsNull()) return -1;
  const uint32_t page = uint32_t(m->TaskMenu.GetCurrPage());
  std::lock_guard<std::mutex> lock(mu_);
  for (Node** p = &display_; *p;) {
    Node* n = *p;
    if (n->id == id && (n->attr & kAttrPage) && n->attr2 != page) {
      *p = n->next;
      delete n;
    } else {
      p = &n->next;
    }
  }
  return 0;
}

int task_manage::TaskCannel(int, const char*) { return 0; }

void task_manage::DisplayTaskLinkProcess() {
  std::vector<Node> nodes;
  {
    std::lock_guard<std::mutex> lock(mu_);
    nodes = Snapshot(process_);
  }
  std::printf("--------------------------------\n");
  for (const Node& n : nodes)
    std::printf("%s  id = %d  attr = 0x%x\n", n.name, n.id, n.attr);
  std::printf("--------------------------------\n");
}

std::vector<int> task_manage::ProcessList() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<int> out;
  for (Node* n = process_; n; n = n->next) out.push_back(n->id);
  return out;
}

std::vector<int> task_manage::DisplayList() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<int> out;
  for (Node* n = display_; n; n = n->next) out.push_back(n->id);
  return out;
}

int task_manage::DisplayTop() const {
  std::lock_guard<std::mutex> lock(mu_);
  for (Node* n = display_; n; n = n->next)
    if (n->attr & kAttrTop) return n->id;
  return -1;
}
