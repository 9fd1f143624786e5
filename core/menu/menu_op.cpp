// Key routing of the menu engine and the item adjustments.
#include <cstdint>
#include <limits>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/menu/menu.h"

namespace {
uint64_t LoadValue(const MenuItem* it) { return __atomic_load_n(&it->value.raw, __ATOMIC_SEQ_CST); }

bool Masked(uint32_t mask, int c) { return c >= 0 && c < 32 && ((mask >> c) & 1u); }

// From choice c, the first unmasked choice in direction dir (+1 or -1), at most
// as many tries as there are choices.
int SkipMasked(int c, int dir, int choices, uint32_t mask) {
  for (int tries = 0; tries < choices && Masked(mask, c); ++tries) c = (c + dir + choices) % choices;
  return c;
}

// The slot that takes the select knob and push: the first with both focus
// bits, else the last with 0x10; -1 when none.
int FocusSlot(const MenuPage& page) {
  int last = -1;
  for (int s = 0; s < kMenuSlots; ++s) {
    const uint32_t a = page.items[s].attribute;
    if ((a & (MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST)) == (MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST))
      return s;
    if (a & MENU_ATTR_FOCUS) last = s;
  }
  return last;
}

bool IsSelectKey(uint16_t k) {
  return k == MENU_KEY_SELECT || k == MENU_KEY_KNOB_UP || k == MENU_KEY_KNOB_DOWN;
}
}  // namespace

int Menu::MenuOp(keypara key) {
  menu* m = record_;
  if (!m) return -1;
  if (!m->popOpen) {
    m->popItem = 0;
    m->popCursor = 0;
  }
  if (m->currPage < 0 || m->currPage >= kMenuPages) m->currPage = 0;
  const int page = m->currPage;
  const uint16_t k = key.key;

  if (k >= MENU_KEY_F1 && k <= MENU_KEY_F5) {
    const int n = page * kMenuSlots + (k - MENU_KEY_F1);
    MenuItem* it = Item(m, n);
    if (m->popOpen && m->popItem != n) m->popOpen = 0;
    if (it->attribute != 0 && it->handler) it->handler(key);
    // The page to remember is the one shown after the key: the item's page
    // unless its handler moved on, or the page the attribute names.
    int remember = m->currPage;
    if (it->attribute & MENU_ATTR_NEXT_PAGE) {
      if (n + 1 < kMenuItems) remember = (n + 1) / kMenuSlots;
    } else if (it->attribute & MENU_ATTR_PAGE0) {
      remember = 0;
    }
    if (remember < 0 || remember >= kMenuPages) remember = 0;
    m->currPage = int16_t(remember);
    I2cStorage.I2C_WriteU8(EE_TASK_PAGE, uint8_t(remember));
  } else if (!IsSelectKey(k)) {
    m->popOpen = 0;
  } else if (m->popOpen) {
    MenuItem* it = Item(m, m->popItem);
    if (it && it->attribute != 0 && it->handler) it->handler(key);
  } else {
    const int s = FocusSlot(m->pages[page]);
    if (s >= 0 && m->pages[page].items[s].handler) m->pages[page].items[s].handler(key);
  }

  if (m->currPage < 0 || m->currPage >= kMenuPages) m->currPage = 0;
  MenuHandler pageOp = m->pages[m->currPage].handler;
  return pageOp ? pageOp(key) : 0;
}

int Menu::AdjMenuItemPara(menu* record, keypara key, int n) {
  menu* m = Rec(record);
  MenuItem* it = Item(m, n);
  if (!it) return kMenuBadItem;
  const uint64_t raw = LoadValue(it);
  int value = uint16_t(raw);
  if (it->attribute & MENU_ATTR_FROZEN) return value;
  if (key.key == KEY_NO_KEY) {
    Store(m, n, raw);
    return value;
  }
  const int choices = it->choices > 0 ? it->choices : 1;
  const bool popHere = m->popOpen && m->popItem == n;
  if (choices > 2 && !popHere) {
    m->popOpen = 1;
    m->popItem = n;
    m->popCursor = value;
    Stamp(m);
    return value;
  }
  Stamp(m);
  // Without the list open on this item the cursor starts at the value, so a
  // push never takes a stale highlight.
  int cursor = popHere ? m->popCursor : value;
  const int step = key.useStep ? key.step : 1;
  if (key.key == MenuItemToFx(n)) {
    value = SkipMasked((value + 1) % choices, +1, choices, it->mask);
    cursor = value;
  } else if (key.key == MENU_KEY_KNOB_UP) {
    cursor = (cursor - step) % choices;
    if (cursor < 0) cursor = choices - 1;
    cursor = SkipMasked(cursor, -1, choices, it->mask);
  } else if (key.key == MENU_KEY_KNOB_DOWN) {
    cursor = (cursor + step) % choices;
    if (cursor < 0) cursor = choices - 1;
    cursor = SkipMasked(cursor, +1, choices, it->mask);
  } else if (key.key == MENU_KEY_SELECT) {
    m->popOpen = 0;
    value = cursor;
  }
  m->popCursor = cursor;
  Store(m, n, (raw & ~uint64_t(0xFFFF)) | uint16_t(value));
  return value;
}

uint64_t Menu::AdjMenuTimePara(menu* record, keypara key, int n) {
  menu* m = Rec(record);
  MenuItem* it = Item(m, n);
  if (!it) return kMenuBadItem;
  uint64_t v = LoadValue(it);
  if (it->attribute & MENU_ATTR_FROZEN) return v;
  if (key.key == MENU_KEY_KNOB_UP || key.key == MENU_KEY_KNOB_DOWN) {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    const bool up = key.key == MENU_KEY_KNOB_UP;
    const uint64_t base = v ? v - 1 : 0;
    const uint64_t d = (it->attribute & MENU_ATTR_TIME_RAW) ? base
                       : base > kMax / 4                    ? kMax
                                                            : base * 4;
    const uint64_t s = key.step < 1 ? 1 : uint64_t(key.step);
    uint64_t delta;
    if (d < 1000) {
      const int half = key.step / 2;
      delta = half < 1 ? 1 : uint64_t(half);
    } else if (d < 1000000) {
      delta = s < 15 ? 3 * s : 60 * s;
      if (!up && s >= 15 && v < 60 * s + 1000) delta = 3 * s;
    } else if (d < 1000000000) {
      delta = s < 15 ? 3000 * s : 60000 * s;
      if (!up && s >= 15 && v < 60000 * s + 1000000) delta = 3000 * s;
    } else {
      delta = 3000000 * s;
    }
    if (up)
      v = v > kMax - delta ? kMax : v + delta;
    else
      v = v <= delta ? 1 : v - delta;
  }
  Store(m, n, v);
  return v;
}

int Menu::AdjMenuLinkageItemPara(menu* record, keypara key, int n, const int* list) {
  menu* m = Rec(record);
  const int value = AdjMenuItemPara(m, key, n);
  if (value == kMenuBadItem || !list) return value;
  for (int i = 0; i < kMenuItems && list[i] != -1; ++i) {
    const MenuItem* linked = Item(m, list[i]);
    if (!linked) continue;
    Store(m, list[i], (LoadValue(linked) & ~uint64_t(0xFFFF)) | uint16_t(value));
  }
  return value;
}
