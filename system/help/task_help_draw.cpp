// Drawing of the help window on the page being composed: background, the
// list of topics and sub-items with its slide mark, the selected entry's text
// with its scroll mark. Positions are (row, column) from the window origin.
#include "core/state/system_resource.h"
#include "system/help/task_help.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kPicCollapsed = 127, kPicExpanded = 128, kPicLeaf = 129;
constexpr int kPicWindow = 130, kPicWindowScroll = 131, kPicScrollMark = 132, kPicSlideMark = 133;
constexpr int kText = 0xC8C8AF, kHighlight = 0x313031, kSeparator = 0x6A6A6A;
constexpr int kListRow = 65, kLineStep = 20;
constexpr int kTopicPicColumn = 6, kTopicNameColumn = 26, kTopicNameWidth = 100;
constexpr int kSubPicColumn = 16, kSubNameColumn = 36, kSubNameWidth = 90;
constexpr int kTextRow = 60;
}  // namespace

int TaskForHelp::Display() {
  if (!HelpOnOff) return 0;
  qel_draw* d = Sys()->draw;
  if (!d) return 0;
  const int row = Win.row, col = Win.column;
  d->DrawPictrue(row, col, KnobScrollText ? kPicWindowScroll : kPicWindow, DRAW_CURRENT);
  ListTotalCnt = int16_t(GetFuncCnt(FuncCnt) - 1);
  SlideStep = int16_t(ListTotalCnt > kHelpListLines ? 238 / ListTotalCnt : 19);
  DisplayHelpList();
  DisplayHelpTxt();
  if (FuncCnt > 0) {
    const HelpText& text = SelectedText();
    if (text.longText)
      d->DrawPictrue(row + 50 + text.firstLine * text.scrollStep, col + 589, kPicScrollMark, DRAW_CURRENT);
  }
  d->DrawLine(row + 67, col + 136, row + 305, col + 136, kSeparator, DRAW_CURRENT);
  d->DrawPictrue(row + 55 + SlideStep * GetSlideBarPos(CurrFunc), col + 132, kPicSlideMark, DRAW_CURRENT);
  return 0;
}

void TaskForHelp::DisplayHelpList() {
  qel_draw* d = Sys()->draw;
  const int selected = GetSlideBarPos(CurrFunc) - 1;
  int line = 0;
  auto draw = [&](int picture, int picColumn, const uint16_t* name, int nameColumn, int width) {
    const int shown = line++ - ListStartCnt;
    if (shown < 0 || shown >= kHelpListLines) return;
    const int r = Win.row + kListRow + shown * kLineStep;
    if (line - 1 == selected)
      d->FillRect(r, Win.column + nameColumn - 2, width + 4, kLineStep, kHighlight, DRAW_CURRENT);
    d->DrawPictrue(r, Win.column + picColumn, picture, DRAW_CURRENT);
    d->DrawUnicodeString(r, Win.column + nameColumn, name, width, kText, DRAW_CURRENT);
  };
  for (int i = 0; i < FuncCnt; ++i) {
    const HelpTopic& t = Topics[i];
    const int picture = t.subCount == 0 ? kPicLeaf : t.expanded ? kPicExpanded : kPicCollapsed;
    draw(picture, kTopicPicColumn, t.name, kTopicNameColumn, kTopicNameWidth);
    if (!t.expanded) continue;
    for (int s = 0; s < t.subCount; ++s)
      draw(kPicLeaf, kSubPicColumn, t.sub[s].name, kSubNameColumn, kSubNameWidth);
  }
}

void TaskForHelp::DisplayHelpTxt() {
  if (FuncCnt <= 0) return;
  qel_draw* d = Sys()->draw;
  HelpText& text = SelectedTextMut();
  text.lines = int16_t(d->DrawUnicodeTxt(Win.row + kTextRow, Win.column + Win.textColumn, text.text,
                                         Win.textWidth, text.length, text.firstLine, Win.pageLines, kText,
                                         DRAW_CURRENT));
  text.longText = int16_t(text.lines >= kHelpTextLines);
  text.scrollStep = int16_t(text.longText ? 150 / (text.lines - 11) : 0);
}
