// The channel label: on/off, the library of labels, and a custom label typed
// on the letter keyboard.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/channel/task_ch_module.h"
#include "acquisition/models/y_system.h"
#include "core/menu/keypara.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

namespace {
constexpr char LabelLab[13][10] = {"CHx", "ACK", "ADDR", "BIT",  "CLK", "CS",    "DATA",
                                   "IN",  "MISO", "MOSI", "RX",  "TX",  "Custom"};
constexpr char kKeyChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
constexpr int kCharKeys = sizeof kKeyChars - 1;  // 0..36
constexpr int kDeleteKey = 37;
constexpr int kCaseKey = 38;
constexpr int kOkKey = 39;
constexpr int kMsgOverLimit = 74;
constexpr int kMsgNoLabel = 119;
}  // namespace

void TaskForChannel::SetLabelText(const char* text) { Sys().vertical->SetChLabelName(L.channel, text); }

// The custom label as the edit item's text.
void TaskForChannel::ShowCustomLabel() {
  Menu::MenuAsciiToUnicode(ChCustomLabelName, CustomLabel, kChLabelChars + 1);
  TaskMenu.ReSetMenuString(nullptr, L.labelEdit, CustomLabel);
}

int TaskForChannel::LabelOnOff(keypara k) {
  const keypara none{KEY_NO_KEY, 0, 0};
  if (TaskMenu.AdjMenuItemPara(k, L.labelOn) == 0) {
    SetLabelText("");
    TaskMenu.EnableItem(L.labelLib, false);
    TaskMenu.EnableItem(L.labelEdit, false);
    CloseKeyboard();
    return 0;
  }
  TaskMenu.EnableItem(L.labelLib, true);
  return LabelLab(none);
}

int TaskForChannel::LabelLab(keypara k) {
  if (TaskMenu.ItemDisabled(L.labelLib)) return 0;
  const int v = TaskMenu.AdjMenuItemPara(k, L.labelLib);
  TaskMenu.EnableItem(L.labelEdit, v == kChLabelCustom);
  if (v == kChLabelCustom) {
    ShowCustomLabel();
    SetLabelText(ChCustomLabelName);
  } else if (v >= 0 && v < kChLabelCustom) {
    SetLabelText(v == 0 ? L.name : ::LabelLab[v]);
  }
  return 0;
}

int TaskForChannel::LabelEdit(keypara k) {
  if (k.key != Menu::MenuItemToFx(L.labelEdit) || TaskMenu.ItemDisabled(L.labelEdit)) return 0;
  TaskMenu.SaveCurrPage();
  ChNumKeySel = 0;
  ShowPage(L.keyboardPage);
  ChInputLableFlag = 1;
  SyncOverlay();
  Sys().runStatus->SetFuncBit(kChTextEntryBit);
  ChCustomLabelName[0] = 0;
  ChInputNameIndex = 0;
  ChKeySel = 0;  // every edit starts on the first key
  return 0;
}

int TaskForChannel::LabelDel(keypara) {
  if (ChInputNameIndex > 0) ChCustomLabelName[--ChInputNameIndex] = 0;
  return 0;
}

int TaskForChannel::LabelOk(keypara k) {
  if (ChInputNameIndex <= 0) {
    Sys().message->SetMessage(kMsgNoLabel);
    return 0;
  }
  ShowCustomLabel();
  SetLabelText(ChCustomLabelName);
  EndTextEntry();
  if (k.key != KEY_NO_KEY) ShowPage(L.labelPage);
  return 0;
}

// Leaving the keyboard without OK keeps the custom label confirmed last.
int TaskForChannel::LabelBack(keypara) {
  EndTextEntry();
  int n = 0;
  while (n < kChLabelChars && CustomLabel[n]) {
    ChCustomLabelName[n] = char(CustomLabel[n]);
    ++n;
  }
  if (n > 0) {
    ChCustomLabelName[n] = 0;
    ChInputNameIndex = n;
  }
  ShowPage(L.labelPage);
  if (Sys().vertical->IsChLableEnable(L.channel) == 0) {
    SetItem(L.labelOn, 0);
    LabelOnOff(keypara{KEY_NO_KEY, 0, 0});
  }
  return 0;
}

// The letter keyboard takes the select knob and push while it is shown.
int TaskForChannel::LabelOp(keypara k) {
  const bool knob = k.key == MENU_KEY_KNOB_UP || k.key == MENU_KEY_KNOB_DOWN;
  if (ChInputLableFlag != 1 || (!knob && k.key != MENU_KEY_SELECT)) return MenuOp(k);
  if (knob) {
    ChKeySel = SoftKeyboardCursor(ChKeySel, k, kChSoftKeys);
    return 0;
  }
  if (ChKeySel < kCharKeys) {
    if (ChInputNameIndex >= kChLabelChars) {
      Sys().message->SetMessage(kMsgOverLimit);
      return 0;
    }
    char c = kKeyChars[ChKeySel];
    if (ChUpperLower == 1 && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    ChCustomLabelName[ChInputNameIndex++] = c;
    ChCustomLabelName[ChInputNameIndex] = 0;
  } else if (ChKeySel == kDeleteKey) {
    LabelDel(k);
  } else if (ChKeySel == kCaseKey) {
    ChUpperLower = !ChUpperLower;
  } else if (ChKeySel == kOkKey) {
    LabelOk(k);
  }
  return 0;
}
