// The :WAVeform read-out settings and the data, preamble, origin, increment
// and reference queries.
#include "ui/readout/wave_scpi.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "acquisition/tables/voltage_tables.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"

WaveFormat WaveFormatPara;

namespace {
enum Mode { kNormal = 0, kRaw = 1 };
enum Source { kCh1 = 0, kCh2 = 1, kMath = 2 };
enum Format { kWord = 0, kByte = 1, kAscii = 2 };
constexpr int kNormalMax = _wave::kTraceBytes, kRawMax = _wave::kRecordPoints;
constexpr int kMathSlot = 5, kMathVertical = 5;
constexpr int kColumns = _wave::kColumns;
// The centre code: the y reference of the preamble and the zero of the ASCII
// data, so volts from the preamble are the volts of the instrument's own data.
constexpr int kCentre = 127;
constexpr double kCodesPerDiv = 25.0, kPointsPerDiv = 50.0, kLeftDivs = 7.0;
constexpr int kAcqHighRes = 2, kAcqAverage = 3;
constexpr int kTypeHighRes = 4, kTypeAverage = 2;

const scpipara kModes[] = {{"NORMal", kNormal}, {"RAW", kRaw}, {"", -1}};
const scpipara kSources[] = {{"CHANnel1", kCh1}, {"CHANnel2", kCh2}, {"MATH", kMath}, {"", -1}};
const scpipara kFormats[] = {{"WORD", kWord}, {"BYTE", kByte}, {"ASCII", kAscii}, {"", -1}};
const char kModeTexts[][10] = {"NORMal", "RAW"};
const char kSourceTexts[][10] = {"CHANnel1", "CHANnel2", "MATH"};
const char kFormatTexts[][10] = {"WORD", "BYTE", "ASCII"};
// The preamble's format codes, by the internal format.
constexpr int kPreambleFormat[] = {1, 0, 2};

WaveFormat& W() { return WaveFormatPara; }
_SysRunInfoOp& Run() { return *SystemResource.runStatus; }
void AnswerNumber(long long v) {
  char text[24];
  std::snprintf(text, sizeof text, "%lld", v);
  ScpiAnswer(text);
}

// The leading decimal integer of the text, 0 when there is none, limited to int.
int Number(const char* p) {
  errno = 0;
  const long v = std::strtol(p, nullptr, 10);
  return int(std::clamp<long>(v, INT_MIN, INT_MAX));
}

// The vertical source of the read-out source (math has its own block).
int VerticalOf(int source) { return source == kMath ? kMathVertical : source; }
// Volts per division at the probe tip: the range in force times the probe
// (and the fine step), as CHANnel<n>:SCALe? answers.
double VoltsPerDiv(int source) {
  const double volts = Vertical.GetRealYDivVoltage(VerticalOf(source));
  if (volts > 0) return volts;
  const int i = Vertical.GetRealYsensitivity(VerticalOf(source));
  return i >= 0 && i < kVoltageEntries ? double(Voltage[i]) : 0.0;
}
int PositionCode(int source) { return Vertical.GetRealYposition(VerticalOf(source)); }

// The time base the source runs on: in multi-scope CH2 has its own block.
int BlockOf(int source) { return source == 1 && Run().IsIndependTimeBase() ? 1 : 0; }
// The time base of the trace shown: a kept record is re-read at the one in
// force, a running screen shows the last acquisition's.
double DivSeconds(int block) {
  const bool kept = KeptRecordStatus(Run().GetAcquireStatus(block));
  return TimeBase.GetTimeBaseDivTime(kept ? TimeBase.GetRealTimeBase(block) : TimeBase.GetTimeBase(block));
}
double SampleRate(int block) { return TimeBase.GetCurrTimeBaseSample(block); }

// With the zoom window shown the NORMal trace is the zoom pane's: its time
// base, centred the window offset after the main screen's centre.
bool Zoomed() { return W().mode == kNormal && W().source != kMath && Run().GetTimeBaseType() == 1; }
double ZoomDivSeconds() { return TimeBase.GetTimeBaseDivTime(TimeBase.GetZoomTimeBase(0)); }

double XIncrement() {
  const int block = BlockOf(W().source);
  if (W().mode == kRaw) {
    const double rate = SampleRate(block);
    return rate > 0 ? 1.0 / rate : 0.0;
  }
  return (Zoomed() ? ZoomDivSeconds() : DivSeconds(block)) / kPointsPerDiv;
}

double XOrigin() {
  const int block = BlockOf(W().source);
  if (W().mode == kRaw) {
    const double rate = SampleRate(block);
    return rate > 0 ? -(double(WaveRecordDepth()) / rate) / 2 : 0.0;
  }
  if (Zoomed()) {
    const double div = ZoomDivSeconds();
    const double offset = div / kPointsPerDiv * double(TimeBase.GetZoomMovePos(0));
    return TimeBase.GetRealPreTrigTime(0) + offset - kLeftDivs * div;
  }
  return TimeBase.GetRealPreTrigTime(block) - kLeftDivs * DivSeconds(block);
}

double YIncrement() { return VoltsPerDiv(W().source) / kCodesPerDiv; }

// Position setters: NORMal indexes the 1400-byte trace, RAW the 7000-sample
// record; below 0 is 0 (STOP keeps -1, the whole record).
int Limit(int v, int lowest) { return std::clamp(v, lowest, W().mode == kRaw ? kRawMax : kNormalMax); }

// The samples of the DATA? block; false when there are none to send.
bool Samples(std::vector<uint8_t>* out) {
  WaveFormat& w = W();
  if (w.source == kMath || w.mode == kNormal) {
    uint8_t trace[_wave::kTraceBytes] = {};
    if (w.source == kMath) {
      std::lock_guard<std::recursive_mutex> lock(WaveOp.ReadLock());
      std::memcpy(trace, WaveOp.GetSerrenMem(kMathSlot), sizeof trace);
    } else {
      // The main loop makes the traces every pass in every wave type (every
      // acquisition, every roll frame): the last one, copied under the
      // engine's lock.
      WaveOp.ScreenWaveExport(w.source, trace);
    }
    out->assign(trace, trace + kColumns);  // the column maxima
    return true;
  }
  if (w.start == -1) {
    std::printf("\n --------DDR data read end");
    return false;
  }
  int64_t size = 0;
  const uint8_t* record = WaveRawRecord(&size);
  if (!record) return false;
  const int64_t stop = w.stop < 0 ? size : std::min<int64_t>(w.stop, size);
  const int64_t start = std::max(0, w.start);
  const int64_t points = uint16_t(w.points);
  if (stop <= start || points == 0) {
    // An empty window (STOP before STARt, no POINts) ends the read: an empty
    // block, and STARt? answers -1 as after the last block.
    out->clear();
    w.start = -1;
    return true;
  }
  int64_t end = start + points;
  if (end < stop) {
    w.start = int32_t(end);
  } else {
    end = stop;
    w.start = -1;
  }
  out->assign(record + start, record + end);
  return true;
}

// Formats the samples as the FORMat asks.
void Format(const std::vector<uint8_t>& s, std::vector<char>* out) {
  switch (W().format) {
    case kWord:
      out->resize(s.size() * 2);
      for (size_t i = 0; i < s.size(); ++i) {
        (*out)[2 * i] = char(s[i]);
        (*out)[2 * i + 1] = 0;
      }
      return;
    case kAscii: {
      // The preamble's volts, (code - yref - yorg) x yinc: counted from the
      // channel's position code.
      const double scale = YIncrement();
      const int zero = PositionCode(W().source);
      out->clear();
      out->reserve(s.size() * 14);
      char field[32];
      for (size_t i = 0; i < s.size(); ++i) {
        const int n = std::snprintf(field, sizeof field, i ? ",%e" : "%e", (s[i] - zero) * scale);
        out->insert(out->end(), field, field + n);
      }
      return;
    }
    default:
      out->assign(s.begin(), s.end());
  }
}
}  // namespace

void Scpi_Waveform_Mode(scpi_para*, char* p) {
  const int v = ScpiKeyword(kModes, p);
  if (v < 0) return;
  W().mode = v;
  W().start = 0;
  WaveReleaseRawRecord();
  if (v != kRaw) return;
  if (WaveRecordDepth() <= kRawMax)
    WaveReadShortRecord(W().source);
  else
    Get_wave_ddr_Data(W().source);
}

void Scpi_Waveform_ModeAsk(scpi_para*, char*) { ScpiAnswer(kModeTexts[W().mode == kRaw]); }

void Scpi_Waveform_Format(scpi_para*, char* p) {
  const int v = ScpiKeyword(kFormats, p);
  if (v < 0) return;
  W().format = v;
  Run().SetDrawRefresh();
}

void Scpi_Waveform_FormatAsk(scpi_para*, char*) { ScpiAnswer(kFormatTexts[std::clamp(W().format, 0, 2)]); }

void Scpi_Waveform_Start(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  W().start = Limit(Number(p), 0);
  std::printf("start = %d\n", W().start);
}

void Scpi_Waveform_StartAsk(scpi_para*, char*) { AnswerNumber(W().start); }

void Scpi_Waveform_Stop(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  W().stop = Limit(Number(p), -1);
  std::printf("@@@stop = %d\n", W().stop);
}

void Scpi_Waveform_StopAsk(scpi_para*, char*) { AnswerNumber(W().stop); }

void Scpi_Waveform_Source(scpi_para*, char* p) {
  const int v = ScpiKeyword(kSources, p);
  if (v >= 0) W().source = v;
}

void Scpi_Waveform_SourceAsk(scpi_para*, char*) { ScpiAnswer(kSourceTexts[std::clamp(W().source, 0, 2)]); }

void Scpi_Waveform_Points(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  W().points = uint16_t(Number(p));
  std::printf("points = %d\n", W().points);
}

void Scpi_Waveform_PointsAsk(scpi_para*, char*) { AnswerNumber(W().points); }

void Scpi_Waveform_DataAsk(scpi_para*, char*) {
  try {
    std::vector<uint8_t> samples;
    if (!Samples(&samples)) return;
    std::vector<char> block;
    Format(samples, &block);
    static const char kEmpty = 0;
    SystemResource.scpiEngine->WriteResponseDataRaw(block.empty() ? &kEmpty : block.data(), int(block.size()));
  } catch (const std::bad_alloc&) {
    std::printf("\n mallac DataBuff is fail-------");
  }
}

void Scpi_Waveform_PreambleAsk(scpi_para*, char*) {
  const int mode = Run().GetAcquireMode();
  const int type = mode == kAcqHighRes ? kTypeHighRes : mode == kAcqAverage ? kTypeAverage : mode;
  int count = 1;
  int index = 0;
  // The average index counts from 2 acquisitions, doubling each step.
  if (mode == kAcqAverage && Run().GetAcquireAverage(&index) >= 0) count = 2 << std::clamp(index, 0, 12);
  const int points = W().mode == kRaw ? W().points : kColumns;
  char text[256];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d,%-13.6e,%-13.6e,0,%-13.6e,%-13.6e,%d",
                kPreambleFormat[std::clamp(W().format, 0, 2)], type, points, count, XIncrement(), XOrigin(),
                YIncrement(), double(PositionCode(W().source) - kCentre), kCentre);
  ScpiAnswer(text);
}

void Scpi_Waveform_XIncrementAsk(scpi_para*, char*) { ScpiAnswerReal(XIncrement()); }
void Scpi_Waveform_XOriginAsk(scpi_para*, char*) { ScpiAnswerReal(XOrigin()); }
void Scpi_Waveform_XReferenceAsk(scpi_para*, char*) { ScpiAnswer("0"); }
void Scpi_Waveform_YIncrementAsk(scpi_para*, char*) { ScpiAnswerReal(YIncrement()); }
void Scpi_Waveform_YOriginAsk(scpi_para*, char*) { AnswerNumber(PositionCode(W().source) - kCentre); }
void Scpi_Waveform_YReferenceAsk(scpi_para*, char*) { AnswerNumber(kCentre); }
