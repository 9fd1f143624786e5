// The module registry: registration, the current module, the process,
// display and sync lists, and routing through them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/state/task_manage.h"

namespace {
std::vector<std::string> g_calls;

class Probe : public TaskNotBuilt {
 public:
  int Default() override { return Note("Default"); }
  int Initialize() override { return Note("Initialize"); }
  int OpResponse(taskresponse*) override { return Note("OpResponse"); }
  int DataProcess() override { return Note("DataProcess"); }
  int Display() override { return Note("Display"); }
  int TaskControlHandover(taskresponse*) override { return Note("Handover"); }
  int TaskBetweenSync(taskresponse*, taskresponse*) override { return Note("Sync"); }
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override {
    Note("Background");
    return usesKey;
  }
  int Note(const char* what) {
    g_calls.push_back(std::string(TaskName) + ":" + what);
    return 0;
  }
  int usesKey = 0;
};

struct Registry : ::testing::Test {
  task_manage tm;
  Probe a, b, c, sys;
  menu pages{0, 3, 0, 0, 0, 0, 0};

  void SetUp() override {
    g_calls.clear();
    taskresponse r{};
    r.key.key = KEY_WORD_INIT;
    RegisterRow rows[] = {{0, "SYSTEM", &sys, nullptr}, {6, "A", &a, nullptr},
                          {7, "B", &b, nullptr},        {12, "C", &c, nullptr}};
    for (auto& row : rows) tm.TaskRegister(&row, &r);
    g_calls.clear();
  }
};
}  // namespace

TEST_F(Registry, RegistrationCallsDefaultOnlyForKeyWord129) {
  task_manage fresh;
  Probe p;
  RegisterRow row{9, "P", &p, nullptr};
  taskresponse r{};
  r.key.key = KEY_WORD_INIT;
  EXPECT_EQ(fresh.TaskRegister(&row, &r), 9);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"P:Initialize"}));
  g_calls.clear();
  r.key.key = KEY_WORD_DEFAULT;
  fresh.TaskRegister(&row, &r);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"P:Default", "P:Initialize"}));
  EXPECT_EQ(fresh.GetSysTaskNum(), 1);  // registering again keeps one module
  EXPECT_EQ(p.TaskId, 9);
  EXPECT_STREQ(p.TaskName, "P");
  EXPECT_EQ(p.Resource.manager, &fresh);
}

TEST_F(Registry, RejectsIdsOutsideTheSlots) {
  Probe p;
  RegisterRow high{64, "X", &p, nullptr}, negative{-3, "Y", &p, nullptr};
  EXPECT_EQ(tm.TaskRegister(&high, nullptr), TASK_ID_TOO_LARGE);
  EXPECT_EQ(tm.TaskRegister(&negative, nullptr), TASK_ID_TOO_LARGE);
  EXPECT_EQ(tm.FindTaskbyId(64), nullptr);
  EXPECT_EQ(tm.FindTaskbyId(-1), nullptr);
  EXPECT_EQ(tm.GetSysTaskNum(), 4);
}

TEST_F(Registry, CurrentModuleAndFallbacks) {
  EXPECT_EQ(tm.SetWorkTaskbyId(7), 0);
  EXPECT_EQ(tm.GetTaskCurrId(), 7);
  EXPECT_EQ(tm.SetWorkTaskbyId(3), 6);   // empty slot: nothing changes
  EXPECT_EQ(tm.SetWorkTaskbyId(-1), 6);
  EXPECT_EQ(tm.SetWorkTaskbyId(99), 6);
  EXPECT_EQ(tm.GetTaskCurrId(), 7);
  EXPECT_EQ(tm.FindTaskbyName("C"), &c);  // found whatever its id
  EXPECT_EQ(tm.FindTaskbyName(""), nullptr);
  tm.SetWorkTaskbyName("nobody");
  EXPECT_EQ(tm.GetTaskCurrId(), 6);
  EXPECT_EQ(tm.ActiveTask(21, 0), -1);
  EXPECT_EQ(tm.ActiveTask(5, 0), -1);
}

TEST_F(Registry, ActiveTaskClampsThePage) {
  a.TaskMenu.Attach(&pages);
  EXPECT_EQ(tm.ActiveTask(6, 2), 0);
  EXPECT_EQ(a.TaskMenu.GetCurrPage(), 2);
  EXPECT_EQ(tm.ActiveTask(6, 7), 0);  // beyond the last page
  EXPECT_EQ(a.TaskMenu.GetCurrPage(), 0);
  EXPECT_EQ(tm.GetTaskCurrId(), 6);
}

TEST_F(Registry, ProcessList) {
  EXPECT_EQ(tm.AddUserTaskProcess(6, 0x4, 0), TASK_ADD_PROCESS_OK);
  EXPECT_EQ(tm.AddUserTaskProcess(7, 0, 0), TASK_ADD_PROCESS_OK);
  EXPECT_EQ(tm.AddUserTaskProcess(7, 0, 0), TASK_PROCESS_EXISTS);
  EXPECT_EQ(tm.AddUserTaskProcess(3, 0, 0), TASK_NO_SUCH_MODULE);
  EXPECT_EQ(tm.FindUserTaskProcess(7), TASK_LISTED);
  tm.RunTaskProcess();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"A:DataProcess", "B:DataProcess"}));
  EXPECT_EQ(tm.DelUserTaskProcess(6), TASK_DEL_PROCESS_OK);  // the first node
  EXPECT_EQ(tm.ProcessList(), (std::vector<int>{7}));
  EXPECT_EQ(tm.DelUserTaskProcess(6), TASK_DEL_PROCESS_NOT_FOUND);
}

TEST_F(Registry, DisplayListTopIsDrawnLast) {
  EXPECT_EQ(tm.AddUserTaskDisplay(6, 0, 0), TASK_ADD_DISPLAY_OK);
  EXPECT_EQ(tm.AddUserTaskDisplay(7, 0, 0), TASK_ADD_DISPLAY_OK);
  EXPECT_EQ(tm.AddUserTaskDisplay(12, 0, 0), TASK_ADD_DISPLAY_OK);
  EXPECT_EQ(tm.DisplayTop(), 12);
  EXPECT_EQ(tm.AddUserTaskDisplay(6, 0, 0), TASK_DISPLAY_TOP);
  EXPECT_EQ(tm.DisplayTop(), 6);
  tm.RunTaskDisplay();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"B:Display", "C:Display", "A:Display"}));
  EXPECT_EQ(tm.SetUserTaskTopDiplay(7), TASK_SET_TOP_OK);
  EXPECT_EQ(tm.DisplayTop(), 7);
  EXPECT_EQ(tm.DelUserTaskDisplay(6), TASK_DEL_DISPLAY_OK);
  EXPECT_EQ(tm.DisplayList(), (std::vector<int>{7, 12}));
  EXPECT_EQ(tm.SetUserTaskTopDiplay(6), TASK_NO_SUCH_MODULE);
}

TEST_F(Registry, BackgroundResponseCallsEachModuleOnce) {
  tm.AddUserTaskDisplay(6, 0, 0);
  tm.AddUserTaskProcess(6, 0, 0);
  tm.AddUserTaskProcess(7, 0, 0);
  b.usesKey = 1;
  taskresponse r{};
  EXPECT_EQ(tm.TaskBackgroundResponse(&r, nullptr), 1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"A:Background", "B:Background"}));
}

TEST_F(Registry, SyncListsFollowTheHandlingModule) {
  EXPECT_EQ(tm.AddTaskBetweenSync(6, 7), 0);
  EXPECT_EQ(tm.AddTaskBetweenSync(6, 12), 0);
  EXPECT_EQ(tm.AddTaskBetweenSync(6, 7), 0);  // duplicate ignored
  EXPECT_EQ(tm.AddTaskBetweenSync(6, 6), -1);
  EXPECT_EQ(tm.AddTaskBetweenSync(6, 21), -1);
  EXPECT_EQ(tm.SyncList(6), (std::vector<int>{12, 7}));  // pushed at the head
  tm.SetWorkTaskbyId(6);
  taskresponse r{};
  tm.RunTaskOpResponse(1, &r);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"A:OpResponse", "C:Sync", "B:Sync"}));
  g_calls.clear();
  tm.RunTaskOpResponse(0, &r);  // route 0: the system module
  EXPECT_EQ(g_calls, (std::vector<std::string>{"SYSTEM:OpResponse"}));
  EXPECT_EQ(tm.DelTaskBetweenSync(6, 12), 0);
  EXPECT_EQ(tm.SyncList(6), (std::vector<int>{7}));
}

TEST(RegistryEmpty, NothingCurrentCallsNothing) {
  task_manage tm;
  taskresponse r{};
  EXPECT_EQ(tm.RunTaskOpResponse(1, &r), -1);
  EXPECT_EQ(tm.GetSysTaskNum(), -1);
  EXPECT_EQ(tm.RequestTaskAssist(6, &r, nullptr), -1);
  EXPECT_EQ(tm.TaskFuncOff(6, 0), -1);
}

TEST_F(Registry, ModulesMayEditListsFromTheirOwnCalls) {
  // A module that leaves the process list while it is being walked.
  struct Leaver : Probe {
    task_manage* tm;
    int DataProcess() override { return tm->DelUserTaskProcess(TaskId); }
  } leaver;
  leaver.tm = &tm;
  RegisterRow row{13, "L", &leaver, nullptr};
  tm.TaskRegister(&row, nullptr);
  tm.AddUserTaskProcess(13, 0, 0);
  tm.AddUserTaskProcess(6, 0, 0);
  tm.RunTaskProcess();
  EXPECT_EQ(tm.ProcessList(), (std::vector<int>{6}));
}
