// A module's static menu from one table: each row defines an item (number,
// name, attribute, choices, handler, the values it may hold) and where its
// value is kept comes from the EEPROM map. `Menu::ClampItems` brings stored
// values back into the ranges the rows gave.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/menu/menu.h"

// Attribute combinations the modules use (bits in core/menu/menu.h).
constexpr uint32_t kMenuAction = MENU_ATTR_TITLE_ONLY;  // title only: an action or a page step
constexpr uint32_t kMenuJump = MENU_ATTR_TITLE_ONLY | MENU_ATTR_SUBMENU;  // opens another page
// A choice list with the value shown.
constexpr uint32_t kMenuChoice = MENU_ATTR_SHOWN | MENU_ATTR_LIST | MENU_ATTR_VALUE;
// A choice list that takes the select knob.
constexpr uint32_t kMenuKnobChoice = kMenuChoice | MENU_ATTR_FOCUS | MENU_ATTR_CHOICE_TEXT;
// A number: its format bit chooses the text.
constexpr uint32_t kMenuNumber = MENU_ATTR_SHOWN | MENU_ATTR_VALUE;
constexpr uint32_t kMenuInt = kMenuNumber | MENU_FMT_INT;      // "%d"
constexpr uint32_t kMenuKnobInt = kMenuInt | MENU_ATTR_FOCUS;  // "%d", takes the select knob
// A number with the knob focus, drawn active, typed on the number keypad.
constexpr uint32_t kMenuKeypadNumber =
    kMenuNumber | MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST | MENU_ATTR_KEYPAD;
// A percentage stepped by the knob.
constexpr uint32_t kMenuPercent = kMenuNumber | MENU_ATTR_LIST | MENU_ATTR_FOCUS | MENU_FMT_PERCENT;
// The first text of its list with the key icon.
constexpr uint32_t kMenuText = MENU_ATTR_SHOWN | MENU_ATTR_KEY | MENU_ATTR_FIRST_TEXT | MENU_ATTR_VALUE;

constexpr MenuRange kMenuUnranged{};
constexpr MenuRange MenuLimits(int32_t initial, int32_t min, int32_t max) { return {initial, min, max}; }
// One of the item's choices, `initial` when the stored one is none of them.
constexpr MenuRange MenuChoices(int32_t initial = 0) { return {initial, 0, kMenuChoiceLimit}; }

// Where an item's value is kept.
enum class MenuStore : uint8_t {
  kMapped,     // at the EEPROM map's address of the module's item, if it has one
  kNotStored,  // never written, whatever the map says
};

struct MenuItemDef {
  int16_t n;         // item number: page n / 5, slot n % 5
  const char* name;  // null: "Item<n>"
  uint32_t attribute;
  int16_t choices;  // the loaded texts' count replaces it
  MenuHandler handler;
  MenuRange range{};
  MenuStore store = MenuStore::kMapped;
};

// Defines the rows' items in `record`; `eeTask` is the module's id in the
// EEPROM map (-1: nothing stored).
void DefineMenuItems(menu* record, int eeTask, const MenuItemDef* rows, size_t count);
template <size_t N>
void DefineMenuItems(menu* record, int eeTask, const MenuItemDef (&rows)[N]) {
  DefineMenuItems(record, eeTask, rows, N);
}
