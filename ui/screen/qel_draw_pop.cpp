// The open pop-up choice list of a menu item, drawn over the copied menu panel
// on the current page, and its position record for the remote screen clicks.
#include <algorithm>
#include <vector>

#include "core/menu/menu.h"
#include "platform/clock.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kPopColumn = 560, kPopWidth = 116, kPopRow = 22, kPopCentre = 618;
constexpr int64_t kPopOpenUs = 6000000;  // a list left alone this long closes
constexpr int16_t kArrowUpIndex = 0x80, kArrowDownIndex = 0x81;
}  // namespace

void qel_draw::DrawQelMenuPop(int task, Menu* m) {
  MenuPopInfo info{};
  if (!m || !m->MenuIsPop(&info)) return;
  const menu* rec = m->GetMenuInfo();
  if (!rec || info.item < 0 || info.item >= kMenuItems) return;
  const MenuItem& it = rec->pages[info.item / kMenuSlots].items[info.item % kMenuSlots];

  int32_t sec = 0, usec = 0;
  plat::WallTime(&sec, &usec);
  const int64_t idle = (int64_t(sec) - info.time.tv_sec) * 1000000 + (usec - info.time.tv_usec);
  // A list left alone too long closes, and is no longer drawn: a list still
  // on screen after it closed would let the next knob turn or push miss it.
  if (idle > kPopOpenUs) {
    m->MenuPopDisable();
    return;
  }

  std::vector<const uint16_t*> texts;
  for (const MenuOption* o = it.options; o && texts.size() < size_t(kMenuItems); o = o->next)
    texts.push_back(o->text);
  const int choices = std::max<int>(it.choices > 0 ? it.choices : 1, 1);
  const int slot = info.item % kMenuSlots;
  const int cursor = std::clamp(info.cursor, 0, choices - 1);
  const bool arrows = choices >= kPopShownMax + 1;
  const int shown = arrows ? kPopShownMax : choices;
  const int first = arrows && cursor >= kPopShownMax ? cursor - (kPopShownMax - 1) : 0;
  const int lines = shown + (arrows ? 2 : 0);

  int top;
  if (choices <= 9 && slot <= 2)
    top = 75 + 80 * slot;
  else
    top = std::max(35, (slot + 1) * 80 + 34 - (lines + 1) * kPopRow);
  DrawPictrue(top, kPopColumn, 97, DRAW_CURRENT);

  menuposmsg pos{};
  pos.count = int16_t(lines);
  pos.width = kPopWidth;
  pos.height = kPopRow;
  pos.cursor = int16_t(cursor);
  int row = top + kPopRow, k = 0;
  auto record = [&](int16_t index) { pos.entry[k++] = {int16_t(row), int16_t(kPopColumn), index}; };
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(3);
  if (arrows) {
    DrawPictrue(row, kPopColumn, 99, DRAW_CURRENT);
    record(kArrowUpIndex);
    row += kPopRow;
  }
  for (int i = 0; i < shown; ++i, row += kPopRow) {
    const int c = first + i;
    DrawPictrue(row, kPopColumn, c == cursor ? 101 : 98, DRAW_CURRENT);
    const bool masked = c < 32 && (it.mask >> c & 1);
    if (size_t(c) < texts.size() && texts[size_t(c)])
      DrawCentredUnicode(row + 1, kPopCentre, texts[size_t(c)], masked ? 0x555555 : TaskColour(task),
                         DRAW_CURRENT);
    record(int16_t(c));
  }
  if (arrows) {
    DrawPictrue(row, kPopColumn, 100, DRAW_CURRENT);
    record(kArrowDownIndex);
  }
  std::lock_guard<std::mutex> lock(stateLock_);
  menuPos_ = pos;
}

void qel_draw::GetQelMenuPosMsg(menuposmsg* out) {
  if (!out) return;
  {
    std::lock_guard<std::mutex> lock(stateLock_);
    *out = menuPos_;
  }
  Menu* shown = menu_.load();
  out->popState = int16_t(shown ? shown->MenuIsPop(nullptr) : 0);
}
