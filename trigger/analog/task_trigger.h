// The trigger function module (TRIGGER key): the trigger menu with one or
// two pages per trigger type, the common settings page and the When page,
// the copy of the chosen type's settings into the run state and the request
// that programs the trigger hardware, the keypad for times and counts, and
// the module's setup-file block.
#pragma once
#include <cstdint>

#include "core/common/common_subprogram.h"
#include "core/state/task.h"

struct instr;
struct _SysResource;
class task_manage;

// Trigger types: the value of the linked "Type" items.
enum TriggerType : int {
  kTrigEdge = 0,
  kTrigPulse,
  kTrigVideo,
  kTrigSlope,
  kTrigRunt,
  kTrigWindow,
  kTrigDelay,
  kTrigTimeOut,
  kTrigDuration,
  kTrigSetupHold,
  kTrigNthEdge,
  kTrigPattern,
  kTrigRs232,
  kTrigI2c,
  kTrigSpi,
  kTrigCan,
  kTrigLin,
  kTrigTypes,
};

// Menu items the module itself reads (item n: page n / 5, slot n % 5).
enum TriggerItem : int16_t {
  kTiType = 0,
  kTiEdgeSource = 1,
  kTiEdgeSlope = 2,
  kTiEdgeAlternate = 3,
  kTiPulseSource = 6,
  kTiPulsePolarity = 7,
  kTiVideoSource = 16,
  kTiVideoStandard = 17,
  kTiVideoSync = 18,
  kTiVideoLine = 19,
  kTiSlopeSource = 21,
  kTiSlopePolarity = 25,
  kTiSlopeThreshold = 26,
  kTiRuntSource = 31,
  kTiRuntPolarity = 32,
  kTiRuntLevel = 33,
  kTiWinSource = 41,
  kTiWinSlope = 42,
  kTiWinPosition = 43,
  kTiWinLevel = 45,
  kTiWinTime = 46,
  kTiDelaySource1 = 51,
  kTiDelayEdge1 = 52,
  kTiDelaySource2 = 53,
  kTiDelayEdge2 = 55,
  kTiTimeOutSource = 61,
  kTiTimeOutSlope = 62,
  kTiTimeOutTime = 63,
  kTiDurSource = 66,
  kTiDurCode = 67,
  kTiShData = 76,
  kTiShCode = 77,
  kTiShClock = 78,
  kTiShEdge = 80,
  kTiShSel = 81,
  kTiShTime = 82,
  kTiNthSource = 86,
  kTiNthSlope = 87,
  kTiNthIdle = 88,
  kTiNthCount = 90,
  kTiPatSource = 96,
  kTiPatCode = 97,
  kTiMode = 100,
  kTiCoupling = 101,
  kTiForce = 102,
  kTiWhen = 105,
  kTiLowLimit = 106,
  kTiUppLimit = 107,
  kTiRs232Source = 111,
  kTiRs232Baud = 112,
  kTiRs232SpecialBps = 113,
  kTiDataWidth = 116,  // the decode's data width
  kTiI2cScl = 126,
  kTiBusState = 145,   // the decode lane: on/off, number base, event list, position
  kTiBusBase = 146,
  kTiEventTable = 147,
  kTiBusVerPos = 148,
  kTiBusSaveSet = 151,
  kTiSpiScl = 161,
};

// Item attribute bits the trigger handlers set and test.
enum : uint32_t {
  kTrigAttrOff = 0x08,   // switched off: the handler ignores keys
  kTrigAttrKnob = 0x20,  // owns the knob on its page
  kTrigAttrFrozen = 0x80,
  kTrigAttrNs = 0x00800000,       // time item in 1 ns units
  kTrigAttrQuarter = 0x01000000,  // time item in 4 ns units
};

constexpr uint64_t kTrigTimeMin = 2;
constexpr uint64_t kTrigPulseTimeMax = 10000000000ull;  // 10 s in ns
constexpr uint64_t kTrigTimeMax = 2500000000ull;        // 10 s in 4 ns
constexpr int kTrigNthMax = 65535;
// Video standards: PAL, NTSC and SECAM; the panel offers the first two, a
// remote command all three.
constexpr int kTrigVideoStandards = 3;
constexpr int kTrigMessageTimeLimit = 6;  // "Time parameter Operation at limit"

// First item ("Type") of each type's first page, then -1: the linked items
// and the page-jump table.
extern const int LinkageItem[kTrigTypes + 1];
// Source item of the analog types.
extern const int SourceItem[12];

class TaskForTrigger : public task {
 public:
  TaskForTrigger();

  int Default() override;
  int Initialize() override;
  // Setup-file block: "TASK-TRIGGER", CR LF, the menu image, CR LF.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  // Serial-bus types: the decode bytes of the pass into entries and frames.
  int DataProcess() override;
  int Analysis_decode_data();
  // Moves the focused row of the event, CAN or LIN list (key 76 down, 77 up).
  int Adj_event_fouce_item(short key);
  int Display() override;
  int FunctionOnOff(int mode) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse* r, taskresponse* arg) override;
  // The decode lane and its list give way to the spectrum (math type FFT
  // with the math channel shown), to XY and to an independent time base,
  // whatever turned them on.
  bool DecodeLaneGivesWay() const;
  // Turns the lane and its list off while they give way; true when they do.
  bool LaneGiveWay();
  int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) override;
  int LoadLanguage(int reload);

  // Copies the current type's items into the run state and asks for request 17.
  int TriggerTypeParaRefresh();
  // Mode and coupling into the run state and the hardware.
  int TriggerSetParaRefresh();
  int TriggerAllParaReSet();
  int DisableFunc();
  int AlternateTrigger();

  // The keypad for times and counts.
  int OpenNumKeyboard(short item);
  int CloseNumKeyboard();
  int IsNumKeyboardEnable() const { return NumKeyboardFlag; }
  int NumKeyboardOp(keypara k);
  double GetNumKeyboardVal() const { return NumKeyboard.value; }
  const numkeyboard& Keypad() const { return NumKeyboard; }

  uint32_t GetDurationCode() const { return DurationCode; }
  void SetDurationCode(uint32_t c) { DurationCode = c; }
  uint32_t GetPatternCode() const { return PatternCode; }
  void SetPatternCode(uint32_t c) { PatternCode = c; }

  // Helpers of the item handlers.
  _SysResource* Sys() const;
  int Type() const;  // item 0, kept inside the types
  uint64_t Item(int n) const;
  void SetItem(int n, uint64_t v);
  uint32_t Attr(int n) const;
  void SetAttr(int n, uint32_t set, uint32_t clear);

 private:
  task_manage* Manager() const;
  void Sanitize();
  int SendRequest17();

  int16_t NumKeyboardFlag = 0;
  numkeyboard NumKeyboard{};
  uint32_t DurationCode = 0;
  uint32_t PatternCode = 0;
  int32_t DecodeByteCount = 0;
};

extern TaskForTrigger TaskTrigger;
extern menu TaskTriggerMenu;
extern Menu* TriggerMenu;
extern instr TaskTriggerInstrStandard[];
extern int ConfigFlag;

// Fills the menu record: pages, items, attributes, handlers, EEPROM addresses.
void BuildTriggerMenu(menu* record);

// Module-level operations the handlers and other modules call.
int Trigger_TypeSelect(keypara k);
int Trigger_MenuOp(keypara k);
int SetTriggerMenuPage(short type);
int SetTriggerSourceMenu(short source);
int Trigger_TimeSetting(keypara k, short item);
int Trigger_EdgeAlternate(keypara k);

// Common Set and When pages.
int TriggerSet_Mode(keypara k);
int TriggerSet_Coupling(keypara k);
int TriggerSet_Force(keypara k);
int TriggerSet_Back(keypara k);
int TriggerSetMenuOp(keypara k);
int TriggerWhen_Sel(keypara k);
int TriggerWhen_LowLimit(keypara k);
int TriggerWhen_UppLimit(keypara k);
int TriggerWhen_Back(keypara k);
// A remote setter about to write "Mode" or "Coupling" and run its handler
// with no key: the value in force before, which the handler compares with.
void TriggerSetValueBefore(int item, int value);
void GetTriggerTime(unsigned long* upper, unsigned long* lower);
void TrigTimeScaleSet(int scale);

// Analog type handlers the module re-runs.
int Trigger_EdgeSource(keypara k);
int Trigger_VideoSync(keypara k);
int Trigger_DurationCode(keypara k);
int Trigger_PatternCode(keypara k);
int Trigger_DelaySource1(keypara k);
int Trigger_DelaySource2(keypara k);
int Trigger_SetupHoldDataSour(keypara k);
int Trigger_SetupHoldClkSour(keypara k);
int Trigger_VideoStandard(keypara k);
int Trigger_VideoLineNum(keypara k);
int Trigger_WinSet(keypara k);
int Trigger_TimeOutTime(keypara k);
int Trigger_SetupHoldEdge(keypara k);
int Trigger_SetupHoldCode(keypara k);
int Trigger_SetupHoldSetupHold(keypara k);
int Trigger_SetupHoldTime(keypara k);
int Trigger_NthEdgeSlope(keypara k);
int Trigger_NthEdgeIdleTime(keypara k);
int Trigger_NthEdgeEdgeNum(keypara k);
// Page operation of the type in force (its settings to the hardware).
int Trigger_TypeMenuOp(int type, keypara k);
