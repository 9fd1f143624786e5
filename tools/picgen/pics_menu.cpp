// The soft-key menu: slot backgrounds (124 x 80 at column 675), value fields
// (120 x 38, 41 rows into a slot at column 677), the title tab (24 wide),
// page marks and frame, and the pop-up list pieces (116 x 22 at column 560).
#include <string>

#include "pictures.h"

namespace {

using P = std::vector<std::pair<double, double>>;

constexpr int kFieldW = 120, kFieldH = 38;
constexpr int kPopW = 116, kPopH = 22;

void Slot(Canvas& c, uint32_t border, double lift) {
  for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, Mix(ItemShade(y), 0x6A7A8A, lift));
  c.RoundFrame(0, 0, c.W(), c.H() - 1, 4, border);
  c.HLine(0, c.W() - 1, c.H() - 1, 0x000000);  // gap to the next slot
}

enum class Symbol { Knob, KnobKeypad, Key, ChoiceFirst, ChoiceSecond, ListDown, ListOpen };

void Knob(Canvas& c, double cx, double cy, uint32_t colour) {
  c.Ring(cx, cy, 6.5, 1.6, colour);
  c.Disc(cx, cy - 3.5, 1.3, colour);
}

void FieldSymbol(Canvas& c, Symbol s, uint32_t colour) {
  const double cy = (kFieldH - 1) / 2.0;
  switch (s) {
    case Symbol::Knob:
      Knob(c, 11, cy, colour);
      break;
    case Symbol::KnobKeypad:
      Knob(c, 11, cy, colour);
      for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) c.FillRect(104 + 4 * k, int(cy) - 5 + 4 * r, 3, 3, colour);
      break;
    case Symbol::Key:
      c.RoundFrame(4, int(cy) - 6, 13, 13, 2, colour);
      c.Polygon(P{{8, cy - 3}, {13, cy}, {8, cy + 3}}, colour);
      break;
    case Symbol::ChoiceFirst:
    case Symbol::ChoiceSecond: {
      const bool first = s == Symbol::ChoiceFirst;
      c.Ring(10, cy - 5, 3.6, 1.2, colour);
      c.Ring(10, cy + 5, 3.6, 1.2, colour);
      c.Disc(10, first ? cy - 5 : cy + 5, 2.2, colour);
      break;
    }
    case Symbol::ListDown:
      c.Polygon(P{{5, cy - 3}, {15, cy - 3}, {10, cy + 3}}, colour);
      break;
    case Symbol::ListOpen:
      c.Polygon(P{{5, cy}, {13, cy - 5}, {13, cy + 5}}, colour);
      break;
  }
}

// A value field: a dark inset box, its border lit when focused.
void Field(Canvas& c, Symbol s, bool active) {
  for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, ItemShade(41 + y));
  c.RoundRect(0, 0, c.W(), c.H(), 4, active ? 0x0C1A0C : 0x0E0E0E);
  c.RoundFrame(0, 0, c.W(), c.H(), 4, active ? kFocusColour : 0x5A5A5A);
  FieldSymbol(c, s, active ? kFocusColour : kTextColour);
}

// The vertical title tab: top cap, body piece (repeated), bottom cap.
void TabPiece(Canvas& c, bool top, bool bottom) {
  c.FillRect(0, 0, c.W(), c.H(), 0x000000);
  c.FillRect(1, top ? 1 : 0, c.W() - 1, c.H() - (top ? 1 : 0) - (bottom ? 1 : 0), 0x262626);
  c.VLine(0, top ? 2 : 0, bottom ? c.H() - 3 : c.H() - 1, kFrameColour);
  if (top) {
    c.HLine(2, c.W() - 1, 0, kFrameColour);
    c.Set(1, 1, kFrameColour);
  }
  if (bottom) {
    c.HLine(2, c.W() - 1, c.H() - 1, kFrameColour);
    c.Set(1, c.H() - 2, kFrameColour);
  }
}

void PopEntry(Canvas& c, uint32_t fill, uint32_t border) {
  c.FillRect(0, 0, c.W(), c.H(), fill);
  c.VLine(0, 0, c.H() - 1, border);
  c.VLine(c.W() - 1, 0, c.H() - 1, border);
  c.HLine(0, c.W() - 1, c.H() - 1, 0x3A3A3A);
}

}  // namespace

void MenuPictures(std::vector<PicDef>& out) {
  auto add = [&out](std::string name, int w, int h, std::function<void(Canvas&, Text&)> f) {
    out.push_back(PicDef{"Menu/" + std::move(name), w, h, std::move(f)});
  };
  auto slot = [](uint32_t border, double lift) {
    return [border, lift](Canvas& c, Text&) { Slot(c, border, lift); };
  };
  add("menu-item-Double.bmp", 124, 80, slot(0x4A4A4A, 0.0));
  add("menu-item-Double_Active.bmp", 124, 80, slot(kFrameColour, 0.18));
  add("menu-item-Single.bmp", 124, 80, slot(0x4A4A4A, 0.06));
  add("menu-item-Single-Push.bmp", 124, 80, slot(kTextColour, 0.30));
  add("menu-item-Double-Push.bmp", 124, 80, slot(kTextColour, 0.30));
  add("pop-menu-icon.bmp", 16, 16, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 16, 16, 0x1A1A1A);
    for (int r = 0; r < 3; ++r) c.FillRect(3, 3 + 4 * r, 10, 2, kTextColour);
  });
  add("title-top.bmp", 24, 6, [](Canvas& c, Text&) { TabPiece(c, true, false); });
  add("title-bottom.bmp", 24, 6, [](Canvas& c, Text&) { TabPiece(c, false, true); });
  add("title-body.bmp", 24, 16, [](Canvas& c, Text&) { TabPiece(c, false, false); });
  auto field = [](Symbol s, bool active) {
    return [s, active](Canvas& c, Text&) { Field(c, s, active); };
  };
  add("choice-1.bmp", kFieldW, kFieldH, field(Symbol::ChoiceFirst, false));
  add("choice-1-Active.bmp", kFieldW, kFieldH, field(Symbol::ChoiceFirst, true));
  add("choice-2.bmp", kFieldW, kFieldH, field(Symbol::ChoiceSecond, false));
  add("choice-2-Active.bmp", kFieldW, kFieldH, field(Symbol::ChoiceSecond, true));
  add("knob-normal.bmp", kFieldW, kFieldH, field(Symbol::Knob, false));
  add("knob-normal-Active.bmp", kFieldW, kFieldH, field(Symbol::Knob, true));
  add("KnobNumKB.bmp", kFieldW, kFieldH, field(Symbol::KnobKeypad, false));
  add("KnobNumKB-Active.bmp", kFieldW, kFieldH, field(Symbol::KnobKeypad, true));
  add("KeyIco.bmp", kFieldW, kFieldH, field(Symbol::Key, false));
  add("PageMark.bmp", 10, 8, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 10, 8, 0x161616);
    c.RoundRect(1, 1, 8, 6, 2, 0x5A5A5A);
  });
  add("PageMarkSel.bmp", 10, 8, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 10, 8, 0x161616);
    c.RoundRect(1, 1, 8, 6, 2, kTextColour);
  });
  add("PageFrame.bmp", 124, 13, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 124, 13, 0x161616);
    c.RoundFrame(0, 0, 124, 13, 3, 0x4A4A4A);
  });
  add("ArrowDown_icon.bmp", kFieldW, kFieldH, field(Symbol::ListDown, false));
  add("ArrowLeft-icon.bmp", kFieldW, kFieldH, field(Symbol::ListOpen, true));
  add("SubMenu-icon.bmp", 18, 14, [](Canvas& c, Text&) {
    for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, Mix(ItemShade(63 + y), 0x6A7A8A, 0.06));
    c.Polygon(P{{7, 2}, {13, 6.5}, {7, 11}}, kTextColour);
  });
  add("pop-menu-knob.bmp", kPopW, kPopH, [](Canvas& c, Text&) {
    c.VGradient(0, 0, c.W(), c.H(), 0x3A3A3A, 0x262626);
    c.RoundFrame(0, 0, c.W(), c.H() + 3, 3, kFrameColour);
    Knob(c, 58, 10.5, kTextColour);
    c.Polygon(P{{40, 8}, {46, 8}, {43, 4}}, kTextColour);
    c.Polygon(P{{70, 13}, {76, 13}, {73, 17}}, kTextColour);
  });
  add("pop-menu.bmp", kPopW, kPopH, [](Canvas& c, Text&) { PopEntry(c, 0x1C1C1C, kFrameColour); });
  add("pop-menu-sel.bmp", kPopW, kPopH, [](Canvas& c, Text&) {
    PopEntry(c, 0x1C1C1C, kFrameColour);
    c.RoundRect(2, 1, c.W() - 4, c.H() - 3, 3, 0x1F4F78);
  });
  add("pop-menu-up.bmp", kPopW, kPopH, [](Canvas& c, Text&) {
    PopEntry(c, 0x262626, kFrameColour);
    c.Polygon(P{{52, 14}, {64, 14}, {58, 7}}, kTextColour);
  });
  add("pop-menu-down.bmp", kPopW, kPopH, [](Canvas& c, Text&) {
    PopEntry(c, 0x262626, kFrameColour);
    c.Polygon(P{{52, 7}, {64, 7}, {58, 14}}, kTextColour);
  });
}
