// What the web-control servers see of the screen: the page on show and the
// state of the overlays, dialogs and markers that lie on it.
#include <algorithm>
#include <cstring>

#include "acquisition/y_system.h"
#include "app/hooks.h"
#include "analysis/task_measure.h"
#include "remote/web_control.h"
#include "remote/web_screen_input.h"
#include "system/task_default.h"
#include "system/task_utility.h"
#include "ui/qel_draw.h"

namespace {
constexpr int kMathSource = 5;

bool ShownPage(uint32_t* page) {
  const uint32_t* shown = QelDraw.GetDrawAddr(DRAW_SHOWN);
  if (!shown) return false;
  std::memcpy(page, shown, qel_draw::kPageBytes);
  return true;
}

ScreenRect Rect(int row, int col, int w, int h) { return {int16_t(col), int16_t(row), int16_t(w), int16_t(h)}; }

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
  v->measureAllPara = TaskMeasure.IsAllParaOn() != 0;
  v->defaultMessage = TaskDefault.GetMsgDisplayFlag() == 1;
  v->utilityBits = TaskUtility.GetFunBits();
  return true;
}

const WebControlHooks kWebHooks = {ShownPage, ScreenView};
}  // namespace

void InstallWebHooks() { SetWebControlHooks(&kWebHooks); }
