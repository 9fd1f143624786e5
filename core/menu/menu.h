// The menu engine of a function module: up to 60 pages of five soft-key items
// defined statically by the module, their texts loaded from the module's menu
// text file in the current language, their values kept in the EEPROM, and the
// pop-up choice list. Modules reach their items only through `Menu`.
#pragma once
#include <sys/time.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "core/menu/keypara.h"

struct TaskResource;

constexpr int kMenuPages = 60;
constexpr int kMenuSlots = 5;
constexpr int kMenuItems = kMenuPages * kMenuSlots;  // item n: page n / 5, slot n % 5
constexpr uint16_t kMenuNoEeprom = 0xFFFF;           // item value not stored
constexpr int kMenuBadItem = 0xFFFF;                 // value read for a bad item number
constexpr int kMenuImagePageBytes = kMenuSlots * 8;  // setup image: 40 bytes a page
constexpr int kMenuLanguages = 20;
constexpr int kMenuLanguageBytes = 20;

// Item attribute bits: those the engine acts on and those the menu drawing
// reads (combinations in core/menu/menu_def.h).
enum : uint32_t {
  MENU_ATTR_TITLE_ONLY = 0x1,     // no value: an action or a page step
  MENU_ATTR_VALUE = 0x2,          // has a value
  MENU_ATTR_LIST = 0x4,           // the value is one of a list
  MENU_ATTR_HIDDEN = 0x8,
  MENU_ATTR_FOCUS = 0x10,         // the select knob and push go to this item
  MENU_ATTR_FOCUS_FIRST = 0x20,   // with 0x10: preferred knob focus, taken at once; drawn active
  MENU_ATTR_KEYPAD = 0x40,        // typed on the number keypad
  MENU_ATTR_FROZEN = 0x80,        // adjustments leave the value and write nothing
  MENU_ATTR_SUBMENU = 0x100,
  MENU_ATTR_FIRST_TEXT = 0x400,   // shows the first text of its list
  MENU_ATTR_CHOICE_TEXT = 0x800,  // with 0x10: still a choice, its text shown (not a number)
  MENU_ATTR_KEY = 0x100000,       // drawn with the key icon
  MENU_ATTR_NEXT_PAGE = 1u << 21, // after its soft key: the page of the next item
  MENU_ATTR_PAGE0 = 1u << 22,     // after its soft key: back to page 0
  MENU_ATTR_TIME_RAW = 1u << 23,  // time item: step class from the value itself
  MENU_ATTR_DISABLED = 1u << 25,  // drawn greyed; the module ignores its keys
  MENU_ATTR_SHOWN = 1u << 26,     // the value is drawn
};

// Number formats of an item's value (the drawing takes the first it finds).
enum : uint32_t {
  MENU_FMT_INT = 0x1000,       // "%d"
  MENU_FMT_HEX = 0x2000,       // "%d" below 16, else "0x%x"
  MENU_FMT_PERCENT = 0x4000,   // "%d%"
  MENU_FMT_TIME = 0x8000,      // a time count
  MENU_FMT_VOLT = 0x10000,     // "%3.3f V"
  MENU_FMT_RATIO = 0x20000,    // "%3.3fX"
  MENU_FMT_MV_PER_A = 0x40000, // "%3.3fmV/A"
  MENU_FMT_DB = 0x80000,       // "%3.3f db"
};

// The values a stored item may hold and the one it takes instead of any
// other (`Menu::ClampItems`). `max` kMenuNoLimit: never clamped;
// kMenuChoiceLimit: below the item's choice count in force.
constexpr int32_t kMenuNoLimit = INT32_MIN;
constexpr int32_t kMenuChoiceLimit = INT32_MIN + 1;
struct MenuRange {
  int32_t initial = 0;  // also the value the static menu starts with
  int32_t min = 0;
  int32_t max = kMenuNoLimit;
};

// Width of an item's value in the EEPROM.
enum : uint32_t { MENU_U8 = 0, MENU_U16 = 1, MENU_U32 = 2, MENU_NOT_STORED = 3 };

// Key codes the engine routes.
enum : uint16_t {
  MENU_KEY_F1 = 49,
  MENU_KEY_F5 = 53,
  MENU_KEY_SELECT = 72,
  MENU_KEY_KNOB_UP = 76,    // cursor - step; time items count up
  MENU_KEY_KNOB_DOWN = 77,  // cursor + step; time items count down
};

// The value of one menu item: 8 bytes. Ordinary items use the low 16 bits,
// 32-bit items the low 32 (a float ratio as its bit pattern), time items all
// 64 as one unsigned count.
struct _ItemPara {
  uint64_t raw;
};

inline float ItemParaF32(uint64_t raw) {
  uint32_t bits = uint32_t(raw);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
inline uint64_t ItemParaFromF32(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

using MenuHandler = int (*)(keypara);

// One choice text of an item (texts are UTF-16, NUL-terminated).
struct MenuOption {
  uint16_t word;  // the choice's index in the list
  const uint16_t* text;
  MenuOption* next;
};

struct MenuItem {
  char name[16]{};
  uint32_t attribute{};   // 0: an empty slot
  uint32_t width{};       // MENU_U8, MENU_U16, MENU_U32; others not stored
  _ItemPara value{};
  int32_t choices{};      // number of choices (0 is taken as 1); set by the loader
  uint16_t eeprom{kMenuNoEeprom};  // EEPROM address; kMenuNoEeprom: not stored
  const uint16_t* title{};   // set by the loader
  MenuOption* options{};     // set by the loader
  uint32_t mask{};        // bit c set hides choice c
  MenuHandler handler{};
  MenuRange range{};
};

struct MenuPage {
  char name[16]{};
  const uint16_t* title{};  // set by the loader
  uint16_t word{};
  MenuItem items[kMenuSlots]{};
  MenuHandler handler{};    // the page operation, after every key on the page
  uint32_t id{};
};

// A module's static menu record. Every field starts cleared, so a definition
// may name only its leading fields.
struct menu {
  uint16_t word{};
  int16_t pageCount{};  // pages read from the text file
  int16_t currPage{};
  int16_t savedPage{};
  int32_t popOpen{};    // 1 open, 0 closed
  int32_t popItem{};
  int32_t popCursor{};  // the highlighted choice
  timeval popTime{};    // last pop-up activity
  char name[16]{};
  MenuPage pages[kMenuPages]{};
};

// Building a module's static menu definition: a page's name, id and page
// operation, and an item n (page n / 5, slot n % 5) with its name, attribute,
// choice count, handler, value width and EEPROM address (-1 not stored).
MenuPage& DefineMenuPage(menu* m, int page, const char* name, uint32_t id, MenuHandler handler);
MenuItem& DefineMenuItem(menu* m, int n, const char* name, uint32_t attribute, int choices, MenuHandler handler,
                         uint32_t width, int eeprom);

struct MenuPopInfo {
  int32_t open;
  int32_t item;
  int32_t cursor;
  timeval time;
};

class Menu {
 public:
  Menu();
  ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  // Record and resources.
  void Attach(menu* record) { record_ = record; }
  void SetResource(TaskResource* resource) { resource_ = resource; }
  void SetNullMenu() { record_ = nullptr; }
  bool MenuIsNull() const { return record_ == nullptr; }
  menu* GetMenuInfo() const { return record_; }

  // Texts (menu_text.cpp). Both attach the record and set page 0 on success;
  // LoadMenu also reads every stored item value from the EEPROM.
  int LoadMenu(const char* path, menu* record);
  int ReLoadMenu(const char* path, menu* record);
  const uint16_t* GetTopMenuTitle() const;
  const uint16_t* GetMenuItemTitle(int n) const;
  MenuOption* GetMenuItemList(int n) const;
  int ReSetMenuString(menu* record, int n, const uint16_t* text);

  // Keys (menu_op.cpp).
  int MenuOp(keypara key);
  int AdjMenuItemPara(menu* record, keypara key, int n);
  int AdjMenuItemPara(keypara key, int n) { return AdjMenuItemPara(nullptr, key, n); }
  uint64_t AdjMenuTimePara(menu* record, keypara key, int n);
  int AdjMenuLinkageItemPara(menu* record, keypara key, int n, const int* list);

  // Item values, choices and attributes.
  uint64_t GetMenuItem(int n) const;
  int SetMenuItem(int n, uint64_t value);
  uint64_t GetTaskMenuItem(int task, int n) const;
  int SetTaskMenuItem(int task, int n, uint64_t value);
  int GetMenuItemMaxSel(int n) const;
  int SetMenuItemMaxSel(int n, int count);
  int SetTaskMenuItemMaxSel(int task, int n, int count);
  int GetItemAttribute(int n) const;
  int SetItemAttribute(int n, uint32_t attr);
  int GetTaskItemAttribute(int task, int n) const;
  int SetTaskItemAttribute(int task, int n, uint32_t attr);
  int GetItemParaAttribute(int n) const;
  // Choice `choice` of item n greyed in its mask (a missing item greys all).
  bool ChoiceGreyed(int n, int choice) const;
  int SetItemParaAttribute(int n, uint32_t mask);
  int SetTaskItemParaAttribute(int task, int n, uint32_t mask);

  // Pages.
  int GetCurrPage() const { return record_ ? record_->currPage : 0; }
  int GetTaskCurrPage(int task) const;
  int GetMaxPage() const { return record_ && record_->pageCount > 0 ? record_->pageCount - 1 : 0; }
  int GetTaskMaxPage(int task) const;
  static int GetMenuPage(int n) { return n < 0 ? -1 : n / kMenuSlots; }
  static int CalcuMenuPage(int n) { return GetMenuPage(n); }
  int SetCurrPage(int n);
  int SetTaskCurrPage(int task, int n);
  int SaveCurrPage();
  int GetSavePage() const { return record_ ? record_->savedPage : 0; }
  int GetMenuPageIndicator(int* current, int* count) const;

  // Soft keys.
  static int MenuItemToFx(int n) { return n < 0 ? -1 : MENU_KEY_F1 + n % kMenuSlots; }
  int FxToMenuItem(int key) const;
  int GetFxMenuItemNum(keypara key) const;

  // Pop-up choice list.
  int MenuPopEnable(int item, int cursor);
  void MenuPopDisable() {
    if (record_) record_->popOpen = 0;
  }
  int MenuPopSecRereshEv();
  int MenuIsPop(MenuPopInfo* info) const;
  bool MenuItemIsPop(int n) const { return record_ && record_->popOpen && record_->popItem == n; }
  int GetMenuPopItemSel() const { return record_ ? record_->popCursor : -1; }
  int SetMenuPopItemSel(int c);
  int GetMenuPopItem() const { return record_ ? record_->popItem : -1; }
  int SetMenuPopItem(int n);

  // Setups: the 8-byte values of the five items of every page, 40 bytes a
  // page, little-endian. The buffer sizes bound both copies; -1 when too small.
  int MenuAllItemCopyMem(const menu* record, uint8_t* buffer, size_t capacity) const;
  int MenCopytoMenuAllItem(menu* record, const uint8_t* buffer, size_t length);
  int WriteMenuAllItemPara() { return 0; }
  // Every item whose value lies outside its range takes the range's initial
  // value (written to the EEPROM too); the number of items changed.
  int ClampItems(menu* record = nullptr);
  // Start-up's reset of the settings: in the pass before the modules'
  // Defaults the EEPROM holds blank bytes, or the zeros the system module's
  // Default writes over every module's settings, which each module's Default
  // then replaces. Meanwhile ClampItems takes the initial values quietly and
  // stores nothing.
  static void SetSettingsReset(bool on);
  // Writes every stored item's value to the EEPROM again (a loaded setup's
  // values then persist).
  void StoreItems();
  // The default setup: every defined item takes its row's initial value, as
  // the static menu starts. Nothing is stored: the module's Default writes
  // the EEPROM's defaults and its Initialize reads them, as at a first start.
  void RestoreInitialItems();
  // The bytes of the setup image of `record` (the copies above).
  static size_t ImageBytes(const menu* record);
  // The first item whose value in a setup image of `record` lies outside its
  // row's range (the test of ClampItems); kImageInRange when none does,
  // kImageShort when the image is shorter than the record's.
  static constexpr int kImageInRange = -1, kImageShort = -2;
  static int ImageOutOfRange(const menu* record, const uint8_t* image, size_t length);

  // The disabled bit: a disabled item is drawn greyed and its keys do nothing.
  bool ItemDisabled(int n) const;
  void EnableItem(int n, bool on);

  // Text helpers (menu_text.cpp). Scans stop at `end` and at a NUL unit.
  static int MenuAsciiToUnicode(const char* text, uint16_t* out, int max);
  static const uint16_t* ScanMark(const uint16_t* text, const uint16_t* end, uint16_t mark);
  static const uint16_t* ScanSingleMenuNextMark(const uint16_t* text, const uint16_t* end);
  static const uint16_t* ScanInfoMark(const uint16_t* text, const uint16_t* end, uint16_t mark);
  // The language list: names and types of up to 20 languages; returns their
  // number, -1 when the file is missing or malformed.
  static int LoadLanguageCountry(const char* path, char names[kMenuLanguages][kMenuLanguageBytes],
                                 char types[kMenuLanguages][kMenuLanguageBytes]);
  // "Data/Menu/<language>/<module><language>.txt"; -1 when it does not fit.
  static int MenuTextPath(char* out, size_t size, const char* language, const char* module);

 private:
  static MenuItem* Item(menu* record, int n);
  static const MenuItem* Item(const menu* record, int n);
  menu* Rec(menu* record) const { return record ? record : record_; }
  Menu* TaskMenuOf(int task) const;
  int Store(menu* record, int n, uint64_t value);
  int Load(const char* path, menu* record, bool readValues);
  void ReadStoredValues(menu* record);
  void Stamp(menu* record) const;

  int16_t pageOffset_ = 0;  // only numbers the soft keys
  menu* record_ = nullptr;
  TaskResource* resource_ = nullptr;
  // The loaded text and its option lists; the record points into them.
  std::vector<uint16_t> text_;
  std::deque<MenuOption> options_;
  // One node per item for the texts set by ReSetMenuString.
  std::unique_ptr<MenuOption[]> resetNodes_;
};
