// The horizontal function module behind the HORI key: display format (Y-T or
// X-Y), main or zoomed time base, trigger hold-off with its number keypad, and
// the multi-scope mode in which the two channels run as two oscilloscopes with
// their own time base and trigger, on one screen or split. The same menu
// carries the hidden service pages 2-15 (task_hori_service*.cpp).
#pragma once
#include <cstdint>

#include "core/common/common_subprogram.h"
#include "core/state/task.h"

struct instr;

// Items of pages 0 and 1.
enum HoriItem : int {
  kHoriFormat = 0,       // 0 Y-T, 1 X-Y
  kHoriType = 1,         // 0 main, 1 zoomed
  kHoriMultiScope = 2,   // 0 off, 1 on
  kHoriSplit = 3,        // 0 one screen, 1 split
  kHoriHoldOff = 4,      // u32 hold-off in steps of 4 ns
  kHoriMultiScope2 = 5,  // page 1 copies of items 2 and 3
  kHoriSplit2 = 6,
  kHoriChConfig = 7,
  kHoriRst = 8,
  kHoriBack = 9,
};

constexpr int kHoriTaskId = 13;
constexpr uint16_t kHoriKey = 67;
constexpr uint16_t kHoriRemoteMultiScopeKey = 241;  // the remote multi-scope switch
constexpr int kHoriFactoryPage = 6;                  // shown by the assist with selector 30

// Hold-off in steps of 4 ns: 100 ns to 10 s. The factory value written to
// the EEPROM is the minimum itself.
constexpr uint32_t kHoldOffMin = 25;
constexpr uint32_t kHoldOffMax = 2500000000u;
constexpr uint32_t kHoldOffDefault = kHoldOffMin;
constexpr float kHoldOffStep = 4e-9f;  // seconds per count (single precision)

// Function bits of the run state this module reads or sets.
constexpr uint64_t kFuncZoom = 0x1;
constexpr uint64_t kFuncXY = 0x4;
constexpr uint64_t kFuncPassFail = 0x800;
constexpr uint64_t kFuncCursorTrack = 0x4000;
constexpr uint64_t kFuncCursors = 0x7000;
constexpr uint64_t kFuncMultiScope = 0x40000;

// Seconds (after the keypad or a remote text) to hold-off counts, rounded and
// clamped to kHoldOffMin..kHoldOffMax in 64 bits before narrowing.
uint32_t HoldOffCounts(double seconds);

class TaskForHori : public task {
 public:
  int Default() override;
  int Initialize() override;
  // Setup-file block "TASK-HORI", CR LF, the menu image, CR LF.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override;
  int Display() override;
  int FunctionOnOff(int arg) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse*, taskresponse* arg) override { return arg ? arg->request : 0; }
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override { return 0; }

  int LoadLanguage(int reload);

  // Hold-off keypad.
  bool KeypadShown() const { return NumKeySel != 0; }
  const numkeyboard& Keypad() const { return HoriNumKeyboard; }
  void OpenKeypad();
  void CloseKeypad();
  numkeyboard& KeypadState() { return HoriNumKeyboard; }

  // FuncType bits: 1 guidance running, 3 hold-off keypad shown.
  static constexpr uint32_t kFuncGuidance = 1u << 1;
  static constexpr uint32_t kFuncKeypad = 1u << 3;
  uint32_t FuncType = 0;

 private:
  int NumKeySel = 0;
  numkeyboard HoriNumKeyboard{};
  uint32_t HoriAttrib = 3;
};

extern TaskForHori TaskHori;
extern instr TaskHoriInstrStandard[];
extern menu TaskHoriMenu;

// A time text scaled by the unit behind the number ("ns", "us", "ms", else
// seconds); -1.0 for a null text.
double TimeStringParse(const char* text);
// Raises the draw-refresh flag after a remote setting.
void Scpi_HoriCommonOp();

// Page handler of pages 0 and 1 and the re-application of every setting.
int HoriMenuOp(keypara k);
void HoriAllParaReSet();

// Item handlers of pages 0 and 1.
int Hori_Format(keypara k);
int Hori_Type(keypara k);
int Hori_HoldOff(keypara k);
int Hori_MultiScopeOnOff(keypara k);
int Hori_MultiScopeChSplit(keypara k);
int Hori_MultiScopeChConfig(keypara k);
int Hori_MultiScopeRST(keypara k);
int Hori_MultiScopeBack(keypara k);

// The service pages (task_hori_service*.cpp): their start-up and the work
// the module's DataProcess, Display and TaskControlHandover do for them.
void HoriServiceInit();
void HoriServiceProcess();
void HoriServiceDisplay();
void HoriServiceHandover();
