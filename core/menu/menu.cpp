// Menu items, pages, pop-up state and setup images.
#include "core/menu/menu.h"

#include <cstdio>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/messages/semaphore.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"

namespace {
constexpr int kMaxTaskWithMenu = 20;

// Item values are written by the main loop and by SCPI setters on the worker
// thread; whole 8-byte loads and stores keep a reader from seeing half a value.
uint64_t LoadValue(const MenuItem* it) { return __atomic_load_n(&it->value.raw, __ATOMIC_SEQ_CST); }
void StoreValue(MenuItem* it, uint64_t v) { __atomic_store_n(&it->value.raw, v, __ATOMIC_SEQ_CST); }
}  // namespace

Menu::Menu() = default;
Menu::~Menu() = default;

MenuItem* Menu::Item(menu* record, int n) {
  if (!record || n < 0 || n >= kMenuItems) return nullptr;
  return &record->pages[n / kMenuSlots].items[n % kMenuSlots];
}

const MenuItem* Menu::Item(const menu* record, int n) {
  if (!record || n < 0 || n >= kMenuItems) return nullptr;
  return &record->pages[n / kMenuSlots].items[n % kMenuSlots];
}

Menu* Menu::TaskMenuOf(int task) const {
  if (task < 0 || task > kMaxTaskWithMenu) return nullptr;
  task_manage* mgr = resource_ && resource_->manager ? resource_->manager : &TaskManage;
  ::task* t = mgr->FindTaskbyId(task);
  return t && !t->TaskMenu.MenuIsNull() ? &t->TaskMenu : nullptr;
}

void Menu::Stamp(menu* record) const {
  int32_t sec, usec;
  plat::WallTime(&sec, &usec);
  record->popTime.tv_sec = sec;
  record->popTime.tv_usec = usec;
}

// ---- values ----

uint64_t Menu::GetMenuItem(int n) const {
  const MenuItem* it = Item(record_, n);
  return it ? LoadValue(it) : kMenuBadItem;
}

int Menu::Store(menu* record, int n, uint64_t value) {
  MenuItem* it = Item(record, n);
  if (!it) return kMenuBadItem;
  semaphore* sem = resource_ && resource_->sem ? resource_->sem : &Sem;
  sem->semaphore_p();
  StoreValue(it, value);
  sem->semaphore_v();
  if (it->eeprom == kMenuNoEeprom) return 0;
  switch (it->width) {
    case MENU_U8: I2cStorage.I2C_WriteU8(it->eeprom, uint8_t(value)); break;
    case MENU_U16: I2cStorage.I2C_WriteU16(it->eeprom, uint16_t(value)); break;
    case MENU_U32: I2cStorage.I2C_WriteU32(it->eeprom, uint32_t(value)); break;
    default: break;  // not stored
  }
  return 0;
}

int Menu::SetMenuItem(int n, uint64_t value) { return Store(record_, n, value); }

void Menu::ReadStoredValues(menu* record) {
  for (int n = 0; n < kMenuItems; ++n) {
    MenuItem* it = Item(record, n);
    if (it->eeprom == kMenuNoEeprom) continue;
    switch (it->width) {
      case MENU_U8: StoreValue(it, I2cStorage.I2C_ReadU8(it->eeprom)); break;
      case MENU_U16: StoreValue(it, uint16_t(I2cStorage.I2C_ReadU16(it->eeprom))); break;
      case MENU_U32: StoreValue(it, I2cStorage.I2C_ReadU32(it->eeprom)); break;
      default: break;
    }
  }
}

uint64_t Menu::GetTaskMenuItem(int task, int n) const {
  Menu* m = TaskMenuOf(task);
  return m ? m->GetMenuItem(n) : kMenuBadItem;
}

int Menu::SetTaskMenuItem(int task, int n, uint64_t value) {
  Menu* m = TaskMenuOf(task);
  return m ? m->SetMenuItem(n, value) : kMenuBadItem;
}

// ---- choices and attributes ----

int Menu::GetMenuItemMaxSel(int n) const {
  const MenuItem* it = Item(record_, n);
  return it ? it->choices : -1;
}

int Menu::SetMenuItemMaxSel(int n, int count) {
  MenuItem* it = Item(record_, n);
  if (!it) return -1;
  it->choices = count;
  return 0;
}

int Menu::SetTaskMenuItemMaxSel(int task, int n, int count) {
  Menu* m = TaskMenuOf(task);
  return m ? m->SetMenuItemMaxSel(n, count) : -1;
}

int Menu::GetItemAttribute(int n) const {
  const MenuItem* it = Item(record_, n);
  return it ? int(it->attribute) : -1;
}

int Menu::SetItemAttribute(int n, uint32_t attr) {
  MenuItem* it = Item(record_, n);
  if (!it) return -1;
  it->attribute = attr;
  return 0;
}

bool Menu::ItemDisabled(int n) const {
  const MenuItem* it = Item(record_, n);
  return !it || (it->attribute & MENU_ATTR_DISABLED);
}

void Menu::EnableItem(int n, bool on) {
  MenuItem* it = Item(record_, n);
  if (it && it->attribute) it->attribute = on ? it->attribute & ~uint32_t(MENU_ATTR_DISABLED) : it->attribute | MENU_ATTR_DISABLED;
}

int Menu::GetTaskItemAttribute(int task, int n) const {
  Menu* m = TaskMenuOf(task);
  return m ? m->GetItemAttribute(n) : -1;
}

int Menu::SetTaskItemAttribute(int task, int n, uint32_t attr) {
  Menu* m = TaskMenuOf(task);
  return m ? m->SetItemAttribute(n, attr) : -1;
}

int Menu::GetItemParaAttribute(int n) const {
  const MenuItem* it = Item(record_, n);
  return it ? int(it->mask) : -1;
}

bool Menu::ChoiceGreyed(int n, int choice) const {
  constexpr int kMaskBits = 32;
  if (choice < 0 || choice >= kMaskBits) return false;
  const MenuItem* it = Item(record_, n);
  return !it || (uint32_t(it->mask) >> choice & 1);
}

int Menu::SetItemParaAttribute(int n, uint32_t mask) {
  MenuItem* it = Item(record_, n);
  if (!it) return -1;
  it->mask = mask;
  return 0;
}

int Menu::SetTaskItemParaAttribute(int task, int n, uint32_t mask) {
  Menu* m = TaskMenuOf(task);
  return m ? m->SetItemParaAttribute(n, mask) : -1;
}

// ---- pages ----

int Menu::GetTaskCurrPage(int task) const {
  Menu* m = TaskMenuOf(task);
  return m ? m->GetCurrPage() : -1;
}

int Menu::GetTaskMaxPage(int task) const {
  Menu* m = TaskMenuOf(task);
  return m ? m->GetMaxPage() : -1;
}

int Menu::SetCurrPage(int n) {
  if (!record_ || n < 0 || n >= kMenuItems) return -1;
  record_->currPage = int16_t(n / kMenuSlots);
  I2cStorage.I2C_WriteU8(EE_TASK_PAGE, uint8_t(record_->currPage));
  return 0;
}

int Menu::SetTaskCurrPage(int task, int n) {
  Menu* m = TaskMenuOf(task);
  if (!m || n < 0 || n >= kMenuItems) return -1;
  m->record_->currPage = int16_t(n / kMenuSlots);
  return 0;
}

int Menu::SaveCurrPage() {
  if (!record_) return -1;
  record_->savedPage = record_->currPage;
  return 0;
}

// The page id says it: its high byte is the number of pages the shown page
// belongs with, its low byte the page's place among them from 1 (0: no
// indicator, count 0). Pages that stand in for each other (a module's two
// probe pages) share a place.
int Menu::GetMenuPageIndicator(int* current, int* count) const {
  if (!record_) return -1;
  const int page = record_->currPage >= 0 && record_->currPage < kMenuPages ? record_->currPage : 0;
  const uint32_t id = record_->pages[page].id;
  const int place = int(id & 0xFF);
  if (current) *current = place > 0 ? place - 1 : 0;
  if (count) *count = place > 0 ? int(id >> 8 & 0xFF) : 0;
  return 0;
}

// ---- soft keys ----

int Menu::FxToMenuItem(int key) const {
  if (key < MENU_KEY_F1 || key > MENU_KEY_F5) return -1;
  return key - MENU_KEY_F1 + kMenuSlots * GetCurrPage();
}

int Menu::GetFxMenuItemNum(keypara key) const {
  if (key.key < MENU_KEY_F1 || key.key > MENU_KEY_F5) return -1;
  return key.key - MENU_KEY_F1 + kMenuSlots * pageOffset_;
}

// ---- pop-up ----

int Menu::MenuPopEnable(int item, int cursor) {
  if (!record_ || item < 0 || item >= kMenuItems) return -1;
  record_->popOpen = 1;
  record_->popItem = item;
  record_->popCursor = cursor;
  Stamp(record_);
  return 0;
}

int Menu::MenuPopSecRereshEv() {
  if (!record_) return -1;
  Stamp(record_);
  return 0;
}

int Menu::MenuIsPop(MenuPopInfo* info) const {
  if (!record_) return 0;
  if (record_->popOpen && info)
    *info = {record_->popOpen, record_->popItem, record_->popCursor, record_->popTime};
  return record_->popOpen;
}

int Menu::SetMenuPopItemSel(int c) {
  if (!record_) return -1;
  record_->popCursor = c;
  return 0;
}

int Menu::SetMenuPopItem(int n) {
  if (!record_ || n < 0 || n >= kMenuItems) return -1;
  record_->popItem = n;
  return 0;
}

// ---- setup images ----

namespace {
int ImagePages(const menu* record) {
  int pages = record->pageCount;
  return pages < 0 ? 0 : pages > kMenuPages ? kMenuPages : pages;
}
}  // namespace

size_t Menu::ImageBytes(const menu* record) {
  return record ? size_t(ImagePages(record)) * kMenuImagePageBytes : 0;
}

int Menu::MenuAllItemCopyMem(const menu* record, uint8_t* buffer, size_t capacity) const {
  if (!record || !buffer) return -1;
  const int pages = ImagePages(record);
  const size_t bytes = size_t(pages) * kMenuImagePageBytes;
  if (bytes > capacity) return -1;
  uint8_t* p = buffer;
  for (int n = 0; n < pages * kMenuSlots; ++n) {
    uint64_t v = LoadValue(Item(record, n));
    for (int b = 0; b < 8; ++b) *p++ = uint8_t(v >> (8 * b));
  }
  return int(bytes);
}

int Menu::MenCopytoMenuAllItem(menu* record, const uint8_t* buffer, size_t length) {
  if (!record || !buffer) return -1;
  const int pages = ImagePages(record);
  const size_t bytes = size_t(pages) * kMenuImagePageBytes;
  if (bytes > length) {
    std::printf("Menu image of %zu bytes is shorter than the %zu of %d pages\n", length, bytes,
                pages);
    return -1;
  }
  semaphore* sem = resource_ && resource_->sem ? resource_->sem : &Sem;
  const uint8_t* p = buffer;
  sem->semaphore_p();
  for (int n = 0; n < pages * kMenuSlots; ++n) {
    uint64_t v = 0;
    for (int b = 0; b < 8; ++b) v |= uint64_t(*p++) << (8 * b);
    StoreValue(Item(record, n), v);
  }
  sem->semaphore_v();
  return int(bytes);
}

MenuPage& DefineMenuPage(menu* m, int page, const char* name, uint32_t id, MenuHandler handler) {
  MenuPage& p = m->pages[page];
  std::snprintf(p.name, sizeof p.name, "%s", name);
  p.handler = handler;
  p.id = id;
  return p;
}

MenuItem& DefineMenuItem(menu* m, int n, const char* name, uint32_t attribute, int choices, MenuHandler handler,
                         uint32_t width, int eeprom) {
  MenuItem& it = m->pages[n / kMenuSlots].items[n % kMenuSlots];
  std::snprintf(it.name, sizeof it.name, "%s", name);
  it.attribute = attribute;
  it.choices = choices;
  it.handler = handler;
  it.width = width;
  it.eeprom = eeprom < 0 ? kMenuNoEeprom : uint16_t(eeprom);
  return it;
}
