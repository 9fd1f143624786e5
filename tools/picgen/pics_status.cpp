// Status bars and everything placed on them or beside the wave area.
#include <string>

#include "pictures.h"

namespace {

using P = std::vector<std::pair<double, double>>;

// Channel sections of the bottom bar (columns, and the active mark's place).
constexpr int kSectionTop = 2, kSectionHeight = 30;
constexpr int kChannelSection[2] = {2, 177};
constexpr int kChannelWidth = 172;
constexpr int kMathSection = 352, kMathWidth = 249;

void Section(Canvas& c, int x, int y, int w, int h) {
  c.RoundRect(x, y, w, h, 3, 0x141414);
  c.RoundFrame(x, y, w, h, 3, 0x3C3C3C);
}

// The channel number tag of a section: outlined in the colour, or filled.
void Tag(Canvas& c, Text& t, int x, int y, const std::string& label, uint32_t colour, bool filled) {
  const int w = 19, h = 24;
  if (filled)
    c.RoundRect(x, y, w, h, 3, colour);
  else
    c.RoundFrame(x, y, w, h, 3, colour);
  t.Centre(c, x + (w - 1) / 2.0, y + (h - 1) / 2.0 + 1, label, 13, Face::Bold,
           filled ? 0x000000 : colour);
}

void BottomBar(Canvas& c, Text& t, bool math) {
  for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, BarShade(y));
  c.HLine(0, c.W() - 1, 0, 0x505050);
  for (int ch = 0; ch < 2; ++ch) {
    Section(c, kChannelSection[ch], kSectionTop, kChannelWidth, kSectionHeight);
    Tag(c, t, kChannelSection[ch] + 1, kSectionTop + 2, std::to_string(ch + 1), kChannelColours[ch], false);
  }
  if (math) {
    Section(c, kMathSection, kSectionTop, kMathWidth, kSectionHeight);
    Tag(c, t, kMathSection + 1, kSectionTop + 2, "M", kMathColour, false);
  }
}

// The mark of the active channel: its section lit and its tag filled.
void ActiveMark(Canvas& c, Text& t, const std::string& label, uint32_t colour) {
  c.VGradient(0, 0, c.W(), c.H(), 0x2E2E2E, 0x1E1E1E);
  c.RoundFrame(0, 0, c.W(), c.H(), 3, colour);
  Tag(c, t, 1, 2, label, colour, true);
}

void TopBar(Canvas& c, Text& t) {
  for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, BarShade(33 - y));
  c.HLine(0, c.W() - 1, c.H() - 1, 0x505050);
  Section(c, 2, 1, 58, 30);     // acquisition state
  Section(c, 204, 1, 76, 30);   // memory depth and sample rate
  Section(c, 282, 1, 223, 30);  // memory window
  c.HLine(286, 500, 23, 0x464646);
  Section(c, 507, 1, 77, 30);   // trigger position
  Section(c, 587, 1, 211, 30);  // trigger
}

void TimeBase(Canvas& c, Text& t) {
  for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, BarShade(33 - y));
  Section(c, 0, 1, c.W(), 30);
  c.RoundFrame(3, 4, 17, 24, 3, kFrameColour);
  t.Centre(c, 11, 16, "H", 12, Face::Bold, kTextColour);
}

void SmallTag(Canvas& c, Text& t, const std::string& label, uint32_t colour, bool filled, int px) {
  for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, BarShade(33 - y));
  if (filled)
    c.RoundRect(0, 0, c.W(), c.H(), 3, colour);
  else
    c.RoundFrame(0, 0, c.W(), c.H(), 3, colour);
  t.Centre(c, (c.W() - 1) / 2.0, (c.H() - 1) / 2.0, label, px, Face::CondensedBold,
           filled ? Readable(colour) : colour);
}

void StateMark(Canvas& c, Text& t, const std::string& label, uint32_t fill) {
  c.FillRect(0, 0, c.W(), c.H(), 0x141414);
  c.RoundRect(0, 0, c.W(), c.H(), 4, fill);
  c.RoundFrame(0, 0, c.W(), c.H(), 4, Mix(fill, 0xFFFFFF, 0.35));
  t.Centre(c, (c.W() - 1) / 2.0, (c.H() - 1) / 2.0, label, 12, Face::Bold, Readable(fill));
}

// Keeps the bottom-right corner of a keyed marker clear, where the loader
// takes the key colour from (stored row 1, column 20).
void ClearKeyCorner(Canvas& c) {
  for (int y = c.H() - 2; y < c.H(); ++y)
    for (int x = c.W() - 2; x < c.W(); ++x) c.Set(x, y, kKey);
}

enum class Arrow { Right, Up, Down, Left, RightApart };

// A wave marker, 21 x 11: a label body and a point or arrow telling where
// the trace lies.
void Marker(Canvas& c, Text& t, const std::string& label, uint32_t colour, Arrow a) {
  c.FillRect(0, 0, c.W(), c.H(), kKey);
  const int h = c.H(), mid = h / 2;
  int bodyX = 0, bodyW = 14;
  switch (a) {
    case Arrow::Right:
      c.Polygon(P{{13, 0}, {20, double(mid)}, {13, double(h - 1)}}, colour);
      break;
    case Arrow::RightApart:
      bodyW = 13;
      c.Polygon(P{{15, 1}, {20, double(mid)}, {15, double(h - 2)}}, colour);
      break;
    case Arrow::Left:
      bodyX = 7;
      c.Polygon(P{{0, double(mid)}, {5, 1}, {5, double(h - 2)}}, colour);
      break;
    case Arrow::Up:
      c.Polygon(P{{15, 7}, {17.5, 2}, {20, 7}}, colour);
      c.FillRect(17, 6, 2, 4, colour);
      break;
    case Arrow::Down:
      c.Polygon(P{{15, 4}, {17.5, 9}, {20, 4}}, colour);
      c.FillRect(17, 1, 2, 4, colour);
      break;
  }
  c.RoundRect(bodyX, 0, bodyW, h, 2, colour);
  const int px = label.size() > 1 ? 8 : 10;
  t.Centre(c, bodyX + (bodyW - 1) / 2.0, mid, label, px, Face::CondensedBold, Readable(colour));
  ClearKeyCorner(c);
}

// The pre-trigger mark, 13 x 13: a "T" body pointing down at the trigger point.
void TriggerMark(Canvas& c, Text& t, uint32_t colour) {
  c.FillRect(0, 0, c.W(), c.H(), kKey);
  c.RoundRect(0, 0, 13, 9, 2, colour);
  c.Polygon(P{{2, 8}, {6, 12}, {10, 8}}, colour);
  t.Centre(c, 6, 4, "T", 8, Face::Bold, Readable(colour));
  ClearKeyCorner(c);
}

// Pre-trigger mark when the trigger point lies off the screen, 21 x 13.
void TriggerOffMark(Canvas& c, Text& t, uint32_t colour, bool left) {
  c.FillRect(0, 0, c.W(), c.H(), kKey);
  const int bodyX = left ? 8 : 0;
  c.RoundRect(bodyX, 0, 13, 13, 2, colour);
  if (left)
    c.Polygon(P{{0, 6}, {6, 1}, {6, 11}}, colour);
  else
    c.Polygon(P{{14, 1}, {20, 6}, {14, 11}}, colour);
  t.Centre(c, bodyX + 6, 6, "T", 10, Face::Bold, Readable(colour));
  ClearKeyCorner(c);
}

void SourceTag(Canvas& c, Text& t, const std::string& label, uint32_t colour) {
  c.FillRect(0, 0, c.W(), c.H(), kKey);
  c.RoundRect(0, 0, 20, c.H(), 3, colour);
  t.Centre(c, 9.5, (c.H() - 1) / 2.0, label, label.size() > 2 ? 8 : 9, Face::CondensedBold,
           Readable(colour));
}

}  // namespace

void StatusPictures(std::vector<PicDef>& out) {
  auto add = [&out](std::string path, int w, int h, std::function<void(Canvas&, Text&)> f) {
    out.push_back(PicDef{std::move(path), w, h, std::move(f)});
  };
  auto addKeyed = [&out](std::string path, int w, int h, std::function<void(Canvas&, Text&)> f,
                         int keyColumn = 20) {
    out.push_back(PicDef{std::move(path), w, h, std::move(f), true, 1, keyColumn});
  };

  add("StatusBar/ch-bar-math.bmp", 800, 34, [](Canvas& c, Text& t) { BottomBar(c, t, true); });
  add("StatusBar/ch-bar-2ch.bmp", 800, 34, [](Canvas& c, Text& t) { BottomBar(c, t, false); });
  add("StatusBar/top-bar.bmp", 800, 33, TopBar);
  add("StatusBar/TimeBase.bmp", 114, 32, TimeBase);
  for (int ch = 0; ch < 4; ++ch)
    add("StatusBar/CH" + std::to_string(ch + 1) + "_ACTIVE.bmp", kChannelWidth, kSectionHeight,
        [ch](Canvas& c, Text& t) { ActiveMark(c, t, std::to_string(ch + 1), kChannelColours[ch]); });
  add("StatusBar/MATH_ACTIVE.bmp", kMathWidth, kSectionHeight,
      [](Canvas& c, Text& t) { ActiveMark(c, t, "M", kMathColour); });
  add("StatusBar/bw.bmp", 22, 14, [](Canvas& c, Text& t) { SmallTag(c, t, "BW", kTextColour, false, 9); });
  add("StatusBar/fine.bmp", 14, 14, [](Canvas& c, Text& t) { SmallTag(c, t, "F", kTextColour, false, 9); });
  add("StatusBar/Zoom.bmp", 24, 30, [](Canvas& c, Text& t) { SmallTag(c, t, "Z", kTriggerColour, true, 13); });

  const struct { const char* name; const char* label; uint32_t fill; } kStates[] = {
      {"armed", "Armed", 0xE0A000}, {"auto", "Auto", 0x20A040},   {"play", "Play", 0x3878D0},
      {"ready", "Ready", 0x10A8A8}, {"roll", "Roll", 0x3878D0},   {"stop", "Stop", 0xD02828},
      {"triged", "Trig'd", 0x28C028}, {"Guide1", "Guide", 0x606060}, {"Guide2", "Guide", 0x808080},
      {"Alternate", "Alt", 0x8848C8}, {"View", "View", 0x505050}, {"View2", "View2", 0x505050},
  };
  for (const auto& s : kStates)
    add(std::string("ProcStatus/") + s.name + ".bmp", 56, 26,
        [s](Canvas& c, Text& t) { StateMark(c, t, s.label, s.fill); });
  for (const char* kind : {"M", "D"})
    for (int n = 1; n <= 4; ++n)
      add(std::string("StatusBar/") + kind + std::to_string(n) + ".bmp", 24, 28,
          [kind, n](Canvas& c, Text& t) {
            SmallTag(c, t, kind + std::to_string(n), kChannelColours[n - 1], false, 10);
          });

  const struct { const char* name; const char* label; uint32_t colour; bool sides; } kMarks[] = {
      {"CH1", "1", kChannelColours[0], true},  {"CH2", "2", kChannelColours[1], false},
      {"CH3", "3", kChannelColours[2], true},  {"CH4", "4", kChannelColours[3], false},
      {"MATH", "M", kMathColour, false},       {"REFA", "RA", kRefColours[0], false},
      {"REFB", "RB", kRefColours[1], false},   {"REFC", "RC", kRefColours[2], false},
      {"REFD", "RD", kRefColours[3], false},
  };
  for (const auto& m : kMarks) {
    const std::string base = std::string("ArrowMark/") + m.name;
    auto marker = [m](Arrow a) {
      return [m, a](Canvas& c, Text& t) { Marker(c, t, m.label, m.colour, a); };
    };
    addKeyed(base + ".bmp", 21, 11, marker(Arrow::Right));
    addKeyed(base + "_Up.bmp", 21, 11, marker(Arrow::Up));
    addKeyed(base + "_Down.bmp", 21, 11, marker(Arrow::Down));
    if (m.sides) {
      addKeyed(base + "_Left.bmp", 21, 11, marker(Arrow::Left));
      addKeyed(base + "_Right.bmp", 21, 11, marker(Arrow::RightApart));
    }
  }
  for (const auto& [name, colour] :
       {std::pair<const char*, uint32_t>{"PreTriger", kTriggerColour}, {"Ch2PreTriger", kChannelColours[1]}}) {
    const uint32_t col = colour;
    addKeyed(std::string("ArrowMark/") + name + ".bmp", 13, 13,
             [col](Canvas& c, Text& t) { TriggerMark(c, t, col); }, 12);
    addKeyed(std::string("ArrowMark/") + name + "_Left.bmp", 21, 13,
             [col](Canvas& c, Text& t) { TriggerOffMark(c, t, col, true); });
    addKeyed(std::string("ArrowMark/") + name + "_Right.bmp", 21, 13,
             [col](Canvas& c, Text& t) { TriggerOffMark(c, t, col, false); });
  }
  addKeyed("ArrowMark/Decode.bmp", 21, 11,
           [](Canvas& c, Text& t) { Marker(c, t, "B", 0xC080FF, Arrow::Right); });

  const struct { const char* name; const char* label; uint32_t colour; } kSources[] = {
      {"S1", "CH1", kChannelColours[0]}, {"S2", "CH2", kChannelColours[1]},
      {"S3", "CH3", kChannelColours[2]}, {"S4", "CH4", kChannelColours[3]},
      {"AC", "AC", kTextColour},         {"EXT", "EXT", kTextColour},
  };
  for (const auto& s : kSources)
    addKeyed(std::string("TriggerSource/") + s.name + ".bmp", 21, 18,
             [s](Canvas& c, Text& t) { SourceTag(c, t, s.label, s.colour); });
}
