// The math module's expression keypad (Data/PicResource/Math/Advance.bmp),
// placed at row 150, column 100: the edit field and the cells of the three
// key rows where the math drawing writes the key names and underlines.
#include "pictures.h"

namespace {
constexpr uint32_t kPanelFill = 0x1E2128, kFieldFill = 0x0E1014, kCellFrame = 0x3A4450;
constexpr int kKeysLeft = 85;  // column 185 of the screen
struct Row {
  int keys, cell, top;  // cells from `top` to the underline below the name
};
constexpr Row kRows[] = {{2, 48, 55}, {8, 48, 80}, {14, 32, 105}};
constexpr int kCellHeight = 23;
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
}
