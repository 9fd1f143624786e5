// The function-module interface and the records exchanged with the task manager.
#pragma once
#include <cstdint>
#include <functional>

#include "core/menu/keypara.h"
#include "core/menu/menu.h"

class semaphore;
class task_manage;
class _SysRunInfoOp;
struct _SysResource;

// Carries a key word or a request between the main loop, the task manager and
// a module. Assists put their request number in `request`.
struct taskresponse {
  uint16_t request;       // 0 for keys
  uint16_t words[15];     // module-defined words
  keypara key;            // key word, step, remote flag
  int32_t recordIndex;    // 0
  uint8_t area[64];       // module-defined area (setup-file records)
};

// Setup-file record carried in `taskresponse::area` with key word 131.
// A load is first sent with kSetupCheck: each module checks its block (every
// value inside its table, every derived value in bounds) and changes
// nothing; one refusal refuses the whole file. Then three times: with
// kSetupSettle, for the waits a module takes before its block is taken (the
// settings lock let go, nothing changed yet); with kSetupLoad, every block
// taken in one stretch; with kSetupFinish, for the board's own sequences a
// block left to run once all are taken.
constexpr int32_t kSetupSave = 0, kSetupLoad = 1, kSetupSettle = 2, kSetupFinish = 3, kSetupCheck = 4;
struct SetupFileRecord {
  int32_t status;     // -1 error (on a check: the block is refused)
  int32_t direction;  // kSetupSave, kSetupLoad, kSetupSettle, kSetupFinish or kSetupCheck
  int32_t length;     // on load: the file's size
  int32_t used;       // on save: bytes written so far
  uint8_t* buffer;
};
static_assert(sizeof(SetupFileRecord) <= sizeof(taskresponse::area), "setup record fits");

// A module's `Stroage`: runs `save`, `load` or `check` on the record in
// `r->area` by its direction (a record without a buffer, or with another
// direction, kSetupSettle and kSetupFinish among them, fails; a check without
// `check` passes) and writes the status back: 0, or -1. The blocks
// themselves: core/state/setup_block.h.
using SetupBlockOp = std::function<bool(SetupFileRecord* rec)>;
int RunSetupBlock(taskresponse* r, const SetupBlockOp& save, const SetupBlockOp& load,
                  const SetupBlockOp& check = nullptr);

// What registration fills in: the shared objects a module reaches.
struct TaskResource {
  semaphore* sem = nullptr;
  task_manage* manager = nullptr;
  task_manage* global = nullptr;
  _SysResource* sys = nullptr;
};

class task {
 public:
  virtual ~task() = default;
  virtual int Default() = 0;
  virtual int Initialize() = 0;
  virtual int Stroage(taskresponse* r) = 0;
  virtual int OpResponse(taskresponse* r) = 0;
  virtual int DataProcess() = 0;
  virtual int Display() = 0;
  virtual int FunctionOnOff(int arg) = 0;
  virtual int Assist(taskresponse* request, taskresponse* reply) = 0;
  virtual int TaskControlHandover(taskresponse* r) = 0;
  virtual int TaskBetweenSync(taskresponse* r, taskresponse* arg) = 0;
  virtual int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) = 0;

  // The shared objects registration hands the module (the process-wide ones
  // before it).
  _SysResource& Sys() const;
  task_manage& Manager() const;
  _SysRunInfoOp& Run() const;

  // The DEFAULT key word: the menu's items back at their initial values,
  // then the module's Default (its EEPROM defaults and its own state).
  int DefaultSetup() {
    TaskMenu.RestoreInitialItems();
    return Default();
  }

  // The key words every module answers alike: DEFAULT runs DefaultSetup,
  // INIT and STORAGE run Initialize and Stroage, LANGUAGE runs `language`.
  // True when `r` carried one of them, with the result in *rc.
  template <class Language>
  bool KeyWord(taskresponse* r, int* rc, Language language) {
    switch (r->key.key) {
      case KEY_WORD_DEFAULT: *rc = DefaultSetup(); return true;
      case KEY_WORD_INIT: *rc = Initialize(); return true;
      case KEY_WORD_STORAGE: *rc = Stroage(r); return true;
      case KEY_WORD_LANGUAGE: *rc = language(); return true;
      default: return false;
    }
  }

  // Module head, filled in by registration.
  int32_t TaskId = -1;
  char TaskName[20] = {};
  Menu TaskMenu;
  TaskResource Resource;
};

// A module whose function is not built yet: registered, owns no menu, and
// answers every call with "nothing done" rather than pretending to work.
class TaskNotBuilt : public task {
 public:
  int Default() override { return 0; }
  int Initialize() override { return 0; }
  int Stroage(taskresponse*) override { return -1; }
  int OpResponse(taskresponse* r) override;
  int DataProcess() override { return 0; }
  int Display() override { return 0; }
  int FunctionOnOff(int) override { return 0; }
  int Assist(taskresponse*, taskresponse*) override { return -1; }
  int TaskControlHandover(taskresponse*) override { return 0; }
  int TaskBetweenSync(taskresponse*, taskresponse*) override { return 0; }
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override { return 0; }
  // Keys this module received (for the record: a stub does nothing with them).
  int keysSeen = 0;
  uint16_t lastKey = 0;
};
