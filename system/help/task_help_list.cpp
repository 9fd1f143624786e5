// The help list: the select knob moves over topics and the sub-items of
// expanded topics, or scrolls a long text; the window of shown lines follows.
#include <cstdio>

#include "system/help/task_help.h"

namespace {
constexpr int kKeepTextLines = 11;  // a text scrolls down while this many lines stay
}  // namespace

int TaskForHelp::GetFuncCnt(short topic) const {
  int line = 1;
  for (int i = 0; i < topic && i < FuncCnt; ++i) line += 1 + (Topics[i].expanded ? Topics[i].subCount : 0);
  return line;
}

int TaskForHelp::GetSlideBarPos(short topic) const {
  if (topic < 0 || topic >= FuncCnt) return GetFuncCnt(topic);
  const HelpTopic& t = Topics[topic];
  return GetFuncCnt(topic) + (t.expanded ? t.selected : 0);
}

const HelpText& TaskForHelp::SelectedText() const {
  const HelpTopic& t = Topics[CurrFunc];
  return t.expanded && t.selected > 0 ? t.sub[t.selected - 1].body : t.body;
}

HelpText& TaskForHelp::SelectedTextMut() { return const_cast<HelpText&>(SelectedText()); }

int TaskForHelp::HelpKnobOp(keypara key) {
  if (FuncCnt <= 0) return 0;
  HelpTopic& t = Topics[CurrFunc];
  if (key.key == kHelpKnobPush) {
    if (KnobScrollText) {
      KnobScrollText = 0;
    } else if (!t.expanded || t.selected == 0) {
      t.expanded = int16_t(!t.expanded);
      t.selected = 0;
    } else if (SelectedText().longText) {
      KnobScrollText = 1;
    }
  } else if (key.key == kHelpKnobRight || key.key == kHelpKnobLeft) {
    const int direction = key.key == kHelpKnobRight ? 1 : -1;
    if (KnobScrollText)
      ScrollText(direction);
    else
      MoveInList(direction);
  }
  UpdateListWindow();
  return 0;
}

void TaskForHelp::ScrollText(int direction) {
  HelpText& text = SelectedTextMut();
  const int first = text.firstLine + direction;
  if (first < 0)
    text.firstLine = 0;
  else if (direction < 0 || text.lines - first >= kKeepTextLines)
    text.firstLine = int16_t(first);
}

void TaskForHelp::MoveInList(int direction) {
  HelpTopic& t = Topics[CurrFunc];
  if (direction > 0) {
    if (t.expanded && t.selected < t.subCount) {
      ++t.selected;
    } else if (CurrFunc < FuncCnt - 1) {
      ++CurrFunc;
      Topics[CurrFunc].selected = 0;
    }
  } else {
    if (t.expanded && t.selected > 0) {
      --t.selected;
    } else if (CurrFunc > 0) {
      --CurrFunc;
      HelpTopic& prev = Topics[CurrFunc];
      prev.selected = prev.expanded ? prev.subCount : 0;
    }
  }
}

void TaskForHelp::UpdateListWindow() {
  ListTotalCnt = int16_t(GetFuncCnt(FuncCnt) - 1);
  const int current = GetSlideBarPos(CurrFunc) - 1;  // 0-based line
  if (current < ListStartCnt) ListStartCnt = int16_t(current);
  if (current > ListStartCnt + kHelpListLines - 1) ListStartCnt = int16_t(current - (kHelpListLines - 1));
  // A collapsed topic must not leave the window past the end of the list.
  const int lastStart = ListTotalCnt > kHelpListLines ? ListTotalCnt - kHelpListLines : 0;
  if (ListStartCnt > lastStart) ListStartCnt = int16_t(lastStart);
  ListEndCnt = int16_t(ListStartCnt + kHelpListLines);
  std::printf("\nListStartCnt = %d   ListCurrCnt = %d \n\n", ListStartCnt, current + 1);
}
