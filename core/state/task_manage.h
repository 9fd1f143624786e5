// The module registry: modules by task id, the current module, and the lists
// of modules that process data each pass, draw overlays, or follow another
// module's keys.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/state/ids.h"
#include "core/state/task.h"

struct instr;

// A row of the registration table.
struct RegisterRow {
  int32_t id;
  char name[20];
  task* module;
  instr* table;
};

// Task-manager result codes.
enum : int {
  TASK_ADD_PROCESS_OK = 7,
  TASK_PROCESS_EXISTS = 8,
  TASK_LISTED = 9,
  TASK_NOT_LISTED = 10,
  TASK_ADD_DISPLAY_OK = 11,
  TASK_DISPLAY_TOP = 12,
  TASK_SET_TOP_OK = 15,
  TASK_DEL_PROCESS_OK = 16,
  TASK_DEL_PROCESS_NOT_FOUND = 17,
  TASK_DEL_DISPLAY_OK = 18,
  TASK_DEL_DISPLAY_NOT_FOUND = 19,
  TASK_NO_SUCH_MODULE = 4,
  TASK_ID_TOO_LARGE = 0x08000002,
};

// The SCPI registration of a module's table, installed by start-up (null:
// tables are not registered).
void SetScpiTableHook(void (*registerTable)(int id, instr* table));

constexpr int kTaskSlots = 64;
constexpr int kSyncLists = kLastFunctionTask + 1;  // task ids 0..20 can have followers
constexpr int kCurrentTaskKey = kTaskCurrent;  // key-map id for "the current module"

class task_manage {
 public:
  task_manage();
  ~task_manage();
  task_manage(const task_manage&) = delete;
  task_manage& operator=(const task_manage&) = delete;

  int TaskRegister(const RegisterRow* row, taskresponse* response);
  int GetSysTaskNum() const;
  task* FindTaskbyId(int id) const;
  task* FindTaskbyName(const char* name) const;
  int SetWorkTaskbyName(const char* name);
  int SetWorkTaskbyId(int id);
  int GetTaskCurrId() const { return currId_; }
  int GetLastTaskCurrId() const { return prevId_; }
  const char* GetTaskCurrName() const { return currName_; }
  int ActiveTask(int id, int page);

  int AddUserTaskProcess(int id, uint32_t attr, uint32_t attr2);
  int AddUserTaskDisplay(int id, uint32_t attr, uint32_t attr2);
  int SetUserTaskTopDiplay(int id);
  int FindUserTaskProcess(int id);
  int FindUserTaskDisplay(int id);
  int DelUserTaskProcess(int id);
  int DelUserTaskDisplay(int id);

  int AddTaskBetweenSync(int a, int b);
  int DelTaskBetweenSync(int a, int b);
  int TaskBetweenSync(int id, taskresponse* response, taskresponse* arg);
  int TaskControlHandover(int id, taskresponse* response);
  int TaskBackgroundResponse(taskresponse* response, taskresponse* arg);
  int RunTaskOpResponse(int route, taskresponse* response);
  int RunTaskProcess();
  int RunTaskDisplay();
  int SendKeytoAllTask(taskresponse* response, const int* list);
  int RequestTaskAssist(int id, taskresponse* request, taskresponse* reply);
  int TaskAllFuncOff(int arg);
  int TaskFuncOff(int id, int arg);
  int SetUserTaskMenuItem(int id, int item, uint64_t value);
  int TaskLossFocusDisplayClose(int id);
  int TaskCannel(int id, const char* name);
  void DisplayTaskLinkProcess();
  task_manage* GetTaskList() { return this; }

  // Snapshots of the lists, in order (for the composer and for tests).
  std::vector<int> ProcessList() const;
  std::vector<int> DisplayList() const;  // list order
  int DisplayTop() const;                // -1 when none
  std::vector<int> SyncList(int id) const;

 private:
  struct Node {
    char name[20];
    int32_t id;
    uint32_t attr;
    uint32_t attr2;
    Node* next;
  };
  struct SyncNode {
    int32_t target;
    SyncNode* next;
  };

  bool Registered(int id) const { return id >= 0 && id < kTaskSlots && modules_[id]; }
  Node* NewNode(int id, uint32_t attr, uint32_t attr2) const;
  static Node* FindNode(Node* head, const char* name);
  static int Remove(Node** head, const char* name);
  std::vector<Node> Snapshot(Node* head) const;

  int32_t count_ = -1;      // registered modules - 1
  int32_t prevId_ = -1;
  int32_t currId_ = -1;
  char currName_[20] = {};
  task* modules_[kTaskSlots] = {};
  Node* process_ = nullptr;
  Node* display_ = nullptr;
  SyncNode* sync_[kSyncLists] = {};
  // The lists are changed by the main loop and by SCPI handlers: they are
  // edited under this lock, and walked over snapshots so a module may change
  // them from inside its own call.
  mutable std::mutex mu_;
};

extern task_manage TaskManage;
