// The cursor module's SCPI commands: the CURSOR key and its lock, the mode,
// type and source, the line positions and the readings. Handlers run on the
// SCPI worker beside the main loop; each change of the cursor record is one
// copy-change-store under the record's lock.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "analysis/cursor/cursor_draw.h"
#include "analysis/cursor/cursor_values.h"
#include "analysis/cursor/task_cursor_internal.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi_kit.h"

namespace {
using namespace cursor_module;

constexpr int kTypeClose = 2;
// Position parameters beyond this are clamped by the line ranges anyway.
constexpr long kPositionLimit = 100000;
// The amplitude positions run from 28 (bottom row) to 228 (top row).
constexpr int kAmpCodeBottom = 28, kAmpRowsPerCode = 2;
constexpr int kXYTimeRange[2] = {35, 725}, kXYXRange[2] = {35, 305}, kXYYRange[2] = {170, 440};
constexpr int kXYYOrigin = 165;

const scpipara kModes[] = {{"INDependent", 0}, {"TRACK", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kTypes[] = {{"TIME", 0}, {"X", 0}, {"0", 0}, {"AMPlitude", 1}, {"Y", 1}, {"1", 1}, {"CLOSe", 2}, {"", -1}};
const scpipara kSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"MATH", 2}, {"", -1}};
const char* const kModeTexts[] = {"INDependent", "TRACK"};
const char* const kTypeTexts[] = {"TIME", "AMPlitude"};
const char* const kSourceTexts[] = {"CHANnel1", "CHANnel2", "MATH"};

using CursorKeys = ScpiKeyTrio<kKeyCursor, kKeyCursor>;

bool XY() { return Run().GetDiplayFormat() != 0; }
void Refresh() { Run().SetDrawRefresh(); }

void SetItemAndRun(int item, int value, int (*handler)(keypara)) {
  M().SetMenuItem(item, uint64_t(value));
  handler(kNoKey);
  Refresh();
}

void Mode(scpi_para*, char* p) {
  const int v = ScpiKeyword(kModes, p);
  if (v >= 0) SetItemAndRun(XY() ? kCurModeXY : kCurMode, v, Cursor_Mode);
}

void ModeAsk(scpi_para*, char*) { ScpiAnswer(kModeTexts[Item(XY() ? kCurModeXY : kCurMode) ? 1 : 0]); }

void Type(scpi_para*, char* p) {
  const int v = ScpiKeyword(kTypes, p);
  if (v < 0) return;
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  TaskCursor.CheckDisplayFormat();
  if (v == kTypeClose) {
    SetItemAndRun(kCurEnable, 0, Cursor_Enable);
    SetItemAndRun(kCurEnableXY, 0, Cursor_Enable);
    return;
  }
  const bool xy = XY();
  SetItemAndRun(xy ? kCurTypeXY : kCurType, v, Cursor_Type);
  const int enable = xy ? kCurEnableXY : kCurEnable;
  if (Item(enable) == 0) SetItemAndRun(enable, 1, Cursor_Enable);
}

void TypeAsk(scpi_para*, char*) {
  const bool xy = XY();
  if (Item(xy ? kCurEnableXY : kCurEnable) == 0) {
    ScpiAnswer("CLOSe");
    return;
  }
  ScpiAnswer(kTypeTexts[Item(xy ? kCurTypeXY : kCurType) ? 1 : 0]);
}

void Source(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  std::printf("Run Func:  Cursor_Source()   para = %s \n", p);
  const int v = ScpiMatchOrRefuse(kSources, p);
  if (v < 0) return;
  SetItemAndRun(kCurSource, v, Cursor_Source);
  std::printf("Result = %d\n", Item(kCurSource));
}

void SourceAsk(scpi_para*, char*) {
  const int v = Item(kCurSource);
  if (v >= 0 && v < 3) ScpiAnswer(kSourceTexts[v]);
}

// ---- positions ----

// The decimal parameter, limited so the position arithmetic cannot
// overflow; false, the command refused, when it is not a number.
bool Position(const char* p, int* n) {
  if (ScpiMissing(p)) return false;
  bool ok = false;
  const long v = ScpiLong(p, &ok);  // "1e4" read whole
  if (ScpiRefuseIf(!ok)) return false;
  *n = int(std::clamp(v, -kPositionLimit, kPositionLimit));
  std::printf("value = %d\n", *n);
  return true;
}

int Clamp(int v, const int range[2]) { return std::clamp(v, range[0], range[1]); }

void SetLine(int line, char* p) {
  int n = 0;
  if (!Position(p, &n)) return;
  std::lock_guard<std::recursive_mutex> lock(CursorDraw.Lock());
  CursorData d = CursorDraw.GetCursorData();
  if (!XY()) {
    if (Item(kCurType) == 0) {
      const int x = std::clamp(n + cursor::kAreaLeft, cursor::kAreaLeft, cursor::kAreaRight);
      (line == 0 ? d.AX : d.BX) = x;
    } else {
      const int y = std::clamp((kAmpCodeBottom - n) * kAmpRowsPerCode + cursor::kAreaBottom, cursor::kAreaTop,
                               cursor::kAreaBottom);
      (line == 0 ? d.AY : d.BY) = y;
    }
  } else if (Item(kCurTypeXY) == 0) {
    (line == 0 ? d.xyTA : d.xyTB) = int16_t(Clamp(n + cursor::kAreaLeft, kXYTimeRange));
  } else if (Item(kCurSourceXY) == 0) {
    (line == 0 ? d.xyXA : d.xyXB) = Clamp(n + cursor::kAreaLeft, kXYXRange);
  } else {
    (line == 0 ? d.xyYA : d.xyYB) = Clamp(n + kXYYOrigin, kXYYRange);
  }
  CursorDraw.SetCursorData(&d);
  Refresh();
}

void LineAsk(int line) {
  const CursorData d = CursorDraw.GetCursorData();
  int v = 0;
  if (!XY()) {
    if (Item(kCurType) == 0) v = (line == 0 ? d.AX : d.BX) - cursor::kAreaLeft;
    else v = (cursor::kAreaBottom - (line == 0 ? d.AY : d.BY)) / kAmpRowsPerCode + kAmpCodeBottom;
  } else if (Item(kCurTypeXY) == 0) {
    v = (line == 0 ? d.xyTA : d.xyTB) - cursor::kAreaLeft;
  } else if (Item(kCurSourceXY) == 0) {
    v = (line == 0 ? d.xyXA : d.xyXB) - cursor::kAreaLeft;
  } else {
    v = (line == 0 ? d.xyYA : d.xyYB) - kXYYOrigin;
  }
  ScpiAnswerNumber(v);
}

template <int Line>
void CurrSet(scpi_para*, char* p) {
  SetLine(Line, p);
}
template <int Line>
void CurrAsk(scpi_para*, char*) {
  LineAsk(Line);
}

// ---- readings ----

// The six readings tA, tB, tB - tA, vA, vB, vB - vA; zeros in XY or with
// the source off.
void Readings(double out[6]) {
  for (int i = 0; i < 6; ++i) out[i] = 0;
  const CursorData d = CursorDraw.GetCursorData();
  if (XY() || !cursor::SourceOn(d.source)) return;
  if (Item(kCurType) == 0) {
    const double spd = cursor::SecondsPerDiv(), vpd = cursor::VoltsPerDiv(d.source);
    out[0] = cursor::TimeAt(d.AX, spd);
    out[1] = cursor::TimeAt(d.BX, spd);
    out[3] = cursor::CodeVolts(CursorDraw.ScreenValue(d.AX), vpd);
    out[4] = cursor::CodeVolts(CursorDraw.ScreenValue(d.BX), vpd);
  } else {
    const cursor::AmpScale s = cursor::AmplitudeScale(d.source);
    const double vpd = cursor::VoltsPerDiv(d.source);
    out[3] = cursor::AmpAt(d.AY, s, vpd);
    out[4] = cursor::AmpAt(d.BY, s, vpd);
  }
  out[2] = out[1] - out[0];
  out[5] = out[4] - out[3];
}

void AnswerValue(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%e", v);
  ScpiAnswer(text);
}

template <int Index>
void ValueAsk(scpi_para*, char*) {
  double r[6];
  Readings(r);
  if (Index >= 3) std::printf("value = %lf\n", r[Index]);
  AnswerValue(r[Index]);
}

void AllValue(scpi_para*, char*) {
  double r[6];
  Readings(r);
  char text[160];
  int used = 0;
  for (double v : r) used += std::snprintf(text + used, sizeof text - size_t(used), "%e,", v);
  std::snprintf(text + used, sizeof text - size_t(used), "%d", XY() ? 0 : 1);
  ScpiAnswer(text);
}
}  // namespace

template <>
const char* CursorKeys::name = "Cursor";

instr TaskCursorInstrStandard[] = {
    SCPI_KEY_ROWS("KEY:CURSor", CursorKeys),
    {"CURSor:MODE", Mode},
    {"CURSor:MODE?", ModeAsk},
    {"CURSor:TYPE", Type},
    {"CURSor:TYPE?", TypeAsk},
    {"CURSor:SOURce", Source},
    {"CURSor:SOURce?", SourceAsk},
    {"CURSor:CURA", CurrSet<0>},
    {"CURSor:CURB", CurrSet<1>},
    {"CURSor:CURA?", CurrAsk<0>},
    {"CURSor:CURB?", CurrAsk<1>},
    {"CURSor:AXValue?", ValueAsk<0>},
    {"CURSor:BXValue?", ValueAsk<1>},
    {"CURSor:AYValue?", ValueAsk<3>},
    {"CURSor:BYValue?", ValueAsk<4>},
    {"CURSor:MEASure?", AllValue},
    {"", nullptr},
};
