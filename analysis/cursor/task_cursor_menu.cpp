// The cursor module's menu: the YT and XY pages, their item handlers, the
// CURSOR key and the hidden link to the horizontal module's gain page.
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/cursor_values.h"
#include "analysis/cursor/task_cursor.h"
#include "analysis/cursor/task_cursor_internal.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"

namespace {
using namespace cursor_module;

constexpr int kMsgAlternate = 89, kMsgFftSplit = 97;
constexpr int kSplitShift = 208;
constexpr int kSplitRange[2][2] = {{33, 233}, {241, 441}};
// Presses of Type and of Source, with both cursors off, that open the
// horizontal module's gain page.
constexpr int kGainLinkTypePresses = 5, kGainLinkSourcePresses = 3;
constexpr uint16_t kAssistSetItem = 3;
constexpr int kGainPageSelector = 30;
constexpr int kMathFftSplitItem = 60;

// A stored value that is none of the item's choices (a blank EEPROM, a
// hand-made setup) takes choice 0.
const MenuItemDef kItems[] = {
    {kCurEnable, "Enable", kMenuChoice, 2, Cursor_Enable, MenuChoices()},
    {kCurType, "Type", kMenuChoice, 2, Cursor_Type, MenuChoices()},
    {kCurSource, "Source", kMenuChoice, 3, Cursor_Source, MenuChoices()},
    {kCurMode, "Mode", kMenuChoice, 2, Cursor_Mode, MenuChoices()},
    {kCurEnableXY, "Enable-XY", kMenuChoice, 2, Cursor_Enable, MenuChoices()},
    {kCurTypeXY, "Type-XY", kMenuChoice, 2, Cursor_Type, MenuChoices()},
    {kCurModeXY, "Mode-XY", kMenuChoice, 2, Cursor_Mode, MenuChoices()},
    {kCurSourceXY, "Source-XY", kMenuChoice, 2, Cursor_Source, MenuChoices()},
    {kCurHoriUnitXY, "HoriUnit-XY", kMenuChoice, 2, Cursor_Hori_Unit, MenuChoices()},
};

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Cursor");
  DefineMenuPage(&m, 0, "CURSOR-YT", uint32_t(kCursorTaskId) << 8, CursorMenuOp);
  DefineMenuPage(&m, kCursorPageXY, "CURSOR-XY", uint32_t(kCursorTaskId) << 8 | 1, CursorMenuOp);
  DefineMenuItems(&m, kEeCursor, kItems);
  return m;
}

const uint16_t CursorSource[3] = {0, 1, kCursorSourceMath};
int16_t InterFuncF2 = 0, InterFuncF3 = 0;

bool MathFftSplit() {
  const int split = cursor_module::MathItem(kMathFftSplitItem);
  return Run().GetMathType() == kMathTypeFft && split == 1 && (Run().GetChStatus() & kMathShown);
}

// Counts the presses of Type (F2) and Source (F3) made with both cursors
// off; the agreed combination opens the gain page.
void CountHiddenPress(bool type) {
  (type ? InterFuncF2 : InterFuncF3)++;
  std::printf("InterFuncF2 = %d   InterFuncF3 = %d \n", InterFuncF2, InterFuncF3);
  if (InterFuncF2 == kGainLinkTypePresses && InterFuncF3 == kGainLinkSourcePresses) {
    InterFuncF2 = InterFuncF3 = 0;
    AdjGainMenuLink();
  } else if (InterFuncF2 > kGainLinkTypePresses || InterFuncF3 > kGainLinkSourcePresses) {
    InterFuncF2 = InterFuncF3 = 0;
  }
}

// Moves both amplitude lines into the half of the split view that shows
// the new source channel.
void SplitMove(CursorData* d, int from, int to) {
  if (!cursor::SplitView() || from == to || from > 1 || to > 1) return;
  const int shift = to == 1 ? kSplitShift : -kSplitShift;
  d->AY = std::clamp(d->AY + shift, kSplitRange[to][0], kSplitRange[to][1]);
  d->BY = std::clamp(d->BY + shift, kSplitRange[to][0], kSplitRange[to][1]);
}
}  // namespace

menu TaskCursorMenu = BuildMenu();
Menu* CursorMenu = &TaskCursor.TaskMenu;

int CursorSourceOf(int item) { return item >= 0 && item < 3 ? CursorSource[item] : 0; }

int Cursor_Enable(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  if ((Run().GetFuncBits() & kFuncFft) && k.key != KEY_NO_KEY) {
    Message(kMsgFftRefused);
    return 0;
  }
  d.displayFormat = uint16_t(Run().GetDiplayFormat());
  int enable = 0;
  if (d.displayFormat != 0) {
    enable = M().AdjMenuItemPara(k, kCurEnableXY);
    d.xyEnable = uint8_t(enable);
    d.xyType = uint8_t(Item(kCurTypeXY));
    if (enable == 0) {
      Unlist();
      std::printf("pCursorData->currTypeXy = %d\n", d.xyType);
      for (int n = kCurTypeXY; n <= kCurHoriUnitXY; ++n) Offer(n, false);
      Run().ClearFuncBit(kCurFuncAll);
    } else {
      d.xyMode = uint16_t(Item(kCurModeXY));
      d.xySource = uint8_t(Item(kCurSourceXY));
      d.xyUnit = uint8_t(Item(kCurHoriUnitXY));
      for (int n = kCurTypeXY; n <= kCurSourceXY; ++n) Offer(n, true);
      Offer(kCurHoriUnitXY, d.xyType == 0);
      List();
      Run().SetFuncBit(kCurFuncXY);
      TaskCursor.StampRefresh();
    }
  } else {
    if ((Run().GetFuncBits() & kFuncFft) && (Run().GetChStatus() & kMathShown) && d.ytEnable == 1) {
      M().SetMenuItem(kCurEnable, 0);
      Message(kMsgFftRefused);
    } else {
      enable = M().AdjMenuItemPara(k, kCurEnable);
    }
    d.ytEnable = uint8_t(enable);
    if (enable == 0) {
      Unlist();
      for (int n = kCurType; n <= kCurMode; ++n) Offer(n, false);
      Run().ClearFuncBit(kCurFuncAll);
    } else {
      d.ytType = uint8_t(Item(kCurType));
      Run().ClearFuncBit(kCurFuncTime | kCurFuncAmp);
      Run().SetFuncBit(d.ytType == 0 ? kCurFuncTime : kCurFuncAmp);
      d.source = uint16_t(CursorSourceOf(Item(kCurSource)));
      d.ytMode = uint16_t(Item(kCurMode));
      for (int n = kCurType; n <= kCurMode; ++n) Offer(n, true);
      List();
      TaskCursor.StampRefresh();
    }
  }
  Run().SetCursorEnable(enable ? 1 : 0);
  CursorDraw.SetCursorData(&d);
  return 0;
}

int Cursor_Type(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  if (d.displayFormat == 0 && d.ytEnable) {
    d.ytType = uint8_t(M().AdjMenuItemPara(k, kCurType));
    Run().ClearFuncBit(kCurFuncTime | kCurFuncAmp);
    Run().SetFuncBit(d.ytType == 0 ? kCurFuncTime : kCurFuncAmp);
  } else if (d.displayFormat != 0 && d.xyEnable) {
    d.xyType = uint8_t(M().AdjMenuItemPara(k, kCurTypeXY));
    Offer(kCurHoriUnitXY, d.xyType == 0);
  } else if (!d.ytEnable && !d.xyEnable && k.key != KEY_NO_KEY) {
    CountHiddenPress(true);
  }
  CursorDraw.SetCursorData(&d);
  return 0;
}

int Cursor_Source(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  if (d.displayFormat != 0 && d.xyEnable) {
    d.xySource = uint8_t(M().AdjMenuItemPara(k, kCurSourceXY));
    std::printf("sourceXy: %d\n", d.xySource);
  } else if (d.displayFormat == 0 && d.ytEnable) {
    if (MathFftSplit()) {
      M().SetMenuItem(kCurSource, 2);
      d.source = kCursorSourceMath;
      Message(kMsgFftSplit);
    } else {
      const int before = Item(kCurSource);
      d.prevSourceItem = uint16_t(before);
      int v = M().AdjMenuItemPara(k, kCurSource);
      if (Run().IsAlternate() && v == 2) {
        if (k.key == kKeyF3) {
          v = M().AdjMenuItemPara(k, kCurSource);
        } else {
          M().SetMenuItem(kCurSource, 0);
          v = 0;
          Message(kMsgAlternate);
        }
      }
      d.source = uint16_t(CursorSourceOf(v));
      SplitMove(&d, before, v);
    }
  } else if (!d.ytEnable && !d.xyEnable && k.key != KEY_NO_KEY) {
    CountHiddenPress(false);
  }
  CursorDraw.SetCursorData(&d);
  return 0;
}

int Cursor_Mode(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  if (d.displayFormat == 0 && d.ytEnable) d.ytMode = uint16_t(M().AdjMenuItemPara(k, kCurMode));
  else if (d.displayFormat != 0 && d.xyEnable) d.xyMode = uint16_t(M().AdjMenuItemPara(k, kCurModeXY));
  CursorDraw.SetCursorData(&d);
  return 0;
}

int Cursor_Hori_Unit(keypara k) {
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  d.xyUnit = uint8_t(M().AdjMenuItemPara(k, kCurHoriUnitXY));
  CursorDraw.SetCursorData(&d);
  return 0;
}

void Cursor_MenuReset() {
  Cursor_Enable(kNoKey);
  Cursor_Type(kNoKey);
  Cursor_Mode(kNoKey);
}

void Cursor_MenuInit() { Cursor_MenuReset(); }

// The CURSOR key: on from another module, toggled on the cursor menu.
int CursorKey(keypara) {
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  const bool yt = Run().GetDiplayFormat() == 0;
  if (yt && (Run().GetFuncBits() & kFuncFft) && (Run().GetChStatus() & kMathShown)) {
    Message(kMsgFftRefused);
    return 0;
  }
  const int item = yt ? kCurEnable : kCurEnableXY;
  const bool wasCurrent = Manager().GetLastTaskCurrId() == kCursorTaskId;
  M().SetMenuItem(item, wasCurrent ? (Item(item) == 0 ? 1 : 0) : 1);
  Cursor_MenuReset();
  M().SetCurrPage(yt ? 0 : kCursorPageXY * kMenuSlots);
  return 0;
}

int AdjGainMenuLink() {
  taskresponse request{}, reply{};
  request.request = kAssistSetItem;
  request.words[0] = kGainPageSelector;
  return Manager().RequestTaskAssist(kTaskHorizontal, &request, &reply);
}
