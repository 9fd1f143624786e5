// The message box, centred texts, the number keypad, the letter keyboard and
// the file chooser, all drawn on the current page.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/common/common_subprogram.h"
#include "core/messages/msg.h"
#include "platform/root.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kText = 0xC8C8AF, kFrame = 0x828282, kWhite = 0xFFFFFF;
constexpr int kPowerOffMessage = 45;
constexpr const char* kLogoPath = "/home/user/Logo/Logo.bmp";

constexpr int kPadRow = 100, kPadColumn = 230;  // the keypad picture's top left
// Place of each number-keypad key inside the keypad picture, by key code.
struct KeyPlace {
  int16_t row, column, width, height;
};
constexpr KeyPlace kNumKeyPlace[kNumKeys] = {
    {151, 10, 28, 28},  {151, 41, 28, 28},  {151, 72, 28, 28},  {120, 10, 28, 28},
    {120, 41, 28, 28},  {120, 72, 28, 28},  {89, 10, 28, 28},   {89, 41, 28, 28},
    {89, 72, 28, 28},   {56, 10, 28, 28},   {56, 41, 28, 28},   {56, 72, 28, 28},
    {57, 109, 59, 28},  {89, 109, 59, 28},  {56, 179, 20, 28},  {89, 179, 20, 28},
    {120, 179, 20, 28}, {151, 179, 20, 28}, {56, 206, 20, 28},  {89, 206, 20, 28},
    {120, 206, 20, 28}, {56, 232, 62, 28},  {89, 232, 62, 28},  {120, 232, 62, 28},
    {151, 232, 62, 28},
};

constexpr char kSoftKeyChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
constexpr int kSoftCharKeys = sizeof kSoftKeyChars - 1;
static_assert(kSoftCharKeys + 3 == kSoftKeys, "37 characters, delete, case and OK");
// The composer's own keyboard: the keys after the characters are delete, the
// case toggle and OK.
constexpr qel_draw::SoftKeyStyle kSoftKeyStyle = {{"del", "Aa", "OK"}, kFrame, 0x3C3C3C, 0x01F801, kText, 0};

bool IsMessageIcon(int id) { return id >= 102 && id <= 111; }
}  // namespace

void qel_draw::DrawTxtCenter(int type, int row, int centreColumn, const void* text) {
  if (!text) return;
  const int w = Stringlen(type, text);
  if (type == kFontAscii)
    DrawString(row, centreColumn - w / 2, static_cast<const char*>(text), kText, DRAW_CURRENT);
  else if (type == kFontUnicode)
    DrawLanguage(row, centreColumn - w / 2, static_cast<const uint16_t*>(text), kText, DRAW_CURRENT);
}

void qel_draw::DrawMessage(const msginfo* info) {
  if (!info) return;
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(4);
  if (info->number == kPowerOffMessage) {
    // The last screen before power-off: the logo with the text, shown for good
    // (also while a recording composes into the hidden page).
    displayType_ = 0;
    DrawBmpPictrue(0, 0, kLogoPath, DRAW_CURRENT);  // the picture maps the path under the root
    DrawTxtCenter(kFontUnicode, 387, 400, info->text);
    UpdateLcd();
    halted_ = true;
    return;
  }
  const int w = std::max(Stringlen(kFontUnicode, info->text), 0);
  const int half = (w + 35) / 2;
  FillRect(380, 370 - half, w + 75, 32, 0, DRAW_CURRENT);
  DrawRect(380, 370 - half, w + 75, 32, kFrame, DRAW_CURRENT);
  if (IsMessageIcon(info->attribute)) DrawPictrue(387, 372 - half, info->attribute, DRAW_CURRENT);
  DrawTxtCenter(kFontUnicode, 387, 400, info->text);
}

void qel_draw::DrawNumKeyboard(const numkeyboard* pad) {
  if (!pad) return;
  const int cursor = std::clamp<int>(pad->cursor, 0, kNumKeys - 1);
  {
    std::lock_guard<std::mutex> lock(stateLock_);
    numKeyboard_ = {1, uint8_t(pad->task), int16_t(cursor)};
  }
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(3);
  DrawPictrue(kPadRow, kPadColumn, 121, DRAW_CURRENT);
  char text[kNumTextMax + 2];
  const int typed = int(strnlen(pad->text, kNumTextMax));
  std::snprintf(text, sizeof text, pad->negative ? "-%.*s" : "%.*s", typed, pad->text);
  DrawString(115, 240, text, kText, DRAW_CURRENT);
  const KeyPlace& k = kNumKeyPlace[cursor];
  DrawRect(kPadRow + k.row, kPadColumn + k.column, k.width, k.height, kText, DRAW_CURRENT);
}

void qel_draw::DrawSoftKeyboard(short cursor, short lowerCase, const char* name, const SoftKeyStyle* style) {
  const SoftKeyStyle& st = style ? *style : kSoftKeyStyle;
  Font* f = GetUserFontPointer();
  if (f) f->SetCurrFont(3);
  FillRect(130, 90, 560, 150, 0, DRAW_CURRENT);
  DrawRect(130, 90, 560, 150, int(st.frame), DRAW_CURRENT);
  DrawRect(145, 105, 530, 32, int(st.frame), DRAW_CURRENT);
  if (name) DrawString(151, 115, name, kText, DRAW_CURRENT);
  if (f) f->SetCurrFont(1);

  softkeyboardmsg state{};
  state.keyCount = kSoftKeys;
  state.keyWidth = kSoftKeyWidth;
  state.keyHeight = kSoftKeyHeight;
  state.cursor = cursor;
  state.shown = 1;
  for (int i = 0; i < kSoftKeys; ++i) {
    const int row = 200 + 35 * (i / 20), col = 105 + 27 * (i % 20);
    const bool lit = i == cursor;
    FillRect(row, col, kSoftKeyWidth, kSoftKeyHeight, int(lit ? st.selected : st.key), DRAW_CURRENT);
    char label[4] = {};
    if (i < kSoftCharKeys) {
      char c = kSoftKeyChars[i];
      if (lowerCase == 1 && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
      label[0] = c;
    } else {
      std::snprintf(label, sizeof label, "%s", st.words[i - kSoftCharKeys]);
    }
    DrawCentredAscii(row + 5, col + 12, label, int(lit ? st.selectedLabel : st.label), DRAW_CURRENT);
    state.key[i] = {int16_t(row), int16_t(col), int16_t(i)};
  }
  std::lock_guard<std::mutex> lock(stateLock_);
  softKeyboard_ = state;
}

void qel_draw::DrawFileSelList(int row, int col, const _Filelist* list, const uint16_t* title) {
  Font* f = GetUserFontPointer();
  DrawPictrue(row, col, 112, DRAW_CURRENT);
  if (f) f->SetCurrFont(5);
  DrawString(row + 1, col + 3, "Select File", kWhite, DRAW_CURRENT);
  if (f) f->SetCurrFont(3);
  short w = 0, h = 0;
  GetPictrueInfo(112, &w, &h);
  const int centre = col + w / 2;
  if (title) DrawCentredUnicode(row + 35, centre, title, kWhite, DRAW_CURRENT);
  DrawLine(row + 57, centre - 65, row + 57, centre + 65, kWhite, DRAW_CURRENT);
  if (!list) return;
  const int count = std::clamp(list->count, 0, kFileListMax);
  const int chosen = std::clamp(list->aux[0], 0, std::max(count - 1, 0));
  const int first = chosen / 10 * 10;
  for (int i = 0; i < 10 && first + i < count; ++i) {
    const int k = first + i;
    const int er = row + 65 + 22 * (i % 5), ec = col + 15 + 210 * (i / 5);
    DrawPictrue(er, ec, k == chosen ? 113 : 114, DRAW_CURRENT);
    char name[kFileNameBytes];
    std::memcpy(name, list->name[k], sizeof name);
    name[sizeof name - 1] = 0;
    const int cut = StringWidthCut(0, name, 130);
    if (cut > 0) name[cut] = 0;
    DrawString(er, ec + 20, name, kWhite, DRAW_CURRENT);
    char number[16];
    std::snprintf(number, sizeof number, "%d", k + 1);
    DrawString(er, ec + 175, number, kWhite, DRAW_CURRENT);
  }
}

bool qel_draw::NumKeyboardKeyRect(int key, int* row, int* col, int* width, int* height) {
  if (key < 0 || key >= kNumKeys) return false;
  const KeyPlace& k = kNumKeyPlace[key];
  *row = kPadRow + k.row;
  *col = kPadColumn + k.column;
  *width = k.width;
  *height = k.height;
  return true;
}

numkeyboardshow qel_draw::GetNumKeyboardShowMsg() const {
  std::lock_guard<std::mutex> lock(stateLock_);
  return numKeyboard_;
}

void qel_draw::GetSoftKeyboardMsg(softkeyboardmsg* out) const {
  if (!out) return;
  std::lock_guard<std::mutex> lock(stateLock_);
  *out = softKeyboard_;
}

void qel_draw::ClearNumKeyboardShowFlag() {
  std::lock_guard<std::mutex> lock(stateLock_);
  numKeyboard_.shown = 0;
}

void qel_draw::ClearSoftKeyboardShowFlag() {
  std::lock_guard<std::mutex> lock(stateLock_);
  softKeyboard_.shown = 0;
}
