#include "glyph_patterns.h"

#include <cstdio>

namespace {

// A drawn glyph: its top row in the cell and its rows ('#' set, ' ' clear).
// Column 0 of a pattern is cell column 1, so the width rule (set columns + 2)
// leaves one clear column on each side.
struct Pattern {
  int id;
  int top;
  std::vector<const char*> rows;
};

const std::vector<Pattern>& Patterns() {
  static const std::vector<Pattern> kPatterns = {
      {0, 0,  // mouse pointer, hot spot at the tip
       {"#", "##", "###", "####", "#####", "######", "#######", "########", "#########",
        "##########", "###########", "#######", "### ###", "##  ###", "#    ###", "     ###",
        "      ##"}},
      {1, 4,  // rising edge
       {"     #######", "     #", "    ###", "   # # #", "     #", "     #", "     #", "     #",
        "     #", "     #", "     #", "     #", "######"}},
      {2, 4,  // falling edge
       {"######", "     #", "     #", "     #", "     #", "     #", "     #", "     #", "     #",
        "   # # #", "    ###", "     #", "     #######"}},
      {3, 4,  // either edge
       {"    #####", "    #   ", "   ###  ", "  # # # ", "    #   ", "    #   ", "    #   ",
        "    #   ", "  # # # ", "   ###  ", "    #   ", "    #   ", "#####    "}},
      {4, 8,  // DC coupling: a line over a dashed line
       {"##########", "", "", "##  ##  ##"}},
      {5, 8,  // AC coupling: a wave
       {" ##      ", "#  #    #", "    #  # ", "     ##  "}},
      {6, 6,  // ground
       {"    #    ", "    #    ", "    #    ", "#########", "", "  #####  ", "", "   ###   "}},
      {7, 1,  // invert: a bar over the channel number
       {" ##########", " ##########"}},
      {8, 1,  // trigger level, pointing left at the level row (cell row 6)
       {"         #", "       ###", "     #####", "   #######", " #########", "##########",
        " #########", "   #######", "     #####", "       ###", "         #"}},
      {9, 6,  // positive pulse
       {"   #####   ", "   #   #   ", "   #   #   ", "   #   #   ", "   #   #   ", "   #   #   ",
        "####   ####"}},
      {10, 6,  // negative pulse
       {"####   ####", "   #   #   ", "   #   #   ", "   #   #   ", "   #   #   ", "   #   #   ",
        "   #####   "}},
      {11, 6,  // rising slope
       {"        ###", "       #   ", "      #    ", "     #     ", "    #      ", "   #       ",
        "###        "}},
      {12, 6,  // falling slope
       {"###        ", "   #       ", "    #      ", "     #     ", "      #    ", "       #   ",
        "        ###"}},
      {13, 5,  // video: a screen
       {"###########", "#         #", "# ####### #", "#         #", "# #####   #", "#         #",
        "###########", "    ###    "}},
      {14, 6,  // right bracket of the memory window (line at cell row 19)
       {"####", "   #", "   #", "   #", "   #", "   #", "   #", "   #", "   #", "   #", "   #",
        "   #", "   #", "####"}},
      {15, 6,  // left bracket of the memory window
       {"####", "#   ", "#   ", "#   ", "#   ", "#   ", "#   ", "#   ", "#   ", "#   ", "#   ",
        "#   ", "#   ", "####"}},
      {16, 3,  // trigger position, pointing down at the line (cell row 10)
       {"#########", " ####### ", "  #####  ", "   ###   ", "    #    "}},
      {17, 3,  // trigger position outside the shown window
       {"#########", " #     # ", "  #   #  ", "   # #   ", "    #    "}},
      {18, 6,  // run
       {"##      ", "####    ", "######  ", "########", "######  ", "####    ", "##      "}},
      {19, 6,  // check
       {"        #", "       ##", "#     ## ", "##   ##  ", " ## ##   ", "  ###    ", "   #     "}},
      {20, 6,  // cross
       {"#     #", "##   ##", " ## ## ", "  ###  ", " ## ## ", "##   ##", "#     #"}},
      {21, 5,  // up
       {"   #   ", "  ###  ", " ##### ", "#######", "  ###  ", "  ###  ", "  ###  ", "  ###  "}},
      {22, 5,  // down
       {"  ###  ", "  ###  ", "  ###  ", "  ###  ", "#######", " ##### ", "  ###  ", "   #   "}},
      {35, 7,  // small diamond
       {"   #   ", "  ###  ", " ##### ", "#######", " ##### ", "  ###  ", "   #   "}},
  };
  return kPatterns;
}

Cell FromPattern(const Pattern& p) {
  Cell cell{};
  for (size_t r = 0; r < p.rows.size() && p.top + int(r) < 24; ++r)
    for (int c = 0; p.rows[r][c] && c < 23; ++c)
      if (p.rows[r][c] == '#') cell[p.top + r] |= 1u << (23 - (c + 1));
  return cell;
}

}  // namespace

std::vector<Cell> BuildSpecialGlyphs(Rasteriser& ras, FT_Face digits, int baseline) {
  std::vector<Cell> cells(kSpecialCount);
  for (const Pattern& p : Patterns()) cells[p.id] = FromPattern(p);
  const char large[] = "-.0123456789";  // glyphs 23, 24, 25-34
  for (int i = 0; large[i]; ++i) {
    Cell c;
    if (ras.Render(digits, uint32_t(large[i]), baseline, &c) && PlaceForRule(c, WidthRule::AsciiAll))
      cells[23 + i] = c;
    else
      std::fprintf(stderr, "fontgen: large digit '%c' left blank\n", large[i]);
  }
  for (int id = 0; id < kSpecialCount; ++id)
    if (!Whole(cells[id], WidthRule::AsciiAll, id))
      std::fprintf(stderr, "fontgen: special glyph %d is cut by the width rule\n", id);
  return cells;
}
