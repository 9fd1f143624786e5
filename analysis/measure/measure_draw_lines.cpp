// The measure drawing on the waveform area: voltages to screen rows, the
// indicator lines of the chosen parameter, and the histogram.
#include <algorithm>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system.h"
#include "analysis/measure/measure_draw.h"
#include "analysis/measure/task_measure.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kAreaLeft = 30, kAreaRight = 730, kAreaTop = 33, kAreaBottom = 433;
constexpr int kLineTop = 38, kLineBottom = 428;
constexpr int kCentreCode = 127, kRowsPerCode = 2;
constexpr uint64_t kRunMultiScope = 0x40000;
constexpr int kAreaLineLeft = 32, kAreaLineRight = 728;
constexpr int kHistFrame = 0xC70000, kHistBar = 0x01F801, kHistLength = 100;
constexpr double kPrefix[4] = {1e-6, 1e-3, 1.0, 1000.0};

_SysRunInfoOp* Run() { return SystemResource.runStatus; }
bool XY() { return Run() && Run()->GetDiplayFormat() == 1; }
bool Zoom() { return Run() && Run()->GetTimeBaseType() != 0; }
bool MultiScope() { return Run() && (Run()->GetFuncBits() & kRunMultiScope); }
bool Split() { return MultiScope() && Run()->GetIndependTimeBaseSplit(); }
bool IsOn(int source) { return Run() && (Run()->GetChStatus() >> source & 1); }
int MenuSource(int item) { return MeasureSourceOf(int(uint16_t(TaskMeasure.TaskMenu.GetMenuItem(item)))); }

// The point of the first edge of `list` at or after `from` (0: none).
int FirstAfter(const uint16_t* points, int count, int from) {
  for (int i = 0; i < count; ++i)
    if (points[i] > from) return points[i];
  return 0;
}
}  // namespace

int _measure_draw::ValueToGridY(const FloatElement* value, short source) {
  if (!value || !SystemResource.vertical) return 0;
  const int prefix = value->unit & 0xFF;
  if (prefix > 3) return 0;
  const double volts = value->mantissa * kPrefix[prefix];
  const y_system& v = *SystemResource.vertical;
  const double perDiv = source == kMeaMath
                            ? double(Voltage[std::clamp(v.GetRealYsensitivity(source), 0, kVoltageEntries - 1)])
                            : double(v.GetRealYDivVoltage(source));
  if (perDiv <= 0) return 0;
  int centre = 233, pixels = 50;
  double offset = (kCentreCode - v.GetRealYposition(source)) * kRowsPerCode;
  if (XY()) {
    centre = 93;
    pixels = 15;
    offset = offset * 120 / 400;
  } else if (Zoom()) {
    centre = 306;
    pixels = 35;
    offset = offset * 280 / 400;
  } else if (Split()) {
    centre = source == 1 ? 341 : 133;
    pixels = 25;
    offset /= 2;
  }
  const int rows = int(volts / perDiv * pixels);
  return centre - rows + int(offset);
}

void _measure_draw::DrawIndicatorLineY(short y1, short y2, short source) {
  const int colour = ChannelColour(source, false);
  for (int y : {int(y1), int(y2)})
    if (y != 0 && y >= kAreaTop && y <= kAreaBottom)
      QelDraw.DrawLine(y, kAreaLeft, y, kAreaRight, colour, DRAW_CURRENT);
}

void _measure_draw::DrawIndicatorLineX(short x1, short x2, short source) {
  int top = kLineTop, bottom = kLineBottom;
  if (XY()) {
    bottom = 148;
  } else if (Zoom()) {
    top = 177;
    bottom = 438;
  } else if (Split()) {
    top = source == 1 ? 247 : kLineTop;
    bottom = source == 1 ? kLineBottom : 233;
  }
  const int colour = ChannelColour(source, false);
  for (int x : {int(x1), int(x2)})
    if (x >= kAreaLeft && x <= kAreaRight) QelDraw.DrawLine(top, x, bottom, x, colour, DRAW_CURRENT);
}

void _measure_draw::DrawIndicator() {
  const int master = MenuSource(kMeaMasterSrc), slave = MenuSource(kMeaSlaveSrc);
  if (!IsOn(master)) return;
  const int para = int(uint16_t(TaskMeasure.TaskMenu.GetMenuItem(kMeaIndicatorSel)));
  if (para < 0 || para >= kMeaParas) return;
  if (MeasureIsDoublePara(para) == 1 && !IsOn(slave)) return;

  auto row = [&](int p) {
    FloatElement e{};
    return MeasureParaCalcu.GetMeasureParaResult(master, p, &e) == 0 ? ValueToGridY(&e, short(master)) : 0;
  };
  auto horizontal = [&](int a, int b) { DrawIndicatorLineY(short(a), short(b), short(master)); };
  auto vertical = [&](int a, int b) {
    if (a > 0 && b > 0) DrawIndicatorLineX(short(a + kAreaLeft), short(b + kAreaLeft), short(master));
  };
  const EdgePointList m = MeasureParaCalcu.GetRiseFallPoints(master);
  const EdgePointList s = MeasureIsDoublePara(para) == 1 ? MeasureParaCalcu.GetRiseFallPoints(slave) : EdgePointList{};
  const int mr0 = m.rising ? m.risePoint[0] : 0, mr1 = m.rising > 1 ? m.risePoint[1] : 0;
  const int mf0 = m.falling ? m.fallPoint[0] : 0;
  const int sr0 = s.rising ? s.risePoint[0] : 0, sf0 = s.falling ? s.fallPoint[0] : 0;
  const int srLast = s.rising ? s.risePoint[s.rising - 1] : 0, sfLast = s.falling ? s.fallPoint[s.falling - 1] : 0;
  int16_t bmt[6] = {};

  switch (para) {
    case kParaAmpl: horizontal(row(kParaHigh), row(kParaLow)); break;
    case kParaPkPk: horizontal(row(kParaMax), row(kParaMin)); break;
    case kParaMiddle: {
      const int hi = row(kParaHigh), lo = row(kParaLow);
      if (hi && lo) horizontal((hi + lo) / 2, 0);
      break;
    }
    case kParaOverSht: horizontal(row(kParaMax), row(kParaHigh)); break;
    case kParaPreSht: horizontal(row(kParaLow), row(kParaMin)); break;
    case kParaCycMean: case kParaPeriod: case kParaFreq: case kParaCycArea: vertical(mr0, mr1); break;
    case kParaRise:
      MeasureParaCalcu.GetRiseFallBMTPoints(master, bmt);
      vertical(bmt[0], bmt[2]);
      break;
    case kParaFall:
      MeasureParaCalcu.GetRiseFallBMTPoints(master, bmt);
      vertical(bmt[3], bmt[5]);
      break;
    case kParaPwidth: case kParaPduty: vertical(mr0, FirstAfter(m.fallPoint, m.falling, mr0)); break;
    case kParaNwidth: case kParaNduty: vertical(mf0, FirstAfter(m.risePoint, m.rising, mf0)); break;
    case kParaRiseDelay: case kParaFRFR: case kParaPhase: vertical(mr0, sr0); break;
    case kParaFallDelay: case kParaFFFF: vertical(mf0, sf0); break;
    case kParaFRFF: vertical(mr0, sf0); break;
    case kParaFFFR: vertical(mf0, sr0); break;
    case kParaFRLF: vertical(mr0, sfLast); break;
    case kParaFRLR: vertical(mr0, srLast); break;
    case kParaFFLR: vertical(mf0, srLast); break;
    case kParaFFLF: vertical(mf0, sfLast); break;
    case kParaArea: case kParaPulse:
      DrawIndicatorLineX(kAreaLineLeft, kAreaLineRight, short(master));
      break;
    default: horizontal(row(para), 0); break;  // 0-3, 7, 9-11: the value itself
  }
}

// ---- histogram ----

void TaskForMeasure::DrawHistogram() {
  const int left = std::clamp(int(uint16_t(TaskMenu.GetMenuItem(kMeaHoriL))), 0, kMeaHistColumns - 1);
  const int right = std::clamp(int(uint16_t(TaskMenu.GetMenuItem(kMeaHoriR))), left, kMeaHistColumns - 1);
  const int top = std::clamp(int(uint16_t(TaskMenu.GetMenuItem(kMeaVertT))), 0, kMeaHistRows - 1);
  const int bottom = std::clamp(int(uint16_t(TaskMenu.GetMenuItem(kMeaVertB))), top, kMeaHistRows - 1);
  QelDraw.DrawRect(kAreaTop + kRowsPerCode * top, kAreaLeft + left, right - left + 1,
                   kRowsPerCode * (bottom - top + 1), kHistFrame, DRAW_CURRENT);
  if (TaskMenu.GetMenuItem(kMeaHistogram) == 1)
    DrawVHistogram(top, bottom);
  else
    DrawHHistogram(left, right);
}

void TaskForMeasure::DrawVHistogram(int top, int bottom) {
  if (!palette_) return;
  for (int r = top; r <= bottom; ++r) {
    const float f = histHeight_[r];
    if (f <= 0) continue;
    const int colour = palette_[int(f * 127) + 128];
    const int end = kAreaLeft + int(f * kHistLength);
    for (int y : {kAreaTop + kRowsPerCode * r, kAreaTop + 1 + kRowsPerCode * r})
      QelDraw.DrawLine(y, kAreaLeft, y, end, colour, DRAW_CURRENT);
  }
}

void TaskForMeasure::DrawHHistogram(int left, int right) {
  for (int c = left; c <= right; ++c) {
    const float f = histHeight_[c];
    if (f <= 0) continue;
    QelDraw.DrawLine(kAreaTop, kAreaLeft + c, kAreaTop + int(f * kHistLength), kAreaLeft + c, kHistBar, DRAW_CURRENT);
  }
}
