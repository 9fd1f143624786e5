// The overwrite question of the decode export: its title and text, read from
// the trigger menu's text file (after its first and second "*" mark), and its
// box over the traces.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/state/system_resource.h"
#include "platform/root.h"
#include "trigger/decode/bus_decode_export.h"
#include "trigger/analog/task_trigger.h"
#include "ui/draw/font.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr uint16_t kMark = '*';
constexpr long kMaxBytes = 1 << 20;
constexpr int kFont = 4, kPicture = 102, kBoxRow = 130, kBoxCol = 200;
constexpr int kTitleRow = 133, kTitleCol = 203, kTextRow = 170, kTextCol = 230, kTextWidth = 350;
constexpr uint32_t kText = 0xC8C8AF;

std::vector<uint16_t> gText;  // the file's 16-bit units, NUL-terminated
const uint16_t* gTitle = nullptr;
const uint16_t* gQuestion = nullptr;
}  // namespace

int LoadOverlayWarmTxt(const char* path) {
  if (!path) return std::printf("filename Null "), -1;
  const std::string host = plat::MapPath(path);
  struct stat st;
  FILE* f = stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? std::fopen(host.c_str(), "rb") : nullptr;
  if (!f) return std::printf("Open %s failed!\n", path), -1;
  const long size = long(st.st_size);
  std::vector<uint8_t> bytes(size_t(size > kMaxBytes ? 0 : size));
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (size > kMaxBytes || got != bytes.size()) return std::printf("Read %s File Error! %d \n", path, int(got)), -1;
  gTitle = gQuestion = nullptr;
  gText.clear();
  if (size == 0) return 0;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) gText.push_back(uint16_t(bytes[i] | bytes[i + 1] << 8));
  gText.push_back(0);
  // The title runs to the second mark or its line's end, the text from there
  // to its line's end.
  uint16_t* marks[2] = {};
  int found = 0;
  for (uint16_t& c : gText)
    if (c == kMark && found < 2) marks[found++] = &c;
  if (found < 2) return -1;
  *marks[1] = 0;
  gTitle = marks[0] + 1, gQuestion = marks[1] + 1;
  return 0;
}

const uint16_t* OverwriteTitle() { return gTitle; }
const uint16_t* OverwriteText() { return gQuestion; }

void DrawOverwriteQuestion() {
  qel_draw* d = TaskTrigger.Sys()->draw;
  d->DrawPictrue(kBoxRow, kBoxCol, kPicture, DRAW_CURRENT);
  if (Font* f = d->GetUserFontPointer()) f->SetCurrFont(kFont);
  if (gTitle) d->DrawLanguage(kTitleRow, kTitleCol, gTitle, int(kText), DRAW_CURRENT);
  if (gQuestion) d->DrawLanguageTxt(kTextRow, kTextCol, gQuestion, kTextWidth, int(kText), DRAW_CURRENT);
}
