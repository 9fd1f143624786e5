// The display module's menu: its three pages, the item handlers that store,
// copy and apply each setting, and the page handler.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/ids.h"
#include "core/eeprom_map.h"
#include "core/request.h"
#include "core/sys_run_info.h"
#include "core/system_resource.h"
#include "core/task_manage.h"
#include "platform/backlight.h"
#include "ui/qel_draw.h"
#include "ui/task_display.h"

namespace {
constexpr uint32_t kKnobFocus = MENU_ATTR_FOCUS_FIRST;  // the item that takes the knob
constexpr int kBrightKnobMax = 3;                        // brightness moves by at most 3 a click

struct PageRow {
  const char* name;
  uint32_t id;
};
constexpr PageRow kPages[] = {{"DISPLAY-1", 0x301}, {"DISPLAY-2", 0x302}, {"DISPLAY-3", 0x303}};

// One item of the definition. Values lie in [min, max]; key items (Next,
// Back) hold none and are not stored.
struct ItemRow {
  int n;
  const char* name;
  uint32_t attribute;
  int choices;  // the texts' count replaces it once they are loaded
  int initial, min, max;
  MenuHandler handler;
};
constexpr int kNoValue = -1;
const ItemRow kItems[] = {
    {kDispType, "Type", 0x4000006, 2, 0, 0, 1, Display_Type},
    {kDispGraticule, "Graticule", 0x4000006, 4, 0, 0, 3, Display_Graticule},
    {kDispGridBright, "GridBright", 0x4004016, 0, 30, 1, 100, Display_GridBright},
    {kDispWaveBright, "WaveBright", 0x4004036, 0, 30, 1, 100, Display_WaveBright},
    {kDispNext, "Next", 0x1, 0, kNoValue, kNoValue, kNoValue, Display_Next},
    {kDispBackLight, "BackLight", 0x4004036, 0, 30, 10, 100, Display_BackLight},
    {kDispPersist, "Persist", 0x4000106, 11, 0, 0, 10, Display_Persist},
    {kDispColor, "Color", 0x4000006, 2, 0, 0, 1, Display_Color},
    {kDispColorInvert, "ColorInvert", 0x4000006, 2, 0, 0, 1, Display_ColorInvert},
    {kDispNext2, "Next", 0x1, 0, kNoValue, kNoValue, kNoValue, Display_Next2},
    {kDispMenuTime, "MenuTims", 0x4000006, 4, 0, 0, 3, Display_MenuTime},
    {kDispTransparent, "Transparent", 0x4000006, 2, 0, 0, 1, Display_Transparent},
    {kDispBack, "Back", 0x1, 0, kNoValue, kNoValue, kNoValue, Display_Back},
};

const ItemRow* RowOf(int n) {
  for (const ItemRow& r : kItems)
    if (r.n == n) return &r;
  return nullptr;
}

menu BuildMenu() {
  menu m;
  std::snprintf(m.name, sizeof m.name, "%s", "Unkonw Menu");
  for (size_t p = 0; p < sizeof kPages / sizeof kPages[0]; ++p)
    DefineMenuPage(&m, int(p), kPages[p].name, kPages[p].id, DisplayMenuOp);
  for (const ItemRow& r : kItems) {
    MenuItem& it = DefineMenuItem(&m, r.n, r.name, r.attribute, r.choices, r.handler, MENU_U8,
                                  EepromItemAddress(kEeDisplay, r.n));
    it.value.raw = r.initial == kNoValue ? 0 : uint64_t(r.initial);
  }
  return m;
}

Menu& M() { return TaskDisplay.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
int Adjust(keypara k, int n) { return M().AdjMenuItemPara(k, n); }
_SysResource& Sys() { return TaskDisplay.Sys(); }
task_manage& Manager() { return TaskDisplay.Manager(); }

int Limit(int n, int v) {
  const ItemRow* r = RowOf(n);
  return r ? std::clamp(v, r->min, r->max) : v;
}

bool InRange(int n, int v) {
  const ItemRow* r = RowOf(n);
  return r && v >= r->min && v <= r->max;
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

void DisplayLimitItems() {
  for (const ItemRow& r : kItems) {
    if (r.initial == kNoValue) continue;
    const int v = Item(r.n);
    if (v >= r.min && v <= r.max) continue;
    std::printf("Display %s: stored %d lies outside %d-%d; %d taken\n", r.name, v, r.min, r.max,
                r.initial);
    M().SetMenuItem(r.n, uint64_t(r.initial));
  }
}

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
