#include "acquisition/system_module/run_image_check.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>

#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/tables/probe_tables.h"
#include "acquisition/tables/timebase_tables.h"
#include "acquisition/tables/voltage_tables.h"
#include "core/state/sys_run_info.h"

namespace {
// Far beyond anything the instrument holds (rates of 1e9, periods of 2e10 ns,
// record positions of 7e7 and trigger offsets of some 1e10 points), and far
// enough below the 64-bit limit that a product with a picosecond count stays
// inside it.
constexpr double kPhysicalLimit = 1e12;
constexpr int64_t kPositionLimit = 1000000000000LL;
constexpr int kLastTrigType = 16, kLastTrigSource = 5, kLastTrigMode = 2, kLastLevelSel = 2;
constexpr int kLastAcqMode = 3, kLastAverage = 12, kLastPrintFormat = 3, kLastMathType = 4,
              kLastFftScreen = 4;
constexpr int kLastCoupling = 2, kLastUnit = 3, kFirstWaveType = 1, kLastWaveType = 3;

bool In(int v, int first, int last) { return v >= first && v <= last; }
bool Finite(double v) { return std::isfinite(v) && std::fabs(v) <= kPhysicalLimit; }
bool AllFinite(std::initializer_list<double> values) {
  for (double v : values)
    if (!Finite(v)) return false;
  return true;
}
bool AllPositions(std::initializer_list<int64_t> values) {
  for (int64_t v : values)
    if (v < -kPositionLimit || v > kPositionLimit) return false;
  return true;
}
bool Element(const FloatElement& e) { return Finite(e.mantissa); }

const char* VerticalFault(const VerticalBlock& v) {
  for (int i : {int(v.vdivIndex), int(v.vdivSelected), int(v.vernierVdiv[0]), int(v.vernierVdiv[1])})
    if (!In(i, 0, kVoltageEntries - 1)) return "volts/div index outside its table";
  if (!In(v.probe, 0, kProbeCustom) || !In(v.probeSelected, 0, kProbeCustom))
    return "probe outside its table";
  if (!In(v.coupling, 0, kLastCoupling) || !In(v.unit, 0, kLastUnit))
    return "coupling or unit outside its table";
  if (!In(v.position, y_system::kPositionMin, y_system::kPositionMax) ||
      !In(v.positionSelected, y_system::kPositionMin, y_system::kPositionMax))
    return "vertical position outside the screen";
  if (!AllFinite({v.baseVdiv, v.probeRatio, v.probeRatioCopy, v.customProbeRatio, v.vernierCoeff,
                  v.baseVdivCopy, v.vdivShown, v.vdivVolts, v.dcOffset, v.offsetVoltage}) ||
      !Element(v.vdivElement) || !Element(v.offsetElement) || !Element(v.dcVoltageElement))
    return "vertical value not a finite number in range";
  return nullptr;
}

const char* HorizontalFault(const HorizontalBlock& h) {
  for (int i : {int(h.timeBase), int(h.realTimeBase), int(h.zoomTimeBase)})
    if (!In(i, 0, kTimeBaseEntries - 1)) return "time base index outside its table";
  if (!AllFinite({h.sampleRate, h.screenPointRate, h.adcBaseRate, h.interpMultiplier, h.samplesPerPoint,
                  h.shownSamplesPerPoint, h.interpFactor, h.divider, h.preDivider, h.zoomFactor,
                  h.zoomMultiplier, h.acqSamplesPerPoint[0], h.acqSamplesPerPoint[1], h.samplePeriodNs,
                  h.offsetTime, h.acqOffsetTime[0], h.acqOffsetTime[1], h.autoDepth, h.zoomRatio}) ||
      !Element(h.offsetTimeText) || h.samplePeriodNs < 0 || h.autoDepth < 0)
    return "time value not a finite number in range";
  if (!AllPositions({h.preTrigSelected, h.preTrigDepth,      h.preTrigReady,      h.preTrigSecond,
                     h.zoomPreTrig,     h.acqPreTrig[0],     h.acqPreTrig[1],     h.recordStart,
                     h.recordEnd,       h.screenStart,       h.screenEnd,         h.displayStart,
                     h.displayEnd,      h.interpStart,       h.interpEnd,         h.zoomRecordStart,
                     h.zoomRecordEnd,   h.zoomScreenFirst,   h.zoomScreenLast,    h.zoomPosition,
                     h.stopMovePos,     h.acqScreenStart[0], h.acqScreenStart[1], h.acqScreenEnd[0],
                     h.acqScreenEnd[1], h.zoomVisibleStart,  h.zoomVisibleEnd,    h.holdOff}))
    return "record position outside the record";
  if (!In(h.pointsToRead, 0, int(x_system::kRecordSamples))) return "point count outside the record";
  return nullptr;
}

const char* SharedFault(const _SysRunInfo& r) {
  if (!In(r.acqMode, 0, kLastAcqMode) || !In(r.memDepthIndex, 0, kMemDepthMaxIndex) ||
      !In(r.averageIndex, 0, kLastAverage) || !In(r.waveType, kFirstWaveType, kLastWaveType))
    return "acquisition setting outside its table";
  if (!In(r.displayFormat, 0, 1) || !In(r.timeBaseType, 0, 1) ||
      !In(r.printScreenFormat, 0, kLastPrintFormat) || !In(r.language, 0, kLanguages - 1) ||
      !In(r.activeCh, -1, kSourceBlocks - 1))
    return "view setting outside its table";
  if (!In(r.trigType, 0, kLastTrigType) || !In(r.trigSource, 0, kLastTrigSource) ||
      !In(r.trigMode, 0, kLastTrigMode) || !In(r.trigLevelSel, 0, kLastLevelSel))
    return "trigger setting outside its table";
  if (!In(r.mathType, 0, kLastMathType) || !In(r.fft.screen, 0, kLastFftScreen) ||
      !In(r.fft.source, 0, 1))
    return "math setting outside its table";
  // Counts of the serial-trigger patterns index their arrays.
  if (!In(r.i2c.dataCount, 0, int(sizeof r.i2c.data)) ||
      !In(r.spi.dataLength, 0, int(std::size(r.spi.data))) ||
      !In(r.can.dataCount, 0, int(sizeof r.can.data)) || !In(r.lin.dataCount, 0, int(sizeof r.lin.data)))
    return "bus pattern count outside its array";
  if (r.rs232.baud < 0 || r.can.baud < 0 || r.lin.baud < 0) return "negative baud rate";
  for (const TrigLevelVoltage& l : r.levelVoltage)
    if (!AllFinite({l.level[0], l.level[1], l.difference}))
      return "trigger level not a finite number in range";
  return nullptr;
}
}  // namespace

const char* RunImageFault(const _SysRunInfo& image) {
  if (const char* fault = SharedFault(image)) return fault;
  for (const VerticalBlock& v : image.vertical)
    if (const char* fault = VerticalFault(v)) return fault;
  for (const HorizontalBlock& h : image.horizontal)
    if (const char* fault = HorizontalFault(h)) return fault;
  return nullptr;
}
