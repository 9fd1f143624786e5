// The help module behind the HELP key: a window over the current module with
// a two-level list of topics (functions and their sub-items) on the left and
// the text of the selected entry on the right, read from the UTF-16 help file
// of the current language. It has no menu; while open it takes the select
// knob.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/state/ids.h"
#include "core/state/task.h"

struct instr;
class task_manage;
struct _SysResource;
// The select knob: push, turn right (down the list), turn left (up).
constexpr uint16_t kHelpKnobPush = 72, kHelpKnobRight = 76, kHelpKnobLeft = 77;
constexpr int kHelpMaxTopics = 50;
constexpr int kHelpMaxSubItems = 50;
constexpr int kHelpListLines = 12;  // list lines shown at once
constexpr int kHelpTextLines = 13;  // text lines shown at once
constexpr int kHelpNameChars = 64;

// One entry's text: where it lies in the help buffer and how it scrolls.
struct HelpText {
  const uint16_t* text = nullptr;
  int32_t length = 0;    // characters
  int16_t longText = 0;  // 1: more lines than a page
  int16_t firstLine = 0;
  int16_t lines = 0;
  int16_t scrollStep = 0;
};

struct HelpSubItem {
  const uint16_t* name = nullptr;  // UTF-16, ends at the line break
  HelpText body;
};

struct HelpTopic {
  char nameAscii[kHelpNameChars] = {};
  const uint16_t* name = nullptr;  // UTF-16, ends at the line break
  HelpText body;
  int16_t expanded = 0;
  int16_t subCount = 0;
  int16_t selected = 0;  // 0 the topic itself, n sub-item n
  HelpSubItem sub[kHelpMaxSubItems];
};

class TaskForHelp : public task {
 public:
  int Default() override;
  int Initialize() override;
  int Stroage(taskresponse*) override { return 0; }
  int OpResponse(taskresponse* r) override;
  int DataProcess() override { return 0; }
  int Display() override;
  int FunctionOnOff(int) override;
  int Assist(taskresponse*, taskresponse*) override { return 0; }
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse*, taskresponse*) override { return 0; }
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override { return 0; }

  // Opens or closes the window; closing gives the knob back to the module
  // that was current when it opened.
  int HelpEnable();
  int HelpKnobOp(keypara key);
  // 1-based list line of a topic; 1 when there are no topics.
  int GetFuncCnt(short topic) const;
  // List line of the current selection.
  int GetSlideBarPos(short topic) const;

  // Window geometry and counters to their start values.
  void HelpInit();
  // Reads the help file of the current language; the topic count, or -1 (no
  // topics) when the file is missing or malformed.
  int HelpLoading();
  // The instrument path of that file; LanguageType is set from the language.
  std::string HelpFilePath();
  // Parses a help file image (UTF-16LE with its byte-order mark).
  int HelpParse(std::vector<uint16_t> units);

  bool IsOpen() const { return HelpOnOff != 0; }
  bool IsScrolling() const { return KnobScrollText != 0; }
  int TopicCount() const { return FuncCnt; }
  int CurrentTopic() const { return CurrFunc; }
  int ListStart() const { return ListStartCnt; }
  int TotalLines() const { return ListTotalCnt; }
  const HelpTopic& Topic(int n) const { return Topics[n]; }
  // The entry whose text is shown.
  const HelpText& SelectedText() const;
  int SavedTask() const { return SaveTaskId; }

 private:
  struct Geometry {
    int16_t row, column;
    int16_t width, height;
    int16_t textWidth, textHeight;
    int16_t textColumn, textArea;
    int16_t paging, pageLines;
  };

  _SysResource* Sys() const;
  task_manage* Manager() const;
  void Close(bool restore);
  void MoveInList(int direction);
  void ScrollText(int direction);
  void UpdateListWindow();
  void ClearTopics();
  HelpText& SelectedTextMut();
  void DisplayHelpList();
  void DisplayHelpTxt();

  int16_t HelpOnOff = 0;
  int16_t LanguageType = 0;
  std::vector<uint16_t> HelpBuffer;
  Geometry Win{};
  int16_t KnobScrollText = 0;  // 1: the knob scrolls the selected text
  int16_t CurrFunc = 0;
  int16_t ListStartCnt = 0;
  int16_t ListEndCnt = 0;
  int16_t FuncCnt = 0;
  int16_t ListTotalCnt = 0;
  int16_t SlideStep = 19;
  int SaveTaskId = -1;
  HelpTopic Topics[kHelpMaxTopics];
};

extern TaskForHelp TaskHelp;
extern instr TaskHelpInstrStandard[];
