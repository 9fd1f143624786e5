// The measure drawing's pictures (Data/PicResource/Measure/): one icon per
// parameter, in parameter order, and the three panel backgrounds (all
// parameters, the user picker, the statistics card). An icon is a small pulse
// with the part the parameter measures marked; the panels are drawn on the key
// colour, which stays in their corners so the traces show there.
#include "pictures.h"

namespace {
constexpr uint32_t kPanelFill = 0x1E2128, kRuleColour = 0x3A4450, kTitleFill = 0x2A303A;
constexpr uint32_t kPulse = 0x9AA0A8, kMark = 0x01F801, kSecond = 0xFFCC00;
constexpr int kIconW = 22, kIconH = 18;
// Icon rows: the pulse's top and base, its middle, and the overshoot peaks.
constexpr int kTop = 4, kBase = 14, kMid = 9, kPeakTop = 2, kPeakBase = 16;
// Icon columns: the first pulse's edges and the next rising edge.
constexpr int kRise = 5, kFall = 12, kNext = 19;

// What an icon marks on its pulse.
enum class Mark {
  kLevel,   // a horizontal line at row a
  kLevels,  // two horizontal lines, rows a and b, with a bar between
  kSpan,    // a time span from column a to column b at row kMid
  kSlope,   // an edge's slope: the edge drawn bright (a 0 rising, 1 falling)
  kDelay,   // a second pulse (colour kSecond) shifted; span from a to b
  kArea,    // the area under the pulse, from column a to b
  kPeak,    // the overshoot (a 0) or preshoot (1) peak
  kCount,   // pulses counted: ticks under each
  kPhase,   // two pulses, a quarter period apart
};

struct Icon {
  const char* file;
  Mark mark;
  int a, b;
};

// In parameter order (the measure engine's table).
const Icon kIcons[36] = {
    {"Max", Mark::kLevel, kPeakTop, 0},
    {"Min", Mark::kLevel, kPeakBase, 0},
    {"High", Mark::kLevel, kTop, 0},
    {"Low", Mark::kLevel, kBase, 0},
    {"Ampl", Mark::kLevels, kTop, kBase},
    {"PkPk", Mark::kLevels, kPeakTop, kPeakBase},
    {"Middle", Mark::kLevel, kMid, 0},
    {"Mean", Mark::kLevels, kMid - 1, kMid + 1},
    {"CycMean", Mark::kSpan, kRise, kNext},
    {"Rms", Mark::kLevels, kTop + 2, kTop + 2},
    {"CycRms", Mark::kSpan, kRise, kNext},
    {"AcRms", Mark::kLevels, kMid + 2, kMid + 2},
    {"Period", Mark::kSpan, kRise, kNext},
    {"Freq", Mark::kCount, 0, 0},
    {"Rise", Mark::kSlope, 0, 0},
    {"Fall", Mark::kSlope, 1, 0},
    {"RiseDelay", Mark::kDelay, kRise, kRise + 3},
    {"FallDelay", Mark::kDelay, kFall, kFall + 3},
    {"Pwidth", Mark::kSpan, kRise, kFall},
    {"Nwidth", Mark::kSpan, kFall, kNext},
    {"FRFR", Mark::kDelay, kRise, kRise + 3},
    {"FRFF", Mark::kDelay, kRise, kFall + 3},
    {"FFFR", Mark::kDelay, kFall, kRise + 3},
    {"FFFF", Mark::kDelay, kFall, kFall + 3},
    {"FRLF", Mark::kDelay, kRise, kFall + 3},
    {"FRLR", Mark::kDelay, kRise, kRise + 3},
    {"FFLR", Mark::kDelay, kFall, kRise + 3},
    {"FFLF", Mark::kDelay, kFall, kFall + 3},
    {"Pduty", Mark::kSpan, kRise, kFall},
    {"Nduty", Mark::kSpan, kFall, kNext},
    {"Area", Mark::kArea, 0, kIconW - 1},
    {"CycArea", Mark::kArea, kRise, kNext},
    {"OverSht", Mark::kPeak, 0, 0},
    {"PreSht", Mark::kPeak, 1, 0},
    {"Phase", Mark::kPhase, 0, 0},
    {"Pulse", Mark::kCount, 1, 0},
};

// The pulse: low, rising at kRise, high, falling at kFall, rising again at kNext.
void Pulse(Canvas& c, int shift, uint32_t colour) {
  c.HLine(0, kRise + shift, kBase, colour);
  c.VLine(kRise + shift, kTop, kBase, colour);
  c.HLine(kRise + shift, kFall + shift, kTop, colour);
  c.VLine(kFall + shift, kTop, kBase, colour);
  c.HLine(kFall + shift, kNext + shift, kBase, colour);
  c.VLine(kNext + shift, kTop, kBase, colour);
  c.HLine(kNext + shift, kIconW - 1, kTop, colour);
}

void Arrow(Canvas& c, int x0, int x1, int row) {
  c.HLine(x0, x1, row, kMark);
  c.VLine(x0, row - 2, row + 2, kMark);
  c.VLine(x1, row - 2, row + 2, kMark);
}

void DrawIcon(Canvas& c, const Icon& icon) {
  c.FillRect(0, 0, c.W(), c.H(), kPanelFill);
  switch (icon.mark) {
    case Mark::kDelay:
      Pulse(c, 0, kPulse);
      Pulse(c, 3, kSecond);
      Arrow(c, icon.a, icon.b, kMid);
      return;
    case Mark::kPhase:
      Pulse(c, 0, kPulse);
      Pulse(c, 4, kSecond);
      Arrow(c, kRise, kRise + 4, kPeakBase);
      return;
    case Mark::kSlope:
      Pulse(c, 0, kPulse);
      c.Line(icon.a ? kFall - 2 : kRise - 2, icon.a ? kTop : kBase, icon.a ? kFall + 2 : kRise + 2,
             icon.a ? kBase : kTop, kMark);
      return;
    case Mark::kArea:
      for (int x = icon.a; x <= icon.b; ++x) {
        const bool high = (x > kRise && x < kFall) || x > kNext;
        c.VLine(x, high ? kTop : kBase, kBase, Mix(kPanelFill, kMark, 0.45));
      }
      Pulse(c, 0, kPulse);
      return;
    case Mark::kPeak: {
      Pulse(c, 0, kPulse);
      const int x = icon.a ? kRise - 1 : kRise + 1, y = icon.a ? kPeakBase : kPeakTop;
      c.Line(x, icon.a ? kBase : kTop, x + 1, y, kMark);
      c.HLine(0, kIconW - 1, y, kMark);
      return;
    }
    case Mark::kCount:
      Pulse(c, 0, kPulse);
      for (int x : {kRise, kNext}) c.VLine(x, kPeakBase - 1, kPeakBase + 1, icon.a ? kSecond : kMark);
      return;
    case Mark::kSpan:
      Pulse(c, 0, kPulse);
      Arrow(c, icon.a, icon.b, kMid);
      return;
    case Mark::kLevels:
      Pulse(c, 0, kPulse);
      c.HLine(0, kIconW - 1, icon.a, kMark);
      c.HLine(0, kIconW - 1, icon.b, kMark);
      if (icon.b > icon.a + 2) c.VLine(1, icon.a, icon.b, kMark);
      return;
    case Mark::kLevel:
      Pulse(c, 0, kPulse);
      c.HLine(0, kIconW - 1, icon.a, kMark);
      return;
  }
}

// A panel: the rounded body on the key colour, a title band, and rules under
// the rows the drawing fills.
void Panel(Canvas& c, const int* rules, int count, int titleRows) {
  c.FillRect(0, 0, c.W(), c.H(), kKey);
  c.RoundRect(0, 0, c.W(), c.H(), 6, kPanelFill);
  c.RoundFrame(0, 0, c.W(), c.H(), 6, kFrameColour);
  if (titleRows > 0) {
    c.FillRect(3, 3, c.W() - 6, titleRows, kTitleFill);
    c.HLine(3, c.W() - 4, 3 + titleRows, kFrameColour);
  }
  for (int i = 0; i < count; ++i) c.HLine(12, c.W() - 13, rules[i], kRuleColour);
}

// Rules between the grid rows (the rows' text tops sit at these offsets + 2).
constexpr int kAllRules[] = {48, 72, 100, 131, 156, 182, 208, 236};
constexpr int kPickRules[] = {48, 72, 98, 128, 152, 177, 204, 233, 262, 296};
constexpr int kCardRules[] = {46, 68, 90};
}  // namespace

void MeasurePictures(std::vector<PicDef>& out) {
  for (const Icon& icon : kIcons)
    out.push_back({std::string("Measure/") + icon.file + ".bmp", kIconW, kIconH,
                   [&icon](Canvas& c, Text&) { DrawIcon(c, icon); }});
  // Keyed at the bottom-left corner, outside the rounded body.
  out.push_back({"Measure/AllPara.bmp", 676, 270, [](Canvas& c, Text&) { Panel(c, kAllRules, 8, 20); },
                 true, 0, 0});
  out.push_back({"Measure/UserDef.bmp", 440, 340, [](Canvas& c, Text&) { Panel(c, kPickRules, 10, 20); },
                 true, 0, 0});
  out.push_back({"Measure/Statistic.bmp", 125, 118,
                 [](Canvas& c, Text&) { Panel(c, kCardRules, 3, 22); }, true, 0, 0});
}
