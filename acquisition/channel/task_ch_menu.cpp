// The pages of a channel menu, placed by the channel's layout.
#include <cstdio>

#include "acquisition/channel/task_ch_module.h"
#include "core/menu/menu_def.h"

namespace {
constexpr uint32_t kActive = MENU_ATTR_FOCUS_FIRST;  // drawn active: the V/div knob's push toggles it

// A stored choice outside the item's list takes the item's EEPROM default.
MenuRange ChoiceRange(const ChannelLayout& l, int item, int choices) {
  if (choices <= 1) return kMenuUnranged;
  for (int i = 0; i < l.defaultCount; ++i)
    if (l.defaults[i].item == item) return MenuChoices(l.defaults[i].value);
  return MenuChoices();
}

int LastSlot(int page) { return page * kMenuSlots + kMenuSlots - 1; }
}  // namespace

void BuildChannelMenu(menu* record, const ChannelLayout& l, const ChannelHandlers& h) {
  *record = menu{};
  std::snprintf(record->name, sizeof record->name, "%s", l.name);
  MenuItemDef rows[] = {
      {kChCoupling, nullptr, kMenuChoice, 3, h.coupling},
      {kChBwLimit, nullptr, kMenuChoice, 2, h.bwLimit},
      {kChVoltsDiv, nullptr, kMenuChoice | kActive, 2, h.voltsDiv},
      {kChInvert, nullptr, kMenuChoice, 2, h.invert},
      {kChNext, nullptr, kMenuAction, 1, h.next},
      {kChProbeType, nullptr, kMenuChoice, 2, h.probeType},
      {kChProbe, nullptr, kMenuChoice, 8, h.probe},
      {kChCustom, nullptr, kMenuKeypadNumber | MENU_FMT_RATIO | MENU_ATTR_DISABLED, 1, h.custom},
      {kChUnit, nullptr, kMenuChoice, 4, h.unit},
      {kChNext2, nullptr, kMenuAction, 1, h.next2},
      {l.probeTypeA, nullptr, kMenuChoice, 2, h.probeTypeA},
      {l.probeA, nullptr, kMenuChoice, 5, h.probeA},
      {l.customA, nullptr, kMenuKeypadNumber | MENU_FMT_MV_PER_A | MENU_ATTR_DISABLED, 1, h.custom},
      {l.unitA, nullptr, kMenuChoice, 4, h.unitA},
      {int16_t(LastSlot(l.currentPage)), nullptr, kMenuAction, 1, h.back},
      {l.labelOn, nullptr, kMenuChoice, 2, h.labelOnOff},
      {l.labelLib, nullptr, kMenuChoice | MENU_ATTR_DISABLED, 13, h.labelLab},
      {l.labelEdit, nullptr, kMenuText | MENU_ATTR_DISABLED, 1, h.labelEdit},
      {int16_t(LastSlot(l.labelPage)), nullptr, kMenuAction, 1, h.back},
      {l.labelDel, nullptr, kMenuAction, 1, h.labelDel},
      {l.labelOk, nullptr, kMenuAction, 1, h.labelOk},
      {int16_t(LastSlot(l.keyboardPage)), nullptr, kMenuAction, 1, h.labelBack},
  };
  for (MenuItemDef& r : rows) r.range = ChoiceRange(l, r.n, r.choices);
  DefineMenuItems(record, l.taskId, rows);

  // Page ids: three pages to the indicator (the front end, the probe page in
  // force, the label); the keyboard page shows none.
  const struct {
    int16_t page;
    uint32_t id;
    MenuHandler handler;
  } pages[] = {{0, 0x301, h.menuOp}, {1, 0x302, h.menuOp}, {l.currentPage, 0x302, h.menuOp},
               {l.labelPage, 0x303, h.labelOp}, {l.keyboardPage, 0, h.labelOp}};
  for (const auto& p : pages) {
    char name[16];
    std::snprintf(name, sizeof name, "%s-%d", l.name, p.page);
    DefineMenuPage(record, p.page, name, p.id, p.handler);
  }
}
