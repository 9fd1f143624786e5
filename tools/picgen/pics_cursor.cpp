// The cursor readout panels (Data/PicResource/Cursor/): the time panel of
// seven rows, the amplitude panel of three and the XY panel with its three
// value columns. Sizes follow the texts the cursor drawing places on them.
#include "pictures.h"

namespace {
constexpr uint32_t kPanelFill = 0x1E2128, kRuleColour = 0x3A4450;

void Panel(Canvas& c, int rows, int firstRow, int rowStep) {
  c.RoundRect(0, 0, c.W(), c.H(), 4, kPanelFill);
  c.RoundFrame(0, 0, c.W(), c.H(), 4, kFrameColour);
  for (int r = 1; r < rows; ++r) c.HLine(4, c.W() - 5, firstRow + r * rowStep - 2, kRuleColour);
}
}  // namespace

void CursorPictures(std::vector<PicDef>& out) {
  out.push_back({"Cursor/time.bmp", 150, 140, [](Canvas& c, Text&) { Panel(c, 7, 4, 19); }});
  out.push_back({"Cursor/voltage.bmp", 140, 64, [](Canvas& c, Text&) { Panel(c, 3, 3, 19); }});
  out.push_back({"Cursor/XY-Cursor.bmp", 262, 275, [](Canvas& c, Text& t) {
                   Panel(c, 1, 0, 0);
                   const char* const heads[3] = {"A", "B", "B-A"};
                   const int ends[3] = {107, 179, 251};
                   for (int i = 0; i < 3; ++i)
                     t.Centre(c, ends[i] - 20, 22, heads[i], 12, Face::Bold, kTextColour);
                   const char* const names[7] = {"T", "X", "Y", "R", "Ph", "XY", "Y/X"};
                   const int rows[7] = {47, 83, 118, 152, 186, 226, 261};
                   for (int i = 0; i < 7; ++i) t.Centre(c, 18, rows[i] + 6, names[i], 11, Face::Sans, kTextColour);
                 }});
}
