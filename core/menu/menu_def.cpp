// Static menus from definition rows, and the clamp of stored values.
#include "core/menu/menu_def.h"

#include <atomic>
#include <cstdio>

#include "core/board/eeprom_map.h"

namespace {
std::atomic<bool> settingsReset{false};

uint32_t MenuWidth(EeWidth w) {
  switch (w) {
    case kEeU16: return MENU_U16;
    case kEeU32: return MENU_U32;
    default: return MENU_U8;
  }
}

// The value a range is checked on: 32-bit items whole, the others their low 16 bits.
int32_t RangeValue(const MenuItem& it, uint64_t raw) {
  return it.width == MENU_U32 ? int32_t(uint32_t(raw)) : int32_t(uint16_t(raw));
}
int32_t RangeValue(const MenuItem& it) {
  return RangeValue(it, __atomic_load_n(&it.value.raw, __ATOMIC_SEQ_CST));
}

bool InRange(const MenuItem& it, int32_t v) {
  if (it.range.max == kMenuNoLimit) return true;
  if (it.range.max == kMenuChoiceLimit) return v >= 0 && v < (it.choices > 1 ? it.choices : 1);
  return v >= it.range.min && v <= it.range.max;
}
}  // namespace

void DefineMenuItems(menu* record, int eeTask, const MenuItemDef* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const MenuItemDef& r = rows[i];
    if (r.n < 0 || r.n >= kMenuItems) continue;
    const EepromItem* e =
        r.store == MenuStore::kMapped && eeTask >= 0 ? FindEepromItem(eeTask, r.n) : nullptr;
    char unnamed[16];
    std::snprintf(unnamed, sizeof unnamed, "Item%d", int(r.n));
    MenuItem& it =
        DefineMenuItem(record, r.n, r.name ? r.name : unnamed, r.attribute, r.choices, r.handler,
                       e ? MenuWidth(e->width) : MENU_NOT_STORED, e ? e->address : -1);
    it.range = r.range;
    it.value.raw = uint64_t(uint32_t(r.range.initial));
  }
}

int Menu::ClampItems(menu* record) {
  menu* m = Rec(record);
  if (!m) return 0;
  int changed = 0;
  for (int n = 0; n < kMenuItems; ++n) {
    const MenuItem& it = *Item(m, n);
    const int32_t v = RangeValue(it);
    if (!it.attribute || InRange(it, v)) continue;
    ++changed;
    if (settingsReset) {
      __atomic_store_n(&Item(m, n)->value.raw, uint64_t(uint32_t(it.range.initial)), __ATOMIC_SEQ_CST);
      continue;
    }
    std::printf("%s %s: stored %d lies outside its range; %d taken\n", m->name, it.name, int(v),
                int(it.range.initial));
    Store(m, n, uint64_t(uint32_t(it.range.initial)));
  }
  return changed;
}

int Menu::ImageOutOfRange(const menu* record, const uint8_t* image, size_t length) {
  const size_t bytes = ImageBytes(record);
  if (!record || !image || length < bytes) return kImageShort;
  const int items = int(bytes / 8);
  for (int n = 0; n < items; ++n) {
    uint64_t raw = 0;
    for (int b = 0; b < 8; ++b) raw |= uint64_t(image[8 * n + b]) << (8 * b);
    const MenuItem& it = *Item(record, n);
    if (it.attribute && !InRange(it, RangeValue(it, raw))) return n;
  }
  return kImageInRange;
}

void Menu::SetSettingsReset(bool on) { settingsReset = on; }

void Menu::RestoreInitialItems() {
  for (int n = 0; record_ && n < kMenuItems; ++n) {
    MenuItem* it = Item(record_, n);
    if (it->attribute)
      __atomic_store_n(&it->value.raw, uint64_t(uint32_t(it->range.initial)), __ATOMIC_SEQ_CST);
  }
}

void Menu::StoreItems() {
  for (int n = 0; record_ && n < kMenuItems; ++n)
    if (Item(record_, n)->eeprom != kMenuNoEeprom) Store(record_, n, GetMenuItem(n));
}
