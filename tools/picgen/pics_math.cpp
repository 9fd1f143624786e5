// The math module's expression keypad (Data/PicResource/Math/Advance.bmp),
// placed at row 150, column 100: the edit field and the cells of the three
// key rows where the math drawing writes the key names and underlines.
// The FFT mark list (Data/PicResource/Math/FFTMarkList.bmp), placed at row
// 100, column 470 (clear of the soft menu and its title tab from column 650):
// a header band for "No.", "Freq" and the unit, eight rows of 19 pixels, and
// the scroll track at its right edge over screen rows 127 to 273.
#include "pictures.h"

namespace {
constexpr uint32_t kPanelFill = 0x1E2128, kFieldFill = 0x0E1014, kCellFrame = 0x3A4450;
constexpr int kKeysLeft = 85;  // column 185 of the screen
struct Row {
  int keys, cell, top;  // cells from `top` to the underline below the name
};
constexpr Row kRows[] = {{2, 48, 55}, {8, 48, 80}, {14, 32, 105}};
constexpr int kCellHeight = 23;

constexpr uint32_t kHeaderFill = 0x2C3440, kTrackFill = 0x0E1014;
constexpr int kListWidth = 176, kListHeight = 178;
constexpr int kListHeader = 20, kListFirstRow = 22, kListRowStep = 19, kListRows = 8;
constexpr int kTrackLeft = 166, kTrackWidth = 5, kTrackTop = 27, kTrackHeight = 146;
constexpr int kFreqColumn = 30, kAmpColumn = 102;  // the column rules, left of the texts
}  // namespace

void MathPictures(std::vector<PicDef>& out) {
  out.push_back({"Math/Advance.bmp", 560, 140, [](Canvas& c, Text&) {
                   c.RoundRect(0, 0, c.W(), c.H(), 4, kPanelFill);
                   c.RoundFrame(0, 0, c.W(), c.H(), 4, kFrameColour);
                   c.FillRect(kKeysLeft, 27, 14 * 32, 22, kFieldFill);
                   c.Frame(kKeysLeft, 27, 14 * 32, 22, kFrameColour);
                   for (const Row& r : kRows)
                     for (int k = 0; k < r.keys; ++k) c.Frame(kKeysLeft + k * r.cell, r.top, r.cell, kCellHeight, kCellFrame);
                 }});
  out.push_back({"Math/FFTMarkList.bmp", kListWidth, kListHeight, [](Canvas& c, Text&) {
                   c.RoundRect(0, 0, c.W(), c.H(), 4, kPanelFill);
                   c.FillRect(2, 2, c.W() - 4, kListHeader - 2, kHeaderFill);
                   c.RoundFrame(0, 0, c.W(), c.H(), 4, kFrameColour);
                   c.HLine(2, c.W() - 3, kListHeader, kFrameColour);
                   for (int r = 1; r < kListRows; ++r)
                     c.HLine(4, kTrackLeft - 3, kListFirstRow + r * kListRowStep - 2, kCellFrame);
                   for (int x : {kFreqColumn, kAmpColumn}) c.VLine(x, kListHeader + 1, c.H() - 4, kCellFrame);
                   c.FillRect(kTrackLeft, kTrackTop, kTrackWidth, kTrackHeight, kTrackFill);
                 }});
}
