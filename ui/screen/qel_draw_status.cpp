// The status texts and marks around the wave area: date and time, time base,
// memory depth and sample rate, trigger position and summary, channel
// readouts, memory-window indicator, acquisition state, frequency counter,
// temperature and the zoom brackets. Values come from the run state.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "acquisition/models/trig_system.h"
#include "acquisition/tables/probe_tables.h"
#include "acquisition/tables/timebase_tables.h"
#include "core/common/common_subprogram.h"
#include "core/common/unit_convert.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kText = 0xC8C8AF, kFocused = 0x01F801;
const char* const kTimeUnit[5] = {"s", "ms", "\xB5s", "ns", "ps"};
const char* const kFreqPrefix[4] = {"", "k", "M", "G"};
const char* const kTrigShortName[17] = {"E",  "P", "Video", "S", "R",   "W",   "D",   "T",  "Dur",
                                        "SH", "N", "Pa",    "U", "I2C", "SPI", "CAN", "LIN"};
const char* const kCouplingLabel[5] = {"DC", "AC", "HF", "LF", "NF"};
const char* const kSweepLabel[3] = {"Auto", "Normal", "Single"};

_SysRunInfo& Info() { return *SysRunStatus.GetSysRunInfoBaseAddr(); }

void SelectFont(Font* f, short id) {
  if (f) f->SetCurrFont(id);
}

// Label of a time-base index from the time-base table.
void TimeBaseLabel(int index, char* out, size_t size) {
  std::snprintf(out, size, "%s", TimeBaseStr[std::clamp(index, 0, kTimeBaseEntries - 1)]);
}

const char* TimeUnitText(int16_t code) {
  const int u = code - kTSec;
  return u >= 0 && u < 5 ? kTimeUnit[u] : "";
}

const char* VoltUnitText(int unit, int16_t prefix) {
  const char* t = CommonSubProg.GetChUnitStrig(unit, prefix);
  return t ? t : "";
}

// A value's unit text: zero reads in the plain unit ("0.00V"), not in the
// smallest prefix the converter gives it.
const char* VoltUnitText(int unit, const FloatElement& e) {
  return VoltUnitText(unit, e.mantissa == 0.0 ? int16_t(kVUnit) : e.unit);
}

// A kept record (stopped) is drawn at the volts/div in force at once; a
// running one at the volts/div of the record on screen.
float ShownVdiv(const VerticalBlock& v, int status) {
  return KeptRecordStatus(status) ? v.vdivVolts : v.vdivShown;
}

// "%d%s pts " for whole numbers of the unit, else "%.1lf%s pts ".
void DepthText(double points, char* out, size_t size) {
  const char* unit = "";
  double v = points;
  if (points >= 1e6) {
    unit = "M";
    v = points / 1e6;
  } else if (points >= 1e3) {
    unit = "k";
    v = points / 1e3;
  }
  if (v == std::floor(v))
    std::snprintf(out, size, "%d%s pts ", int(v), unit);
  else
    std::snprintf(out, size, "%.1lf%s pts ", v, unit);
}

int64_t SinceUs(const RunTimeStamp& stamp, int32_t sec, int32_t usec) {
  return (int64_t(sec) - stamp.sec) * 1000000 + (usec - stamp.usec);
}
}  // namespace

void qel_draw::DisplayTime() {
  DrawPictrue(450, 723, 117, DRAW_STATIC);
  SelectFont(GetUserFontPointer(), 1);
  const _SysRunInfo& info = Info();
  char f[4][4], text[32];
  std::snprintf(f[0], sizeof f[0], "%02d", info.hour % 100);
  std::snprintf(f[1], sizeof f[1], "%02d", info.minute % 100);
  std::snprintf(text, sizeof text, "%s : %s", f[0], f[1]);
  DrawString(447, 743, text, kText, DRAW_STATIC);
  std::snprintf(f[0], sizeof f[0], "%02d", info.year % 100);
  std::snprintf(f[1], sizeof f[1], "%02d", info.month % 100);
  std::snprintf(f[2], sizeof f[2], "%02d", info.day % 100);
  std::snprintf(text, sizeof text, "%s.%s.%s", f[0], f[1], f[2]);
  DrawString(461, 743, text, kText, DRAW_STATIC);
}

void qel_draw::DisplayTimeBase() {
  _SysRunInfo& info = Info();
  if (SysRunStatus.GetTimeBaseAdjFlag() == 1 &&
      SinceUs(info.timeBaseAdjTime, frameSec_, frameUsec_) > 2000000)
    SysRunStatus.SetTimeBaseAdjFlag(0);
  if (SysRunStatus.GetTimeBaseAdjFlag() == 0)
    DrawPictrue(ElementPos[3].row, ElementPos[3].column, 3, DRAW_STATIC);

  Font* f = GetUserFontPointer();
  const bool zoom = para_.timeBaseType == 1;
  if (zoom) DrawPictrue(1, 61, 11, DRAW_STATIC);
  char label[24], text[32];
  if (para_.independent) {
    SelectFont(f, 3);
    for (int ch = 0; ch < 2; ++ch) {
      TimeBaseLabel(info.horizontal[ch].realTimeBase, label, sizeof label);
      std::snprintf(text, sizeof text, "%s ", label);
      DrawCentredAscii(ch ? 13 : 0, 145, text, GetChannelColor(short(ch)), DRAW_STATIC);
    }
  } else {
    SelectFont(f, 1);
    const HorizontalBlock& h = info.horizontal[0];
    TimeBaseLabel(zoom ? h.zoomTimeBase : h.realTimeBase, label, sizeof label);
    std::snprintf(text, sizeof text, "%s ", label);
    DrawCentredAscii(9, 145, text, kText, DRAW_STATIC);
  }

  SelectFont(f, 0);
  double points = 0;
  if (SysRunStatus.GetMemDepth(&points) == 0)
    std::snprintf(text, sizeof text, "%s pts", "Auto");
  else
    DepthText(points, text, sizeof text);
  DrawCentredAscii(0, 242, text, kText, DRAW_STATIC);
  FloatElement e{};
  UnitConvert.FreqUnitConvert(info.horizontal[0].sampleRate, &e);
  const int prefix = std::clamp(e.unit - kFHz, 0, 3);
  std::snprintf(text, sizeof text, "%.1lf%sSa/s", e.mantissa, kFreqPrefix[prefix]);
  DrawCentredAscii(15, 242, text, kText, DRAW_STATIC);
}

void qel_draw::DisplayPreTrig() {
  SelectFont(GetUserFontPointer(), 1);
  FloatElement e{};
  UnitConvert.TUnitConvert(Info().horizontal[0].offsetTime, &e);
  char text[32];
  std::snprintf(text, sizeof text, "%.2lf%s", e.mantissa, TimeUnitText(e.unit));
  DrawCentredAscii(9, 545, text, kText, DRAW_STATIC);
  if (para_.fftMode == 2 || SysRunStatus.IsRollEnable()) return;
  for (int ch = 0; ch < (para_.independent ? 2 : 1); ++ch) {
    const ArrowPlace& a = preTrig_[ch];
    if (a.picture[a.variant] >= 0) DrawPictrue(a.row, a.column, a.picture[a.variant], DRAW_STATIC);
  }
}

void qel_draw::DisplayTrigger() {
  const _SysRunInfo& info = Info();
  SelectFont(GetUserFontPointer(), 1);
  const int type = std::clamp<int>(info.trigType, 0, 16);
  const int src = info.trigSource;
  if (src >= 0 && src <= 5) DrawPictrue(11, 610, 67 + src, DRAW_STATIC);

  // The type's mark: edge slope, pulse polarity, slope direction or video.
  int glyph = -1;
  if (type == 0) glyph = 1 + std::clamp<int>(info.slope, 0, 2);
  if (type == 1) glyph = info.slope ? 10 : 9;
  if (type == 2) glyph = 13;
  if (type == 3) glyph = info.slope ? 12 : 11;
  int col = 633;
  if (glyph >= 0) col = DrawIco(5, col, glyph, kText, DRAW_STATIC) + 2;

  char text[96];
  int n = std::snprintf(text, sizeof text, "%s %s %s", kTrigShortName[type],
                        kCouplingLabel[std::clamp<int>(info.trigCoupling, 0, 4)],
                        kSweepLabel[std::clamp<int>(info.trigMode, 0, 2)]);
  if (src == 0 || src == 1) {
    const TrigLevelVoltage& lv = info.levelVoltage[src];
    const int unit = info.vertical[src].unit;
    const bool two = type >= 3 && type <= 5;
    // A single-level type shows the one level the comparator is given, the
    // level its line marks; the two-level types show both.
    const int first = two ? 0 : Trigger.GetTrigLevel(), last = two ? 1 : first;
    for (int i = first; i <= last && n > 0 && size_t(n) < sizeof text; ++i)
      n += std::snprintf(text + n, sizeof text - size_t(n), two ? " %.2lf%s" : ": %.2lf%s",
                         lv.levelText[i].mantissa, VoltUnitText(unit, lv.levelText[i]));
    if (type == 3)
      std::snprintf(statusText_, sizeof statusText_, "SlewRate: %3.3f %s/%s",
                    info.slewRateText[0].mantissa, VoltUnitText(unit, info.slewRateText[0].unit), "s");
  }
  DrawString(9, col, text, kText, DRAW_STATIC);
}

void qel_draw::DisplayChInfo() {
  const _SysRunInfo& info = Info();
  SelectFont(GetUserFontPointer(), 1);
  const int active = SysRunStatus.GetActivCh();
  char text[48];
  for (int ch = 0; ch < 2; ++ch) {
    const VerticalBlock& v = info.vertical[ch];
    const int base = ch ? 202 : 29;
    if ((v.invert & 0xFF) == 1)
      DrawIco(451, ch ? 181 : 6, 7, active == ch ? 0 : GetChannelColor(short(ch)), DRAW_STATIC);
    if (!(para_.chStatus & (1 << ch))) {
      DrawString(455, base + 54, "OFF", kText, DRAW_STATIC);
      continue;
    }
    int col = DrawIco(451, base, 4 + std::clamp<int>(v.coupling, 0, 2), kText, DRAW_STATIC) + 2;
    FloatElement e{};
    UnitConvert.VUnitConvert(ShownVdiv(v, SysRunStatus.GetAcquireStatus(para_.independent ? ch : 0)),
                             &e);
    std::snprintf(text, sizeof text, "%.2f%s", e.mantissa, VoltUnitText(v.unit, e));
    col = DrawString(455, col, text, kText, DRAW_STATIC) + 6;
    if (v.probe >= kProbeCustom)
      std::snprintf(text, sizeof text, "%3.3fX", double(v.customProbeRatio));
    else
      std::snprintf(text, sizeof text, "%s", ChProbe[v.probe]);
    col = DrawString(455, col, text, kText, DRAW_STATIC) + 6;
    if (v.vernierOn) col = DrawPictrue(458, col, 10, DRAW_STATIC) + 2;
    if (v.bwLimit) DrawPictrue(458, col, 9, DRAW_STATIC);
  }

  if (MathOn()) {
    char math[kMathText + 1];
    std::memcpy(math, info.mathVoltage, kMathText);
    math[kMathText] = 0;
    DrawString(455, 380, math, kText, DRAW_STATIC);
  } else {
    DrawString(455, 509, "OFF", kText, DRAW_STATIC);
  }

  char label[24];
  if (para_.independent) {
    int col = 33;
    for (int ch = 0; ch < 2; ++ch) {
      TimeBaseLabel(info.horizontal[ch].realTimeBase, label, sizeof label);
      std::snprintf(text, sizeof text, ch ? "M2: %s" : "M1: %s", label);
      col = DrawString(433, col, text, GetChannelColor(short(ch)), DRAW_STATIC) + 20;
    }
  }

  // Shown reference waves, one line each upward from row 435.
  static const char* const kRefName[4] = {"REFA", "REFB", "REFC", "REFD"};
  int row = 435;
  for (int r = 0; r < 4; ++r) {
    const int slot = 8 + r;
    if (!(para_.chStatus & (1 << slot))) continue;
    TimeBaseLabel(info.horizontal[slot].realTimeBase, label, sizeof label);
    FloatElement e{};
    UnitConvert.VUnitConvert(info.vertical[slot].vdivShown, &e);
    std::snprintf(text, sizeof text, "%s: %s %.2f%s", kRefName[r], label, e.mantissa,
                  VoltUnitText(info.vertical[slot].unit, e.unit));
    int colour = kText;
    if (active == slot) {
      FillRect(row + 4, 480, Stringlen(0, text) + 6, 15, kFocused, DRAW_STATIC);
      colour = 0;
    }
    DrawString(row, 483, text, colour, DRAW_STATIC);
    row -= 16;
  }
  DrawChannelMarkers();
}

void qel_draw::DisplayWaveIndicator() {
  const HorizontalBlock& h = Info().horizontal[0];
  constexpr int kLeft = 281, kSpan = 192, kWhite = 0xFFFFFF;
  const int left = std::clamp<int>(h.indicatorLeft, 0, kSpan);
  const int right = std::clamp<int>(h.indicatorRight, left, kSpan);
  const int trig = std::clamp<int>(h.indicatorTrigger, 0, kSpan);
  DrawIco(4, kLeft + left, 15, kWhite, DRAW_STATIC);
  DrawIco(4, kLeft + right, 14, kWhite, DRAW_STATIC);
  DrawLine(23, kLeft + left, 23, kLeft + right, kWhite, DRAW_STATIC);
  DrawIco(13, kLeft + trig, trig >= left && trig <= right ? 16 : 17, kWhite, DRAW_STATIC);
}

void qel_draw::DrawAcqStatus() {
  int ch = 0;
  const int active = SysRunStatus.GetActivCh();
  if (para_.independent && (active == 0 || active == 1)) ch = active;
  static const int kPicture[9] = {12, 13, 18, 15, 17, 16, 12, 12, 15};
  const int status = SysRunStatus.GetAcquireStatus(ch);
  const bool anyOn = (SysRunStatus.GetChStatus() & 0x3) != 0;
  DrawPictrue(3, 4, anyOn && status >= 0 && status <= 8 ? kPicture[status] : 12, DRAW_CURRENT);
  if (!para_.independent) return;
  DrawPictrue(2, 62, ch ? 23 : 22, DRAW_CURRENT);
  DrawPictrue(2, 481, ch ? 27 : 26, DRAW_CURRENT);
}

void qel_draw::DrawFreqResult() {
  SelectFont(GetUserFontPointer(), 1);
  DrawPictrue(384, 550, 120, DRAW_CURRENT);
  DrawCentredAscii(384, 610, "Freq", kText, DRAW_CURRENT);
  // The counter of the trigger source (CH1's for a source without one), the
  // one the counter measures and its query reads.
  const int src = SysRunStatus.GetTrigSource();
  DrawCentredAscii(402, 610, SysRunStatus.GetCymometerResult(src == 1 ? 1 : 0), kText, DRAW_CURRENT);
}

void qel_draw::DrawTemperature() {
  SelectFont(GetUserFontPointer(), 1);
  char text[80];
  if (SysRunStatus.IsDebugMsgOn())
    std::snprintf(text, sizeof text, "SelfCaliTemp :  %.3f   Temp : %.3f",
                  double(SysRunStatus.GetSelfCaliTemperature()), double(SysRunStatus.GetTemperature()));
  else
    std::snprintf(text, sizeof text, " Temp : %.3f", double(SysRunStatus.GetTemperature()));
  DrawString(36, 40, text, kText, DRAW_CURRENT);
}

namespace {
// The zoom window's brackets on the main strip: rows kMarkTop to kMarkBottom + 1,
// ticks kMarkTick columns inwards.
constexpr int kMarkTop = 40, kMarkBottom = 146, kMarkTick = 5, kMarkGrey = 0x616161;
}  // namespace

qel_draw::ZoomMark qel_draw::ZoomMarkNow() const {
  const HorizontalBlock& h = Info().horizontal[0];
  const int64_t start = std::clamp<int64_t>(h.zoomScreenFirst, 0, 700);
  const int64_t end = std::clamp<int64_t>(h.zoomScreenLast, start, 700);
  ZoomMark mark;
  mark.left = int(std::clamp<int64_t>(30 + start, 30, 730));
  mark.right = int(std::clamp<int64_t>(mark.left + (end - start), 30, 730));
  return mark;
}

void qel_draw::AddZoomMark(RowSpans* spans, const ZoomMark& mark) {
  if (mark.left < 0) return;
  spans->AddRows(kMarkTop, kMarkBottom + 2, mark.left, mark.left + kMarkTick + 1);
  spans->AddRows(kMarkTop, kMarkBottom + 2, mark.right - kMarkTick + 1, mark.right + 1);
}

void qel_draw::DrawZoomIndicator() {
  const int x = frameMark_.left, x2 = frameMark_.right;
  // On the page being composed the marks are kept untracked, not restored
  // each frame: the two brackets' rows would take the strip between them.
  const int p = currentPage_.load();
  const bool keep = Surface(DRAW_CURRENT) == Page(p) && !fullFrames_;
  if (keep) TrackWrites(p, nullptr, nullptr);
  DrawLine(kMarkTop, x, kMarkBottom + 1, x, kMarkGrey, DRAW_CURRENT);
  DrawLine(kMarkTop, x, kMarkTop, x + kMarkTick, kMarkGrey, DRAW_CURRENT);
  DrawLine(kMarkBottom, x, kMarkBottom, x + kMarkTick, kMarkGrey, DRAW_CURRENT);
  DrawLine(kMarkTop, x2, kMarkBottom + 1, x2, kMarkGrey, DRAW_CURRENT);
  DrawLine(kMarkTop, x2 - kMarkTick + 1, kMarkTop, x2, kMarkGrey, DRAW_CURRENT);
  DrawLine(kMarkBottom, x2 - kMarkTick + 1, kMarkBottom, x2, kMarkGrey, DRAW_CURRENT);
  if (keep) {
    TrackWrites(p, Page(p), &drawn_[p]);
    pageMark_[p] = frameMark_;
  }
}

void qel_draw::DisplayMsgTxt() const { std::printf("MsgTxt --> %s \n", statusText_); }
