// The soft-key menu of the current module: the panel on the menu page (item
// backgrounds, titles, value fields, page marks), the vertical title tab, and
// the copy of the panel into each composed frame.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/common/unit_convert.h"
#include "core/menu/menu.h"
#include "core/state/sys_run_info.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kPanelTop = 34, kPanelColumn = 675, kPanelWidth = 124, kPanelRows = 400;
constexpr int kPanelRowsFramed = 412;  // with the page frame below the items
constexpr int kSlotRows = 80;
constexpr int kCentre = 737, kKeyCentre = 742;
constexpr int kText = 0xC8C8AF, kDisabled = 0x555555, kFocused = 0x01F801, kFrame = 0x828282;

// Attribute bits the drawing reads.
enum : uint32_t {
  ATTR_TITLE_ONLY = 0x1,
  ATTR_VALUE = 0x2,
  ATTR_HIDDEN = 0x8,
  ATTR_NUMBER = 0x10,
  ATTR_ACTIVE = 0x20,
  ATTR_KEYPAD = 0x40,
  ATTR_FROZEN = 0x80,
  ATTR_SUBMENU = 0x100,
  ATTR_FIRST_TEXT = 0x400,
  ATTR_NOT_NUMBER = 0x800,
  ATTR_KEY = 0x100000,
  ATTR_TIME_NS = 0x800000,
  ATTR_DISABLED = 0x2000000,
  ATTR_VALUE_SHOWN = 0x4000000,
};

const char* const kTimeUnit[5] = {"s", "ms", "\xB5s", "ns", "ps"};

const MenuItem* ItemOf(const Menu& m, int n) {
  const menu* rec = m.GetMenuInfo();
  if (!rec || n < 0 || n >= kMenuItems) return nullptr;
  return &rec->pages[n / kMenuSlots].items[n % kMenuSlots];
}

int PageOf(const Menu& m) {
  const int page = m.GetCurrPage();
  return page >= 0 && page < kMenuPages ? page : 0;
}

// The shown text of a number item, by its format bits (the first listed wins).
void FormatNumber(uint32_t attr, const MenuItem& it, char* out, size_t size) {
  const uint64_t raw = it.value.raw;
  const int v = it.width == MENU_U32 ? int(int32_t(uint32_t(raw))) : int(uint16_t(raw));
  const float f = ItemParaF32(raw);
  if (attr & 0x4000) {
    std::snprintf(out, size, "%d%%", v);
  } else if (attr & 0x1000) {
    std::snprintf(out, size, "%d", v);
  } else if (attr & 0x2000) {
    if (v < 16)
      std::snprintf(out, size, "%d", v);
    else
      std::snprintf(out, size, "0x%x", unsigned(v));
  } else if (attr & 0x8000) {
    FloatElement e{};
    UnitConvert.TUnitConvert(double(raw) * (attr & ATTR_TIME_NS ? 1e-9 : 4e-9), &e);
    const int unit = e.unit - kTSec;
    std::snprintf(out, size, "%3.2f %s", e.mantissa, unit >= 0 && unit < 5 ? kTimeUnit[unit] : "");
  } else if (attr & 0x40000) {
    std::snprintf(out, size, "  %3.3fmV/A", double(f));
  } else if (attr & 0x10000) {
    std::snprintf(out, size, "  %3.3f V", double(f));
  } else if (attr & 0x20000) {
    std::snprintf(out, size, "  %3.3fX", double(f));
  } else if (attr & 0x80000) {
    std::snprintf(out, size, "%3.3f db", double(f));
  } else {
    std::snprintf(out, size, "NULL");
  }
}

// The text of the item's current choice (the first text with bit 0x400).
const uint16_t* ChoiceText(uint32_t attr, const MenuItem& it) {
  const MenuOption* first = it.options;
  if (!first || (attr & ATTR_FIRST_TEXT)) return first ? first->text : nullptr;
  const int value = int(uint16_t(it.value.raw));
  int index = 0;
  for (const MenuOption* o = first; o && index <= kMenuItems; o = o->next, ++index)
    if (o->word == value) return o->text;
  index = 0;
  for (const MenuOption* o = first; o; o = o->next, ++index)
    if (index == value) return o->text;
  return nullptr;
}
}  // namespace

int qel_draw::TaskColour(int task) {
  static const int kChannel[4] = {0x00CCCC, 0xFFCC00, 0x009900, 0xAC04E4};
  return task >= 6 && task <= 9 ? kChannel[task - 6] : kText;
}

int qel_draw::DrawCentredAscii(int row, int centre, const char* text, int colour, short kind) {
  const int w = Stringlen(0, text);
  return w < 0 ? centre : DrawString(row, centre - w / 2, text, colour, kind);
}

int qel_draw::DrawCentredUnicode(int row, int centre, const uint16_t* text, int colour, short kind) {
  const int w = Stringlen(kFontUnicode, text);
  return w < 0 ? centre : DrawLanguage(row, centre - w / 2, text, colour, kind);
}

void qel_draw::ClrMenuActQEL6600KS(int slot, int attribute, short kind) {
  const int row = kPanelTop + kSlotRows * slot;
  if ((attribute & 10) == ATTR_VALUE) {
    DrawPictrue(row, kPanelColumn, attribute & ATTR_ACTIVE ? 74 : 73, kind);
    return;
  }
  DrawPictrue(row, kPanelColumn, 75, kind);
  if (attribute & ATTR_SUBMENU) DrawPictrue(97 + kSlotRows * slot, 779, 96, kind);
}

int qel_draw::DrawQelMenu(int task, Menu* m) {
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(3);
  if (!m || m->MenuIsNull()) {
    menuRows_ = 0;  // nothing to copy: no other module's menu stays on the screen
    return -1;
  }
  FillRect(kPanelTop, kPanelColumn, kPanelWidth, kPanelRows, 0, DRAW_MENU);
  DrawRect(kPanelTop, kPanelColumn, kPanelWidth, kPanelRows, kFrame, DRAW_MENU);
  const int page = PageOf(*m);
  for (int s = 0; s < kMenuSlots; ++s) {
    const MenuItem* it = ItemOf(*m, page * kMenuSlots + s);
    if (it && it->attribute && !(it->attribute & ATTR_HIDDEN))
      ClrMenuActQEL6600KS(s, int(it->attribute), DRAW_MENU);
  }
  DrawPictrue(433, kPanelColumn, 93, DRAW_MENU);
  menuRows_ = kPanelRowsFramed;
  for (int s = 0; s < kMenuSlots; ++s) DrawItem(task, *m, s);

  int current = 0, count = 0;
  m->GetMenuPageIndicator(&current, &count);
  if (count > 1) {
    short w = 0, h = 0;
    GetPictrueInfo(91, &w, &h);
    const int first = kCentre - ((count - 1) * 16 + w) / 2;
    for (int p = 0; p < count; ++p) DrawPictrue(435, first + 16 * p, p == current ? 92 : 91, DRAW_MENU);
  }
  return 0;
}

void qel_draw::DrawItem(int task, const Menu& m, int slot) {
  const int n = PageOf(m) * kMenuSlots + slot;
  const MenuItem* it = ItemOf(m, n);
  if (!it) return;
  const uint32_t attr = it->attribute;
  if (!attr || (attr & ATTR_HIDDEN)) return;
  const int base = 57 + kSlotRows * slot;
  const int titleColour = attr & ATTR_FROZEN ? kDisabled : TaskColour(task);

  if (attr & ATTR_VALUE) {
    if (it->title) DrawCentredUnicode(base - 12, kCentre, it->title, titleColour, DRAW_MENU);
    const bool disabled = attr & ATTR_DISABLED;
    const bool active = attr & ATTR_ACTIVE;
    const bool number = (attr & ATTR_NUMBER) && !(attr & (ATTR_FIRST_TEXT | ATTR_NOT_NUMBER));
    const bool key = attr & ATTR_KEY;
    const int choices = it->choices > 0 ? it->choices : 1;
    int icon = -1;
    if (number)
      icon = (attr & ATTR_KEYPAD ? 88 : 86) + (active ? 1 : 0);
    else if (key)
      icon = 90;
    else if (m.MenuItemIsPop(n))
      icon = 95;
    else if (choices == 2)
      icon = (uint16_t(it->value.raw) ? 84 : 82) + (active ? 1 : 0);
    else if (choices > 2)
      icon = 94;
    if (!disabled && icon >= 0) DrawPictrue(base + 18, 677, icon, DRAW_MENU);
    if (!(attr & ATTR_VALUE_SHOWN)) return;
    const int colour = disabled ? kDisabled : active ? kFocused : kText;
    if (number) {
      char text[48];
      FormatNumber(attr, *it, text, sizeof text);
      DrawCentredAscii(base + 30, kCentre, text, colour, DRAW_MENU);
    } else if (const uint16_t* text = ChoiceText(attr, *it)) {
      DrawCentredUnicode(base + 30, key ? kKeyCentre : kCentre, text, colour, DRAW_MENU);
    }
    return;
  }
  if (!(attr & ATTR_TITLE_ONLY)) return;
  if (it->title) {
    DrawCentredUnicode(base + 10, kCentre, it->title, titleColour, DRAW_MENU);
    return;
  }
  const int end = kPanelTop + kSlotRows * (slot + 1);
  int row = base;
  for (const MenuOption* o = it->options; o && row < end; o = o->next, row += 20)
    DrawCentredUnicode(row, kCentre, o->text, titleColour, DRAW_MENU);
}

void qel_draw::DrawTopMenuTitle(int task, short shown, Menu* m) {
  if (!m || m->MenuIsNull()) return;
  Font* f = GetUserFontPointer();
  if (!f) return;
  f->SetCurrFont(3);
  // The title as the language file gives it (Chinese titles too); its width
  // as the turned text advances: a blank 4 pixels, else the glyph's width.
  const uint16_t* title = m->GetTopMenuTitle();
  int width = 0;
  for (const uint16_t* p = title; p && *p && *p != '\r' && *p != '\n'; ++p) width += UnicodeAdvance(*p);
  int pieces = (width + 15) / 16 + 2;
  if (pieces > 25) pieces = 25;  // the tab ends above the channel bar
  const int col = shown && !para_.recordToVideo ? 650 : 775;
  DrawPictrue(kPanelTop, col, 79, DRAW_CURRENT);
  for (int i = 0; i < pieces; ++i) DrawPictrue(40 + 16 * i, col, 81, DRAW_CURRENT);
  DrawPictrue(40 + 16 * pieces, col, 80, DRAW_CURRENT);
  // The text reads upward; its first glyph cell ends at the bottom of the text.
  const int centre = 40 + 8 * pieces;
  DrawOutLanguage90(centre + width / 2 - 24, col + 4, title, TaskColour(task), DRAW_CURRENT);
}

void qel_draw::CopyMenuBuffToTFTBuff() {
  const uint32_t* from = Surface(DRAW_MENU);
  uint32_t* to = Surface(DRAW_CURRENT);
  const int p = currentPage_.load();
  if (menuKept_ && to == Page(p)) {
    const RowSpans cover = CoveredThisFrame(p);
    for (int r = kPanelTop; r < kPanelTop + menuRows_ && r < kHeight; ++r) {
      const int c0 = std::max<int>(cover.lo[r], kPanelColumn);
      const int c1 = std::min<int>(cover.hi[r], kPanelColumn + kPanelWidth);
      if (c1 > c0) std::memcpy(to + r * kWidth + c0, from + r * kWidth + c0, size_t(c1 - c0) * 4);
    }
  } else {
    for (int r = kPanelTop; r < kPanelTop + menuRows_ && r < kHeight; ++r)
      std::memcpy(to + r * kWidth + kPanelColumn, from + r * kWidth + kPanelColumn, kPanelWidth * 4);
  }
  // Recorded by what it was: a page restores it next frame, and the LCD
  // compares it only when the other page got another menu.
  if (menuDrawn_.AnyRow()) {
    ++menuVersion_;
    menuDrawn_.Clear();
  }
  if (to != Page(p)) return;  // composing hidden
  const int rows = std::max(pageMenu_[p].rows, menuRows_);
  pageMenu_[p] = MenuCopy{rows, menuVersion_};
}

void qel_draw::AddMenuPanel(RowSpans* spans, int rows) const {
  spans->AddRows(kPanelTop, kPanelTop + rows, kPanelColumn, kPanelColumn + kPanelWidth);
}
