// The two grid panels of the measure drawing: every parameter of the master
// source, and the picker of the user-selected parameters.
#include <cstdio>

#include "analysis/measure/measure_draw.h"
#include "analysis/measure/task_measure.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kGridColumns = 4;
constexpr int kAllX = 62, kAllY = 100, kAllTitleX = 67, kAllTitleY = 105;
constexpr int kAllRows[9] = {26, 52, 76, 110, 135, 160, 186, 215, 240};
constexpr int kAllCols[kGridColumns] = {22, 162, 301, 440};
constexpr int kAcRmsCol = 445;
constexpr int kNameEnd = 58;

constexpr int kPickX = 180, kPickY = 45, kPickTitleX = 185, kPickTitleY = 50;
constexpr int kPickRows[9] = {26, 52, 76, 106, 132, 156, 181, 212, 237};
constexpr int kPickCols[kGridColumns] = {22, 121, 220, 318};
constexpr int kPickCentre = 49, kCellWidth = 99, kCellHeight = 24, kMarkGap = 10;
constexpr int kInfoX = 190, kInfoNameY = 309, kIconX = 270, kIconY = 307, kInfoTextY = 329, kInfoWidth = 400;

int Master() { return MeasureSourceOf(int(uint16_t(TaskMeasure.TaskMenu.GetMenuItem(kMeaMasterSrc)))); }

int NameWidth(Draw& d, int para) {
  const MeasureParaRow& r = MeasureParaInfo[para];
  return r.text ? d.Stringlen(kFontUnicode, r.text) : d.Stringlen(kFontAscii, r.name);
}

void Name(Draw& d, int row, int col, int para, int colour) {
  const MeasureParaRow& r = MeasureParaInfo[para];
  if (r.text)
    d.DrawLanguage(row, col, r.text, colour, DRAW_CURRENT);
  else
    d.DrawString(row, col, r.name, colour, DRAW_CURRENT);
}

void Title(Draw& d, int row, int col, const uint16_t* text, const char* fallback) {
  if (text)
    d.DrawLanguage(row, col, text, kMeaValueColour, DRAW_CURRENT);
  else
    d.DrawString(row, col, fallback, kMeaValueColour, DRAW_CURRENT);
}
}  // namespace

void _measure_draw::DrawAllPara() {
  MeaFontScope font(kMeaPanelFont);
  const int master = Master();
  Panel(kMeaPicAllPara, kAllX, kAllY);
  Title(*this, kAllTitleY, kAllTitleX, Mea_AllParaTitle, "All parameters");
  const int colour = Colour(master);
  for (int k = 0; k < kMeaParas; ++k) {
    const int row = kAllY + kAllRows[k / kGridColumns];
    const int col = kAllX + (k == kParaAcRms ? kAcRmsCol : kAllCols[k % kGridColumns]);
    const int end = col + kNameEnd;
    Name(*this, row, end - NameWidth(*this, k), k, colour);
    FloatElement e{};
    const bool valid = MeasureParaCalcu.GetMeasureParaResult(master, k, &e) == 0;
    char text[48];
    ValueText(text, sizeof text, k, master, valid ? &e : nullptr, false);
    DrawString(row, end, text, kMeaValueColour, DRAW_CURRENT);
  }
  Merge();
}

void _measure_draw::DrawUserDef() {
  MeaFontScope font(kMeaPanelFont);
  const int master = Master();
  const int colour = Colour(master);
  Panel(kMeaPicUserDef, kPickX, kPickY);
  Title(*this, kPickTitleY, kPickTitleX, Mea_UserDefTitle, "User defined");
  const int cursor = TaskMeasure.GetUserDefSelPos();
  for (int k = 0; k < kMeaParas; ++k) {
    const int row = kPickY + kPickRows[k / kGridColumns];
    const int cell = kPickX + kPickCols[k % kGridColumns];
    const int col = cell + kPickCentre - NameWidth(*this, k) / 2;
    Name(*this, row, col, k, kMeaValueColour);
    if (TaskMeasure.FindUserDef(k, master) >= 0) DrawString(row, col - kMarkGap, "*", colour, DRAW_CURRENT);
    if (k == cursor) DrawRect(row - 4, cell, kCellWidth, kCellHeight, colour, DRAW_CURRENT);
  }
  if (cursor >= 0 && cursor < kMeaParas) {
    Name(*this, kInfoNameY, kInfoX, cursor, colour);
    DrawPictrue(kIconY, kIconX, cursor, DRAW_CURRENT);
    if (const uint16_t* text2 = MeasureParaInfo[cursor].text2)
      DrawLanguageTxt(kInfoTextY, kInfoX, text2, kInfoWidth, kMeaValueColour, DRAW_CURRENT);
  }
  Merge();
}
