// The pages of a channel menu, placed by the channel's layout.
#include <cstdio>
#include <cstring>

#include "acquisition/task_ch_module.h"
#include "core/eeprom_map.h"

namespace {
// Item attributes (bits of the menu engine and the menu drawing).
constexpr uint32_t kTitle = 0x1;             // title only: a page step or an action
constexpr uint32_t kChoice = 0x4000006;      // a choice item with its value shown
constexpr uint32_t kActive = 0x20;           // drawn active: the V/div knob's push toggles it
constexpr uint32_t kKnobNumber = 0x4000072;  // a number with the knob focus and the keypad
constexpr uint32_t kRatioFormat = 0x20000;   // "%3.3fX"
constexpr uint32_t kMvPerAFormat = 0x40000;  // "%3.3fmV/A"
constexpr uint32_t kText = 0x4100402;        // the first text of its list, key icon
constexpr uint32_t kDisabled = 0x2000000;

struct Slot {
  int16_t item;
  uint32_t attribute;
  int16_t choices;
  MenuHandler handler;
};

void Place(menu* record, int task, const Slot& s) {
  if (s.item < 0 || s.item >= kMenuItems) return;
  char name[16];
  std::snprintf(name, sizeof name, "Item%d", s.item);
  const EepromItem* e = FindEepromItem(task, s.item);
  const uint32_t width = !e ? MENU_NOT_STORED : e->width == kEeU32 ? MENU_U32 : e->width == kEeU16 ? MENU_U16 : MENU_U8;
  DefineMenuItem(record, s.item, name, s.attribute, s.choices, s.handler, width, e ? e->address : -1);
}

int LastSlot(int page) { return page * kMenuSlots + kMenuSlots - 1; }
}  // namespace

void BuildChannelMenu(menu* record, const ChannelLayout& l, const ChannelHandlers& h) {
  *record = menu{};
  std::snprintf(record->name, sizeof record->name, "%s", l.name);
  const Slot slots[] = {
      {kChCoupling, kChoice, 3, h.coupling},
      {kChBwLimit, kChoice, 2, h.bwLimit},
      {kChVoltsDiv, kChoice | kActive, 2, h.voltsDiv},
      {kChInvert, kChoice, 2, h.invert},
      {kChNext, kTitle, 1, h.next},
      {kChProbeType, kChoice, 2, h.probeType},
      {kChProbe, kChoice, 8, h.probe},
      {kChCustom, kKnobNumber | kRatioFormat | kDisabled, 1, h.custom},
      {kChUnit, kChoice, 4, h.unit},
      {kChNext2, kTitle, 1, h.next2},
      {l.probeTypeA, kChoice, 2, h.probeTypeA},
      {l.probeA, kChoice, 5, h.probeA},
      {l.customA, kKnobNumber | kMvPerAFormat | kDisabled, 1, h.custom},
      {l.unitA, kChoice, 4, h.unitA},
      {int16_t(LastSlot(l.currentPage)), kTitle, 1, h.back},
      {l.labelOn, kChoice, 2, h.labelOnOff},
      {l.labelLib, kChoice | kDisabled, 13, h.labelLab},
      {l.labelEdit, kText | kDisabled, 1, h.labelEdit},
      {int16_t(LastSlot(l.labelPage)), kTitle, 1, h.back},
      {l.labelDel, kTitle, 1, h.labelDel},
      {l.labelOk, kTitle, 1, h.labelOk},
      {int16_t(LastSlot(l.keyboardPage)), kTitle, 1, h.labelBack},
  };
  for (const Slot& s : slots) Place(record, l.taskId, s);

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
