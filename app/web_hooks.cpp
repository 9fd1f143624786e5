// What the web-control servers see of the screen: the page on show and the
// state of the overlays, dialogs and markers that lie on it.
#include <algorithm>
#include <cstring>

#include "acquisition/models/y_system.h"
#include "analysis/cursor/cursor_draw.h"
#include "analysis/math/task_math.h"
#include "analysis/measure/task_measure.h"
#include "app/hooks.h"
#include "core/state/sys_run_info.h"
#include "remote/web/web_control.h"
#include "remote/web/web_screen_input.h"
#include "system/default/task_default.h"
#include "system/storage/task_storage.h"
#include "system/utility/task_utility.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kMathSource = 5;

bool ShownPage(uint32_t* page) {
  const uint32_t* shown = QelDraw.GetDrawAddr(DRAW_SHOWN);
  if (!shown) return false;
  std::memcpy(page, shown, qel_draw::kPageBytes);
  return true;
}

ScreenRect Rect(int row, int col, int w, int h) {
  return {int16_t(col), int16_t(row), int16_t(w), int16_t(h)};
}

void CursorLines(WebScreenView* v) {
  const CursorData d = CursorDraw.GetCursorData();
  v->cursorType = d.ytType;
  v->cursorAX = d.AX;
  v->cursorBX = d.BX;
  v->cursorAY = d.AY;
  v->cursorBY = d.BY;
  v->cursorActive = d.ytActive;
  v->cursorTrack = d.ytMode == 1;
  v->xyAmplitude = d.xyType == 1;
  v->xyXA = d.xyXA;
  v->xyXB = d.xyXB;
  v->xyYA = d.xyYA;
  v->xyYB = d.xyYB;
  v->xyAxis = d.xySource;
  v->xyActive = d.xyAmpActive;
  v->xyTrack = d.xyMode == 1;
}

bool ScreenView(WebScreenView* v) {
  const numkeyboardshow pad = QelDraw.GetNumKeyboardShowMsg();
  v->numPadShown = pad.shown != 0;
  v->numPadCursor = pad.cursor;
  for (int k = 0; k < kWebPadKeys; ++k) {
    int r, c, w, h;
    if (qel_draw::NumKeyboardKeyRect(k, &r, &c, &w, &h)) v->numPadKey[k] = Rect(r, c, w, h);
  }
  softkeyboardmsg soft{};
  QelDraw.GetSoftKeyboardMsg(&soft);
  v->softKeyboardShown = soft.shown != 0;
  v->softCursor = soft.cursor;
  // Each key is hit where it is drawn.
  for (int k = 0; k < kWebSoftKeys && k < kSoftKeys; ++k)
    v->softKey[k] = Rect(soft.key[k].row, soft.key[k].column, soft.keyWidth, soft.keyHeight);
  menuposmsg pop{};
  QelDraw.GetQelMenuPosMsg(&pop);
  v->popRead = true;
  v->popState = pop.popState;
  v->popCount = std::clamp<int>(pop.count, 0, kWebPopEntries);
  v->popWidth = pop.width;
  v->popHeight = pop.height;
  v->popCursor = pop.cursor;
  for (int i = 0; i < v->popCount && i < kPopShownMax + 2; ++i)
    v->popEntry[i] = {pop.entry[i].row, pop.entry[i].column, pop.entry[i].index};
  v->chPos[0] = Vertical.GetRealYposition(0);
  v->chPos[1] = Vertical.GetRealYposition(1);
  v->chPos[2] = Vertical.GetRealYposition(kMathSource);
  const int trigSrc = SysRunStatus.GetSysRunInfoBaseAddr()->trigSource == 1 ? 1 : 0;
  for (int level = 0; level < 2; ++level) v->trigRow[level] = QelDraw.TriggerLevelRow(trigSrc, level);
  v->measureAllPara = TaskMeasure.IsAllParaOn() != 0;
  v->storagePrompt = TaskStorage.GetPromptFlag() != 0;
  v->defaultMessage = TaskDefault.GetMsgDisplayFlag() == 1;
  v->utilityBits = TaskUtility.GetFunBits();
  v->mathKeypadShown = (TaskMath.GetDisplayBits() & kMathShowKeypad) != 0;
  v->mathKeyIndex = TaskMath.GetAdvanceIndex();
  v->mathKeyValid = TaskMath.GetAdvanceItemValid();
  v->measurePickerShown = TaskMeasure.IsUserDefOn() != 0;
  v->measurePickerCursor = TaskMeasure.GetUserDefSelPos();
  CursorLines(v);
  return true;
}

const WebControlHooks kWebHooks = {ShownPage, ScreenView};
}  // namespace

void InstallWebHooks() { SetWebControlHooks(&kWebHooks); }
