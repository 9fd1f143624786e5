// The display module's menu: its three pages, the item handlers that store,
// copy and apply each setting, and the page handler.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/state/ids.h"
#include "core/board/eeprom_map.h"
#include "core/menu/menu_def.h"
#include "core/messages/request.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/devices/backlight.h"
#include "ui/screen/qel_draw.h"
#include "ui/display/task_display.h"

namespace {
constexpr uint32_t kKnobFocus = MENU_ATTR_FOCUS_FIRST;  // the item that takes the knob
constexpr int kBrightKnobMax = 3;                        // brightness moves by at most 3 a click

struct PageRow {
  const char* name;
  uint32_t id;
};
constexpr PageRow kPages[] = {{"DISPLAY-1", 0x301}, {"DISPLAY-2", 0x302}, {"DISPLAY-3", 0x303}};

// Key items (Next, Back) hold no value and are not stored.
constexpr uint32_t kBright = kMenuPercent | MENU_ATTR_FOCUS_FIRST;
const MenuItemDef kItems[] = {
    {kDispType, "Type", kMenuChoice, 2, Display_Type, MenuLimits(0, 0, 1)},
    {kDispGraticule, "Graticule", kMenuChoice, 4, Display_Graticule, MenuLimits(0, 0, 3)},
    {kDispGridBright, "GridBright", kMenuPercent, 0, Display_GridBright, MenuLimits(30, 1, 100)},
    {kDispWaveBright, "WaveBright", kBright, 0, Display_WaveBright, MenuLimits(30, 1, 100)},
    {kDispNext, "Next", kMenuAction, 0, Display_Next},
    {kDispBackLight, "BackLight", kBright, 0, Display_BackLight, MenuLimits(30, 10, 100)},
    {kDispPersist, "Persist", kMenuChoice | MENU_ATTR_SUBMENU, 11, Display_Persist, MenuLimits(0, 0, 10)},
    {kDispColor, "Color", kMenuChoice, 2, Display_Color, MenuLimits(0, 0, 1)},
    {kDispColorInvert, "ColorInvert", kMenuChoice, 2, Display_ColorInvert, MenuLimits(0, 0, 1)},
    {kDispNext2, "Next", kMenuAction, 0, Display_Next2},
    {kDispMenuTime, "MenuTims", kMenuChoice, 4, Display_MenuTime, MenuLimits(0, 0, 3)},
    {kDispTransparent, "Transparent", kMenuChoice, 2, Display_Transparent, MenuLimits(0, 0, 1)},
    {kDispBack, "Back", kMenuAction, 0, Display_Back},
};

const MenuItemDef* RowOf(int n) {
  for (const MenuItemDef& r : kItems)
    if (r.n == n) return &r;
  return nullptr;
}

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Unkonw Menu");
  for (size_t p = 0; p < sizeof kPages / sizeof kPages[0]; ++p)
    DefineMenuPage(&m, int(p), kPages[p].name, kPages[p].id, DisplayMenuOp);
  DefineMenuItems(&m, kEeDisplay, kItems);
  return m;
}

Menu& M() { return TaskDisplay.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
int Adjust(keypara k, int n) { return M().AdjMenuItemPara(k, n); }
_SysResource& Sys() { return TaskDisplay.Sys(); }
task_manage& Manager() { return TaskDisplay.Manager(); }

int Limit(int n, int v) {
  const MenuItemDef* r = RowOf(n);
  return r && r->range.max != kMenuNoLimit ? std::clamp(v, r->range.min, r->range.max) : v;
}

bool InRange(int n, int v) {
  const MenuItemDef* r = RowOf(n);
  return r && r->range.max != kMenuNoLimit && v >= r->range.min && v <= r->range.max;
}

// Copies the items into the run state and asks for a redraw.
int Synced() {
  Sys().runStatus->SysRunInfoSync(kTaskDisplay);
  Sys().runStatus->SetDrawRefresh();
  return 0;
}

// The brightness items: their soft key hands them the knob (and nothing
// else); the knob moves the value by at most 3 a click, 76 up and 77 down.
// Returns the stored value, or -1 when the key only moved the knob focus.
int KnobBright(keypara k, int n, int other) {
  if (k.key == Menu::MenuItemToFx(n)) {
    M().SetItemAttribute(n, uint32_t(M().GetItemAttribute(n)) | kKnobFocus);
    M().SetItemAttribute(other, uint32_t(M().GetItemAttribute(other)) & ~kKnobFocus);
    return -1;
  }
  const int step = std::clamp(int(k.step), 0, kBrightKnobMax);
  const int delta = k.key == MENU_KEY_KNOB_UP ? step : k.key == MENU_KEY_KNOB_DOWN ? -step : 0;
  const int v = Limit(n, Item(n) + delta);
  M().SetMenuItem(n, uint64_t(v));
  return v;
}

// Adjusts item n and sends its value by request. The time-base model sends
// the run state's display word (`word`) again with every time-base change, so
// the word takes the value first: neither that nor the request's own re-apply
// of the time base while stopped can put back the previous one.
int SendItem(keypara k, int n, int code, uint16_t* word) {
  const int v = Adjust(k, n);
  if (InRange(n, v)) *word = uint16_t(v);
  Display_SendSysRequest(code, short(v));
  return Synced();
}

int Page(int item) {
  M().SetCurrPage(item);
  return 0;
}
}  // namespace

menu TaskDisplayMenu = BuildMenu();
Menu* DisplayMenu = nullptr;

void DisplayLimitItems() { M().ClampItems(); }

int Display_SendSysRequest(int code, short value) {
  Sys().runStatus->SysRunInfoSync(kTaskDisplay);
  requestpara answer{};
  return Sys().request->Request(MakeRequest(uint16_t(code), 0, value), &answer);
}

void DisplayAllParaReSet() {
  const keypara none{KEY_NO_KEY, 0, 0};
  for (MenuHandler h : {Display_Type, Display_GridBright, Display_WaveBright, Display_Persist,
                        Display_Color, Display_ColorInvert, DisplayMenuOp})
    h(none);
}

int Display_Type(keypara k) {
  return SendItem(k, kDispType, kReqDispType, &Sys().runStatus->GetSysRunInfoBaseAddr()->displayWord);
}

int Display_Graticule(keypara k) {
  Adjust(k, kDispGraticule);
  return Synced();
}

int Display_GridBright(keypara k) {
  const int v = KnobBright(k, kDispGridBright, kDispWaveBright);
  if (v >= 0) Sys().draw->SetGrayScale(v);
  return Synced();
}

int Display_WaveBright(keypara k) {
  const int v = KnobBright(k, kDispWaveBright, kDispGridBright);
  if (v >= 0 && Item(kDispColor) == 0) Sys().draw->SetWaveBright(v);
  return Synced();
}

int Display_BackLight(keypara k) {
  int v = Item(kDispBackLight);
  if (k.key == MENU_KEY_KNOB_UP) v += k.step;
  if (k.key == MENU_KEY_KNOB_DOWN) v -= k.step;
  v = Limit(kDispBackLight, v);
  M().SetMenuItem(kDispBackLight, uint64_t(v));
  plat::SetBacklight(v);  // the result is not checked: the LCD keeps its last level
  return 0;
}

int Display_Persist(keypara k) {
  return SendItem(k, kDispPersist, kReqDispPersist,
                  &Sys().runStatus->GetSysRunInfoBaseAddr()->displayWord2);
}

int Display_Color(keypara k) {
  const int on = Adjust(k, kDispColor);
  const int invert = Item(kDispColorInvert);
  if (on)
    Sys().draw->SetColorTemp(invert, 0);
  else
    Sys().draw->SetWaveBright(Item(kDispWaveBright));
  return Synced();
}

int Display_ColorInvert(keypara k) {
  Adjust(k, kDispColorInvert);
  return Display_Color(keypara{KEY_NO_KEY, 0, 0});
}

int Display_MenuTime(keypara k) {
  Sys().runStatus->SetMenuDisplayTimeS(Adjust(k, kDispMenuTime));
  Sys().runStatus->RefreshMenuTime();
  return 0;
}

int Display_Transparent(keypara k) {
  Sys().runStatus->SetTransparent(Adjust(k, kDispTransparent));
  return Synced();
}

int Display_Next(keypara) { return Page(kDispBackLight); }
int Display_Next2(keypara) { return Page(kDispMenuTime); }
int Display_Back(keypara) { return Page(kDispType); }
int Display_Format(keypara) { return 0; }

int DisplayMenuOp(keypara k) {
  if (k.key == kKeyDisplay) {
    Manager().ActiveTask(kTaskDisplay, 0);
    M().SetCurrPage(0);
  }
  Sys().runStatus->SysRunInfoSync(kTaskDisplay);
  return 0;
}
