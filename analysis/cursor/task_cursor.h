// The cursor function module behind the CURSOR key (task 16): two manual
// cursors on the wave area and their readings. In the YT display format
// time cursors (AX, BX) or amplitude cursors (AY, BY) on CH1, CH2 or MATH;
// in the XY format time marks on the record or amplitude lines on the X or
// Y axis. The positions and settings live in the record of the cursor
// drawing (analysis/cursor/cursor_draw.h); every handler copies it, changes it and
// stores it back under its lock.
#pragma once
#include <cstdint>

#include "core/state/task.h"

struct instr;

// Item numbers (item n: page n / 5, slot n % 5).
enum CursorItem : int {
  kCurEnable = 0, kCurType = 1, kCurSource = 2, kCurMode = 3,
  kCurEnableXY = 5, kCurTypeXY = 6, kCurModeXY = 7, kCurSourceXY = 8, kCurHoriUnitXY = 9,
};

constexpr int kCursorTaskId = 16;
constexpr uint16_t kCursorKey = 60;
constexpr int kCursorPageXY = 1;

// Run-state function bits of the cursors.
constexpr uint64_t kCurFuncTime = 0x1000, kCurFuncAmp = 0x2000, kCurFuncXY = 0x4000;
constexpr uint64_t kCurFuncAll = kCurFuncTime | kCurFuncAmp | kCurFuncXY;

class TaskForCursor : public task {
 public:
  int Default() override;
  int Initialize() override;
  // Setup-file block "TASK-CURSOR", CR LF, the menu image, CR LF.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override;
  int Display() override;
  int FunctionOnOff(int mode) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse*) override { return 0; }
  int TaskBetweenSync(taskresponse* r, taskresponse* arg) override;
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override { return 0; }

  int LoadLanguage(int reload);
  // Copies the run state's display format into the record.
  int CheckDisplayFormat();
  // The source data refresh runs at most this often (microseconds).
  void StampRefresh();

 private:
  int64_t lastT_ = 0;
};

extern TaskForCursor TaskCursor;
extern instr TaskCursorInstrStandard[];
extern menu TaskCursorMenu;
extern Menu* CursorMenu;

// The source channel of a source item (0 CH1, 1 CH2, 2 MATH).
int CursorSourceOf(int item);

// Item handlers, the page handler and the helpers of the module.
int Cursor_Enable(keypara k);
int Cursor_Type(keypara k);
int Cursor_Source(keypara k);
int Cursor_Mode(keypara k);
int Cursor_Hori_Unit(keypara k);
int CursorKey(keypara k);
int CursorMenuOp(keypara k);
void Cursor_MenuReset();
void Cursor_MenuInit();
int AdjGainMenuLink();
// The layout remaps of the amplitude lines after another module's key.
void CursorRemapLayout(uint16_t key);
