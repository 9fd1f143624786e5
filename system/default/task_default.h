// The default module behind the DEFAULT key: a confirmation dialog drawn over
// the screen; confirming sends the default and initialise key words to every
// module, then puts the web-control files back to their factory contents.
#pragma once
#include <cstdint>
#include <vector>

#include "core/state/ids.h"
#include "core/state/task.h"

struct instr;
class task_manage;
struct _SysResource;
constexpr uint16_t kDefaultConfirmNow = 128;  // key code of a confirmation given already

// Item numbers (page 0).
enum DefaultItem : int { kDefaultSure = 0, kDefaultCancel = 1 };

class TaskForDefault : public task {
 public:
  int Default() override { return 0; }
  int Initialize() override;
  int Stroage(taskresponse*) override { return 0; }
  int OpResponse(taskresponse* r) override;
  int DataProcess() override { return 0; }
  int Display() override;
  int FunctionOnOff(int mode) override;
  int Assist(taskresponse*, taskresponse*) override { return 0; }
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse*, taskresponse*) override { return 0; }
  int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) override;

  // Menu and dialog texts of the current language; -1 when the file fails.
  int LoadLanguage();
  // The dialog's title and body from a text file: the title follows the
  // first '*', the body the second. -1 (texts unset) on any failure.
  int LoadDefaultInfo(const char* file);

  void EnableMsgDisplay();
  void DisableMsgDisplay();
  // 1 while the confirmation is pending, else 0.
  int GetMsgDisplayFlag() const { return MsgDisplayFlag; }

 private:
  int16_t MsgDisplayFlag = 0;
  std::vector<uint16_t> TextBuffer;
};

extern TaskForDefault TaskDefault;
extern instr TaskDefaultInstrStandard[];
extern menu TaskDefaultMenu;
extern const uint16_t* defaultTitle;
extern const uint16_t* defaultTxt;
extern int DefaultSaveLastTaskId;
extern menu* DefaultMenu;

// The DEFAULT key's page handler, and the confirm and cancel items.
int DefaultMenuOp(keypara key);
int Defualt_Sure(keypara key);
int Defualt_Cannel(keypara key);
