// The trigger menu: 51 pages, one or two per trigger type, "Common Set" and
// "When"; the serial-bus pages are defined in trigger_bus_pages.cpp.
#include <cstdio>

#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "trigger/analog/task_trigger.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/bus/trigger_bus.h"
#include "trigger/analog/trigger_pages.h"

namespace {
// Item attributes (the kit's combinations; `kTrigAttrQuarter` marks a time in
// 4 ns steps, `kTrigAttrOff` an item switched off).
constexpr uint32_t kChoice = kMenuChoice;
constexpr uint32_t kJump = kMenuJump;    // opens another page
constexpr uint32_t kTitle = kMenuAction;  // a page step or an action
constexpr uint32_t kTime = kMenuChoice | MENU_ATTR_FOCUS | MENU_ATTR_KEYPAD | MENU_FMT_TIME;
constexpr uint32_t kLimit = kTime | MENU_ATTR_FOCUS_FIRST;  // time with the knob
constexpr uint32_t kLimitOff = kTime | kTrigAttrOff;        // time, switched off
constexpr uint32_t kTimeQuarter = kTime | kTrigAttrQuarter;
constexpr uint32_t kPairedFirst = kMenuChoice | MENU_ATTR_FOCUS_FIRST;
constexpr uint32_t kLineNum = kMenuChoice | MENU_ATTR_FOCUS | kTrigAttrOff | MENU_FMT_INT;
constexpr uint32_t kCount = kMenuChoice | MENU_ATTR_FOCUS | MENU_ATTR_KEYPAD | MENU_FMT_INT;
static_assert(kLimit == 0x04008076 && kLimitOff == 0x0400805E && kTimeQuarter == 0x05008056 &&
                  kPairedFirst == 0x04000026 && kLineNum == 0x0400101E && kCount == 0x04001056,
              "the trigger items' attributes");

constexpr int kPages = 51;

// Choice counts here are those of the English text file; the loaded text sets them.
const MenuItemDef kSlots[] = {
    {0, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {1, "Source", kChoice, 4, Trigger_EdgeSource},
    {2, "Slope", kChoice, 3, Trigger_EdgeSlope},
    {4, "CommonSet", kJump, 1, Trigger_EdgeCommSet},
    {5, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {6, "Source", kChoice, 4, Trigger_PulseSource},
    {7, "Polarity", kChoice, 2, Trigger_PulsePolarity},
    {8, "When", kJump, 1, Trigger_PulseWhen},
    {9, "Next", kTitle, 1, Trigger_PulseNext},
    {10, "CommSet", kJump, 1, Trigger_PulseCommSet},
    {14, "Back", kTitle, 1, Trigger_PulseBack},
    {15, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {16, "Source", kChoice, 4, Trigger_VideoSource},
    {17, "Standard", kChoice, 2, Trigger_VideoStandard},
    {18, "Sync", kChoice, 4, Trigger_VideoSync},
    {19, "Line Num", kLineNum, 1, Trigger_VideoLineNum},
    {20, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {21, "Source", kChoice, 2, Trigger_SlopeSource},
    {22, "SlopeSet", kJump, 1, Trigger_SlopeSlope},
    {23, "CommSet", kJump, 1, Trigger_SlopeCommSet},
    {25, "Polarity", kChoice, 2, Trigger_SlopePolarity},
    {26, "Threshold", kChoice, 3, Trigger_SlopeThreshold},
    {27, "When", kJump, 1, Trigger_SlopeWhen},
    {29, "Back", kTitle, 1, Trigger_SlopeBack},
    {30, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {31, "Source", kChoice, 2, Trigger_RuntSource},
    {32, "Polarity", kChoice, 2, Trigger_RuntPolarity},
    {33, "TrigLevel", kChoice, 2, Trigger_RuntTrigLevel},
    {34, "Next", kTitle, 1, Trigger_RuntNext},
    {35, "When", kJump, 1, Trigger_SlopeWhen},
    {36, "Commset", kJump, 1, Trigger_RuntCommset},
    {39, "Back", kTitle, 1, Trigger_RuntBack},
    {40, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {41, "Source", kChoice, 2, Trigger_WinSource},
    {42, "Slope", kChoice, 3, Trigger_WinSlope},
    {43, "Position", kChoice, 3, Trigger_WinPosition},
    {44, "Next", kTitle, 1, Trigger_WinNext},
    {45, "TrigLevel", kChoice, 2, Trigger_WinTrigLevel},
    {46, "Setting", kLimit, 1, Trigger_WinSet},
    {47, "Commset", kJump, 1, Trigger_WinCommset},
    {48, "", 0x1, 1, Trigger_NULL},
    {49, "Back", kTitle, 1, Trigger_WinBack},
    {50, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {51, "Source1", kPairedFirst, 2, Trigger_DelaySource1},
    {52, "Edge1", kChoice, 2, Trigger_DelayEdge1},
    {53, "Source2", kChoice, 2, Trigger_DelaySource2},
    {54, "Next", kTitle, 1, Trigger_DelayNext1},
    {55, "Edge2", kChoice, 2, Trigger_DelayEdge2},
    {56, "When", kJump, 1, Trigger_DelayWhen},
    {57, "CommSet", kJump, 1, Trigger_DelayCommSet},
    {58, "", 0x1, 1, Trigger_NULL},
    {59, "Next", kTitle, 1, Trigger_DelayBack},
    {60, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {61, "Source", kChoice, 2, Trigger_TimeOutSource},
    {62, "Slope", kChoice, 2, Trigger_TimeOutSlope},
    {63, "TimeOut", kTimeQuarter, 1, Trigger_TimeOutTime},
    {64, "CommSet", kJump, 1, Trigger_DelayCommSet},
    {65, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {66, "Source", kChoice, 2, Trigger_DurationSource},
    {67, "Code", kChoice, 3, Trigger_DurationCode},
    {68, "When", kJump, 1, Trigger_DurationWhen},
    {69, "Next", kTitle, 1, Trigger_DurationNext},
    {70, "CommSet", kJump, 1, Trigger_DurationCommSet},
    {74, "Back", kTitle, 1, Trigger_DurationBack},
    {75, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {76, "DataSour", kPairedFirst, 2, Trigger_SetupHoldDataSour},
    {77, "Code", kChoice, 2, Trigger_SetupHoldCode},
    {78, "ClkSour", kChoice, 2, Trigger_SetupHoldClkSour},
    {79, "Next", kTitle, 1, Trigger_SetupHoldNext},
    {80, "Edge", kChoice, 2, Trigger_SetupHoldEdge},
    {81, "Setup/Hold", kChoice, 3, Trigger_SetupHoldSetupHold},
    {82, "Time", kTime, 1, Trigger_SetupHoldTime},
    {83, "CommSet", kJump, 1, Trigger_SetupHoldCommset},
    {84, "Back", kTitle, 1, Trigger_SetupHoldBack},
    {85, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {86, "Source", kChoice, 2, Trigger_NthEdgeSource},
    {87, "Slope", kChoice, 2, Trigger_NthEdgeSlope},
    {88, "IdleTime", kTime, 1, Trigger_NthEdgeIdleTime},
    {89, "Next", kTitle, 1, Trigger_NthEdgeNext},
    {90, "Edge Num", kCount, 1, Trigger_NthEdgeEdgeNum},
    {91, "Commset", kJump, 1, Trigger_NthEdgeCommset},
    {94, "Back", kTitle, 1, Trigger_NthEdgeBack},
    {95, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {96, "Source", kChoice, 2, Trigger_PatternSource},
    {97, "Code", kChoice, 5, Trigger_PatternCode},
    {98, "Commset", kJump, 1, Trigger_PatternCommset},
    {100, "Mode", kChoice, 3, TriggerSet_Mode},
    {101, "Coupling", kChoice, 5, TriggerSet_Coupling},
    {102, "Force", kTitle, 1, TriggerSet_Force},
    {104, "Back", kTitle, 1, TriggerSet_Back},
    {105, "WhenSel", kChoice, 4, TriggerWhen_Sel},
    {106, "LowLimit", kLimit, 1, TriggerWhen_LowLimit},
    {107, "UppLimit", kLimitOff, 1, TriggerWhen_UppLimit},
    {109, "Back", kTitle, 1, TriggerWhen_Back},
    // The serial buses' type items; their other items: DefineBusMenu.
    {110, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {125, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {160, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {195, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
    {220, "Type", kChoice, kTrigTypes, Trigger_TypeSelect},
};

struct Page {
  int16_t page;
  const char* name;
  uint32_t id;
};
const Page kPageList[] = {
    {0, "Edge", 0},           {1, "Pulse-1", 0x0201},      {2, "Pulse-2", 0x0202},
    {3, "Video-1", 0},        {4, "Slope-1", 0},           {5, "Slope-2", 0},
    {6, "Runt-1", 0x0201},    {7, "Runt-2", 0x0202},       {8, "Window-1", 0x0201},
    {9, "Window-2", 0x0202},  {10, "Delay-1", 0x0201},     {11, "Delay-2", 0x0202},
    {12, "TimeOut", 0},       {13, "Duration-1", 0x0201},  {14, "Duration-2", 0x0202},
    {15, "SetupHold-1", 0x0201}, {16, "SetupHold-2", 0x0202}, {17, "NthEdge-1", 0x0201},
    {18, "NthEdge-2", 0x0202}, {19, "Pattern", 0},
};
constexpr int kCommonPage = 20, kWhenPage = 21;
// Pages without a page operation of the type pages: Common Set, the two
// storage pages of the bus decode.
constexpr int kStoragePages[] = {37, 38};
}  // namespace

void BuildTriggerMenu(menu* record) {
  *record = menu{};
  std::snprintf(record->name, sizeof record->name, "%s", "Trigger");
  DefineMenuItems(record, kEeTrigger, kSlots);
  for (int p = 0; p < kPages; ++p) {
    char name[16];
    std::snprintf(name, sizeof name, "Trigger-%d", p);
    const char* title = name;
    uint32_t id = 0;
    for (const Page& q : kPageList)
      if (q.page == p) title = q.name, id = q.id;
    MenuHandler op = Trigger_MenuOp;
    if (p == kCommonPage) op = TriggerSetMenuOp;
    for (int s : kStoragePages)
      if (s == p) op = nullptr;
    if (p == kWhenPage) title = "When";
    if (p == kCommonPage) title = "Common Set";
    DefineMenuPage(record, p, title, id, op);
  }
  DefineBusMenu(record);
  DefineDecodeMenu(record);
}
