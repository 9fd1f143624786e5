// The decode menu: bus lane and event table switches, number base, lane
// position, and the file name typed on the on-screen keyboard.
#include <cstdio>
#include <cstring>

#include "core/board/eeprom_map.h"
#include "core/menu/menu.h"
#include "core/menu/menu_def.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/analog/task_trigger.h"
#include "ui/screen/qel_draw.h"

char Decode_Name[kDecodeNameBytes];
char Decode_InputName[kDecodeNameBytes];
int16_t Decode_InputNameIndex = 0, Decode_KeySel = 0, Decode_UpperLowerFlag = 0, Decode_DisplayType = kDecodePopStart;

namespace {
constexpr int kItemTriggerSet = 150;
constexpr int kItemSaveSet = 151, kItemInputName = 155, kItemDelete = 185, kItemCancel = 190;
constexpr int kVerPosMax = 160;
constexpr char kDecodeNameDefault[] = "Decode";
constexpr char Decode_SoftKey[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
constexpr int kKeyDel = 37, kKeyCase = 38, kKeyEnter = 39, kKeys = 40;
constexpr int kBasesRs232 = 4, kBasesOther = 3;
constexpr size_t kLabelShown = 6;  // longer names: their first 6 characters and "..."
constexpr uint64_t kFuncMath = 0x20, kFuncXy = 0x4;
constexpr int kMathFft = 1;
enum Msg { kMsgXy = 17, kMsgFft = 19, kMsgOverMax = 74, kMsgNoName = 81 };

uint16_t gNameLabel[24];

int Val(int n) { return int(TaskTrigger.Item(n) & 0xFFFF); }
int ShowItemPage(int item) { return TriggerMenu ? TriggerMenu->SetCurrPage(item) : -1; }
void Message(int n) { TaskTrigger.Sys()->message->SetMessage(n); }

// The keyboard's last keys and colours: selected key 0x86741C, the others
// and the frame 0x4C4C4C, labels 0xC8C8AF.
constexpr uint32_t kKeyColour = 0x4C4C4C, kKeySelected = 0x86741C, kKeyLabel = 0xC8C8AF;
constexpr qel_draw::SoftKeyStyle kKeyboardStyle = {{"del", "a/A", "En"}, kKeyColour, kKeyColour, kKeySelected,
                                                   kKeyLabel, kKeyLabel};

// The name on item 155.
void ShowName(const char* name) {
  char text[kDecodeNameBytes + 4];
  if (std::strlen(name) > kLabelShown)
    std::snprintf(text, sizeof text, "%.*s...", int(kLabelShown), name);
  else
    std::snprintf(text, sizeof text, "%s", name);
  if (!TriggerMenu) return;
  Menu::MenuAsciiToUnicode(text, gNameLabel, int(sizeof gNameLabel / sizeof gNameLabel[0]));
  TriggerMenu->ReSetMenuString(nullptr, kItemInputName, gNameLabel);
}

// Decoding is refused in the FFT and X-Y views.
bool Refused() {
  _SysRunInfoOp* run = TaskTrigger.Sys()->runStatus;
  if ((run->GetFuncBits() & kFuncMath) && run->GetMathType() == kMathFft) return Message(kMsgFft), true;
  if (run->GetFuncBits() & kFuncXy) return Message(kMsgXy), true;
  return false;
}

int Step(keypara k, int n) { return TriggerMenu ? TriggerMenu->AdjMenuItemPara(k, n) : -1; }
}  // namespace

void Decode_input_init() {
  std::memset(Decode_InputName, 0, sizeof Decode_InputName);
  std::memset(Decode_Name, 0, sizeof Decode_Name);
  std::snprintf(Decode_Name, sizeof Decode_Name, "%s", kDecodeNameDefault);
  ShowName(Decode_Name);
}

int Get_Decode_displayType() { return Decode_DisplayType; }

void Draw_Decode_Storage_Inupt_Back() {
  if (qel_draw* d = TaskTrigger.Sys()->draw)
    d->DrawSoftKeyboard(Decode_KeySel, Decode_UpperLowerFlag, Decode_InputName, &kKeyboardStyle);
}

int Decode_Bus_ON_OFF(keypara k) { return Refused() ? 0 : Step(k, kTiBusState); }
int Decode_Bus_Set_Event_Table(keypara k) { return Refused() ? 0 : Step(k, kTiEventTable); }

int Decode_Bus_Set_Display_Type(keypara k) {
  if (k.key == KEY_NO_KEY && TriggerMenu) {
    const int t = TaskTrigger.Type();
    const bool rs232 = t == kTrigRs232;
    TriggerMenu->SetMenuItemMaxSel(kTiBusBase, rs232 ? kBasesRs232 : kBasesOther);
    if (!rs232 && Val(kTiBusBase) >= kBasesOther) TaskTrigger.SetItem(kTiBusBase, 0);
  }
  return Step(k, kTiBusBase);
}

int Decode_Bus_Set_VerPos(keypara k) {
  if (Val(kTiEventTable)) return TaskTrigger.Adj_event_fouce_item(short(k.key));
  if (k.key != MENU_KEY_KNOB_UP && k.key != MENU_KEY_KNOB_DOWN) return 0;
  const int step = k.step > 0 ? k.step : 1;
  int v = int16_t(Val(kTiBusVerPos)) + (k.key == MENU_KEY_KNOB_UP ? step : -step);
  v = v < -kVerPosMax ? -kVerPosMax : v > kVerPosMax ? kVerPosMax : v;
  TaskTrigger.SetItem(kTiBusVerPos, uint16_t(int16_t(v)));
  return 0;
}

int Decode_Bus_Next(keypara) { return ShowItemPage(kItemTriggerSet); }
int Decode_Bus_Back(keypara) { return ShowItemPage(kTiBusState); }

int Decode_Trigger_Set(keypara) {
  ShowItemPage(0);
  return Trigger_TypeSelect(keypara{KEY_NO_KEY, 0, 0});
}

int Decode_Data_Save(keypara) {
  if (TaskTrigger.Attr(kItemSaveSet) & kTrigAttrOff) return 0;
  return ShowItemPage(kItemInputName);
}

int Decode_Storage_InputName(keypara) {
  ShowItemPage(kItemDelete);
  std::memset(Decode_InputName, 0, sizeof Decode_InputName);
  Decode_InputNameIndex = 0;
  Decode_DisplayType = kDecodePopKeyboard;
  return 0;
}

int Decode_Save(keypara k) { return Save_decode_data(int16_t(k.key)); }
int Decode_Save_Back(keypara) { return ShowItemPage(kItemTriggerSet); }

int Decode_Storage_InputDelete(keypara) {
  if (Decode_InputNameIndex > 0) Decode_InputName[--Decode_InputNameIndex] = 0;
  return 0;
}

int Decode_Storage_InputSure(keypara) {
  if (Decode_InputNameIndex <= 0 || !Decode_InputName[0]) return Message(kMsgNoName), 0;
  std::snprintf(Decode_Name, sizeof Decode_Name, "%s", Decode_InputName);
  ShowName(Decode_Name);
  ShowItemPage(kItemInputName);
  Decode_DisplayType = kDecodePopNone;
  return 0;
}

int Decode_Storage_InputBack(keypara) {
  ShowItemPage(kItemInputName);
  Decode_DisplayType = kDecodePopNone;
  return 0;
}

int Decode_Storage_Cancel(keypara k) { return Decode_Storage_InputBack(k); }

int Decode_Storage_Overlay(keypara) {
  decodeSaveSetFunc();
  return Decode_Storage_InputBack(keypara{KEY_NO_KEY, 0, 0});
}

// The keyboard's keys: the knob selects one of the 40 keys, the push presses it.
int Decode_StorageMenuInputName(keypara k) {
  if (Decode_DisplayType != kDecodePopKeyboard) return 0;
  if (k.key == MENU_KEY_KNOB_UP) Decode_KeySel = int16_t((Decode_KeySel + 1) % kKeys);
  if (k.key == MENU_KEY_KNOB_DOWN) Decode_KeySel = int16_t((Decode_KeySel + kKeys - 1) % kKeys);
  if (k.key != MENU_KEY_SELECT) return 0;
  const int key = Decode_KeySel;
  if (key == kKeyDel) return Decode_Storage_InputDelete(k);
  if (key == kKeyCase) return Decode_UpperLowerFlag = int16_t(!Decode_UpperLowerFlag), 0;
  if (key == kKeyEnter) return Decode_Storage_InputSure(k);
  if (Decode_InputNameIndex >= kDecodeNameBytes - 1) return Message(kMsgOverMax), 0;
  char c = Decode_SoftKey[key];
  if (Decode_UpperLowerFlag && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  Decode_InputName[Decode_InputNameIndex++] = c;
  Decode_InputName[Decode_InputNameIndex] = 0;
  return 0;
}

namespace {
constexpr uint32_t kChoice = kMenuChoice, kStepItem = kMenuAction, kJump = kMenuJump;
constexpr uint32_t kNamed = kMenuText;  // opens the keyboard; shows the accepted name
constexpr uint32_t kKnobNumber = kMenuChoice | MENU_ATTR_FOCUS | MENU_ATTR_FOCUS_FIRST | MENU_FMT_INT;
static_assert(kKnobNumber == 0x04001036, "the lane position's attribute");
constexpr MenuStore kOwn = MenuStore::kNotStored;  // none of the decode items is kept

const MenuItemDef kDecodeSlots[] = {
    {kTiBusState, "Bus state", kChoice, 2, Decode_Bus_ON_OFF, kMenuUnranged, kOwn},
    {kTiBusBase, "DisType", kChoice, kBasesRs232, Decode_Bus_Set_Display_Type, kMenuUnranged, kOwn},
    {kTiEventTable, "EventTable", kChoice, 2, Decode_Bus_Set_Event_Table, kMenuUnranged, kOwn},
    {kTiBusVerPos, "VerPos", kKnobNumber, 1, Decode_Bus_Set_VerPos, kMenuUnranged, kOwn},
    {149, "Next", kStepItem, 1, Decode_Bus_Next, kMenuUnranged, kOwn},
    {150, "trigger set", kStepItem, 1, Decode_Trigger_Set, kMenuUnranged, kOwn},
    {151, "save Set", kJump, 1, Decode_Data_Save, kMenuUnranged, kOwn},
    {154, "Back", kStepItem, 1, Decode_Bus_Back, kMenuUnranged, kOwn},
    {155, "Input Name", kNamed, 1, Decode_Storage_InputName, kMenuUnranged, kOwn},
    {156, "save", kStepItem, 1, Decode_Save, kMenuUnranged, kOwn},
    {159, "Back", kStepItem, 1, Decode_Save_Back, kMenuUnranged, kOwn},
    {185, "Delete", kStepItem, 1, Decode_Storage_InputDelete, kMenuUnranged, kOwn},
    {186, "Sure", kStepItem, 1, Decode_Storage_InputSure, kMenuUnranged, kOwn},
    {189, "Back", kStepItem, 1, Decode_Storage_InputBack, kMenuUnranged, kOwn},
    {190, "Cancel", kStepItem, 1, Decode_Storage_Cancel, kMenuUnranged, kOwn},
    {191, "Overlay", kStepItem, 1, Decode_Storage_Overlay, kMenuUnranged, kOwn},
};
}  // namespace

void DefineDecodeMenu(menu* record) {
  DefineMenuItems(record, kEeTrigger, kDecodeSlots);
  DefineMenuPage(record, kTiBusState / kMenuSlots, "decode Bus", 0, Trigger_MenuOp);
  DefineMenuPage(record, kItemTriggerSet / kMenuSlots, "decode Bus", 0, Trigger_MenuOp);
  DefineMenuPage(record, kItemInputName / kMenuSlots, "decode save", 0, Trigger_MenuOp);
  DefineMenuPage(record, kItemDelete / kMenuSlots, "Storage Input", 0, Decode_StorageMenuInputName);
  DefineMenuPage(record, kItemCancel / kMenuSlots, "Storage Save", 0, Decode_StorageMenuInputName);
}
