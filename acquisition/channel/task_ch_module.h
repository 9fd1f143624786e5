// The function module of one analog channel: the CH key, the channel menu
// (coupling, bandwidth limit, coarse/fine, invert, voltage and current
// probes with a custom ratio typed on the number keypad, unit, the channel
// label typed on the letter keyboard) and the channel's setup-file block.
// TaskForCh1 and TaskForCh2 are this module with their own layout: task id,
// panel key, item numbers of the pages that differ, EEPROM defaults.
#pragma once
#include <cstdint>

#include "core/common/common_subprogram.h"
#include "core/messages/request.h"
#include "core/state/task.h"

struct _SysResource;

// Task id of the module that owns source `ch` (0..10), -1 for another.
int ChannelTaskId(int ch);

// The items of the menu that every channel has at the same number.
enum ChannelItem : int16_t {
  kChCoupling = 0,
  kChBwLimit = 1,
  kChVoltsDiv = 2,
  kChInvert = 3,
  kChNext = 4,
  kChProbeType = 5,
  kChProbe = 6,
  kChCustom = 7,
  kChUnit = 8,
  kChNext2 = 9,
};

constexpr int kChProbeCustom = 7;       // probe choice: the custom ratio
constexpr int kChProbeACustom = 4;      // current-probe choice: the custom value
constexpr int kChLabelCustom = 12;      // label library entry: the typed label
constexpr int kChLabelChars = 8;
constexpr int kChSoftKeys = 40;         // 37 characters, delete, case, OK
constexpr uint64_t kChTextEntryBit = 0x80000;  // function bit: the label keyboard takes the keys

// One EEPROM default of the module's items.
struct ChannelDefault {
  int16_t item;
  uint16_t value;
};

// The menu handlers of one channel module, placed into its menu record.
struct ChannelHandlers {
  MenuHandler coupling, bwLimit, voltsDiv, invert, next;
  MenuHandler probeType, probe, custom, unit, next2;
  MenuHandler probeTypeA, probeA, unitA, back;
  MenuHandler labelOnOff, labelLab, labelEdit, labelDel, labelOk, labelBack;
  MenuHandler menuOp, labelOp;
};

struct ChannelLayout {
  int16_t channel;         // request target: 0 CH1, 1 CH2
  int16_t taskId;          // 6, 7
  uint16_t panelKey;       // 64, 65
  const char* setupLabel;  // "TASK-CH1"
  const char* name;        // "CH1": label of library entry 0
  const char* textName;    // "Ch1": file-name part of the menu text
  const char* defaultLine;
  const char* initLine;
  const char* languageLine;
  // Items and pages that differ between the channels.
  int16_t probeTypeA, probeA, customA, unitA;
  int16_t labelOn, labelLib, labelEdit, labelDel, labelOk;
  int16_t currentPage, labelPage, keyboardPage;
  const ChannelDefault* defaults;
  int16_t defaultCount;
  bool defaultResetsCustom;  // Default writes item 7 := 1.0
  bool initSwitchesOn;       // Initialize sends the channel's on/off request
  bool swallowsNone;         // key word 133 does nothing (else it reaches the menu)
};

// Fills `record` with the channel's pages: item attributes, choice counts,
// value widths and EEPROM addresses (from the EEPROM map), handlers.
void BuildChannelMenu(menu* record, const ChannelLayout& layout, const ChannelHandlers& h);

class TaskForChannel : public task {
 public:
  TaskForChannel(const ChannelLayout& layout, menu* record);

  int Default() override;
  int Initialize() override;
  // Setup-file block: the label, CR LF, the menu image, CR LF. On save the
  // record's `length` is the capacity of `buffer` and `used` the bytes
  // already written; a block that does not fit sets status -1.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override { return 0; }
  int Display() override;
  int FunctionOnOff(int mode) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse*, taskresponse*) override { return 0; }
  int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) override;
  int LoadLanguage(int reload);

  // Item handlers (the CH1/CH2 free handlers forward to these).
  int Coupling(keypara k);
  int BwLimit(keypara k);
  int VoltsDiv(keypara k);
  int Invert(keypara k);
  int Next(keypara k);
  int Next2(keypara k);
  int Back(keypara k);
  int Probe(keypara k);
  int ProbeType(keypara k);
  int ProbeType_A(keypara k);
  int Probe_A(keypara k);
  int Set_Probe_A();
  int Unit(keypara k);
  int Unit_A(keypara k);
  int Custom(keypara k);
  int LabelOnOff(keypara k);
  int LabelLab(keypara k);
  int LabelEdit(keypara k);
  int LabelDel(keypara k);
  int LabelOk(keypara k);
  int LabelBack(keypara k);
  // Page handlers: the CH key and the refresh after every key; the letter
  // keyboard of the label pages.
  int MenuOp(keypara k);
  int LabelOp(keypara k);
  // Applies every item value again (after a setup block was loaded).
  int AllParaReSet();
  int SendSysRequest(int code, short target, short value);

  // State, for the drawing and for tests.
  const ChannelLayout& Layout() const { return L; }
  bool KeypadShown() const { return ChNumKeySel != 0; }
  bool KeyboardShown() const { return ChInputLableFlag != 0; }
  const char* CustomLabelName() const { return ChCustomLabelName; }
  int KeyboardSel() const { return ChKeySel; }
  const numkeyboard& Keypad() const { return ChNumKeyboard; }

 private:
  struct Attrib {
    uint32_t attr;
    uint32_t page;
  };

  uint16_t Item(int n) const;
  float ItemF32(int n) const;
  void SetItem(int n, uint64_t v);
  void ShowPage(int page);
  bool CurrentProbe() const;
  void Sanitize();
  void RerunUnit();
  void SetCustomRatio(float ratio);
  void TriggerFollowRatio(float ratio);
  void ApplyCustom(float value);
  void StoreCustom(int n, float value);
  void CloseKeypad();
  void CloseKeyboard();
  void EndTextEntry();  // closes the keyboard and clears the text-entry bit
  void SyncOverlay();
  void SetLabelText(const char* text);
  void ShowCustomLabel();
  void AdjustSavedPage();
  bool ChannelKey();

  const ChannelLayout& L;
  menu* record_;
  Menu* ChMenu = nullptr;
  requestpara ChRequestPara{};
  char ChCustomLabelName[kChLabelChars + 1] = "None";
  uint16_t CustomLabel[kChLabelChars + 1] = {};
  int ChInputNameIndex = 0;
  int ChInputLableFlag = 0;
  int ChKeySel = 0;
  int ChUpperLower = 0;
  int ChNumKeySel = 0;
  numkeyboard ChNumKeyboard{};
  Attrib ChAttrib{3, 0};
  const char* ChLabel;
};
