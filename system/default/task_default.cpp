// The default module: text loading, the dialog's state and drawing, and the
// key words it answers.
#include "system/default/task_default.h"

#include <sys/stat.h>

#include <cstdio>

#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/root.h"
#include "ui/draw/font.h"
#include "ui/screen/qel_draw.h"

TaskForDefault TaskDefault;
const uint16_t* defaultTitle = nullptr;
const uint16_t* defaultTxt = nullptr;
int DefaultSaveLastTaskId = -1;
menu* DefaultMenu = nullptr;

namespace {
constexpr uint16_t kInfoMark = '*';
constexpr uint32_t kDialogAttrib = 1;
constexpr long kMaxTextBytes = 1 << 20;
constexpr int kFont = 4, kPicture = 102, kColour = 0xC8C8AF;
constexpr int kPicRow = 130, kPicCol = 200;
constexpr int kTitleRow = 133, kTitleCol = 203, kTitleWidth = 394;
constexpr int kBodyRow = 170, kBodyCol = 230, kBodyWidth = 350, kBodyLines = 8;

// Characters up to the line break or the end of the text.
int LineLength(const uint16_t* text) {
  int n = 0;
  while (text[n] != 0 && text[n] != '\r' && text[n] != '\n') ++n;
  return n;
}
}  // namespace


int TaskForDefault::Initialize() {
  std::printf("TaskForDefault :: Initialize ...\n");
  if (LoadLanguage() < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskDefaultMenu);
  return 0;
}

int TaskForDefault::LoadLanguage() {
  _SysRunInfoOp& run = *Sys().runStatus;
  int index = run.GetSysRunInfoBaseAddr()->language;
  if (index < 0 || index >= kMenuLanguages) index = 0;
  char language[kMenuLanguageBytes + 1] = {};
  if (run.GetLanguageCountry(index, language) < 0) return -1;
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Default") < 0) return -1;
  const int rc = TaskMenu.LoadMenu(path, &TaskDefaultMenu);
  const int info = LoadDefaultInfo(path);
  DefaultMenu = &TaskDefaultMenu;
  return rc < 0 || info < 0 ? -1 : 0;
}

int TaskForDefault::LoadDefaultInfo(const char* file) {
  defaultTitle = defaultTxt = nullptr;
  TextBuffer.clear();
  if (!file) {
    std::printf("filename Null ");
    return -1;
  }
  const std::string host = plat::MapPath(file);
  struct stat st;
  FILE* f = stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? std::fopen(host.c_str(), "rb") : nullptr;
  if (!f) {
    std::printf("Open %s failed!\n", file);
    return -1;
  }
  const long size = long(st.st_size);
  const long body = size < 2 || size > kMaxTextBytes ? 0 : (size - 2) / 2;
  std::vector<uint16_t> units(size_t(body) + 1, 0);
  std::vector<uint8_t> bytes(size_t(body) * 2);
  uint8_t bom[2];
  size_t got = size >= 2 && size <= kMaxTextBytes ? std::fread(bom, 1, 2, f) : 0;
  if (got == 2) got += std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (got != size_t(body) * 2 + 2) {
    std::printf("Read %s File Error! %d \n", file, int(got));
    return -1;
  }
  for (long i = 0; i < body; ++i) units[size_t(i)] = uint16_t(bytes[size_t(2 * i)] | bytes[size_t(2 * i + 1)] << 8);
  TextBuffer = std::move(units);
  const uint16_t* end = TextBuffer.data() + body;
  const uint16_t* title = Menu::ScanInfoMark(TextBuffer.data(), end, kInfoMark);
  const uint16_t* txt = title ? Menu::ScanInfoMark(title, end, kInfoMark) : nullptr;
  if (!txt) return -1;
  defaultTitle = title;
  defaultTxt = txt;
  return 0;
}

int TaskForDefault::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(); })) return rc;
  if (r->key.key == kKeyScpiDefault) return Defualt_Sure(keypara{kDefaultConfirmNow, 0, 0});
  return TaskMenu.MenuOp(r->key);
}

int TaskForDefault::Display() {
  if (!MsgDisplayFlag) return 0;
  qel_draw* d = Sys().draw;
  if (!d) return 0;
  Font* font = d->GetUserFontPointer();
  const short before = font ? font->CurrentAsciiFont() : 0;
  if (font) font->SetCurrFont(kFont);
  d->DrawPictrue(kPicRow, kPicCol, kPicture, DRAW_CURRENT);
  if (defaultTitle) d->DrawUnicodeString(kTitleRow, kTitleCol, defaultTitle, kTitleWidth, kColour, DRAW_CURRENT);
  if (defaultTxt)
    d->DrawUnicodeTxt(kBodyRow, kBodyCol, defaultTxt, kBodyWidth, LineLength(defaultTxt), 0, kBodyLines, kColour,
                      DRAW_CURRENT);
  if (font) font->SetCurrFont(before);
  return 0;
}

void TaskForDefault::EnableMsgDisplay() {
  MsgDisplayFlag = 1;
  if (Manager().FindUserTaskDisplay(kTaskDefault) == TASK_NOT_LISTED)
    Manager().AddUserTaskDisplay(kTaskDefault, kDialogAttrib, 0);
  Sys().runStatus->SetDrawRefresh();
}

void TaskForDefault::DisableMsgDisplay() {
  MsgDisplayFlag = 0;
  Manager().DelUserTaskDisplay(kTaskDefault);
  Sys().runStatus->SetDrawRefresh();
}

// Only a pending confirmation is cancelled: with no dialog shown, switching
// functions off must not move the current module.
int TaskForDefault::FunctionOnOff(int mode) {
  if ((mode == 0 || mode == 2) && MsgDisplayFlag) Defualt_Cannel(keypara{KEY_NO_KEY, 0, 0});
  return 0;
}

int TaskForDefault::TaskControlHandover(taskresponse*) {
  if (MsgDisplayFlag) DisableMsgDisplay();
  return 0;
}

int TaskForDefault::TaskBackgroundResponse(taskresponse* r, taskresponse*) {
  if (r && r->key.key == kKeyMenuOnOff && MsgDisplayFlag) DisableMsgDisplay();
  return 0;
}
