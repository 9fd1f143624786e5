// The simulated FPGA's bus-decode records: what its bus decoder reads of the
// lines of the last acquisition (sim_bus_decoder.h), as 16-byte records.
#include <algorithm>
#include <cmath>

#include "platform/sim/bus/sim_bus_decoder.h"
#include "platform/sim/bus/sim_bus_decode.h"
#include "platform/sim/fpga/sim_decode_trigger.h"

namespace plat {

namespace {
constexpr int kScreenColumns = 700;
constexpr size_t kRecordBytes = 16, kBlockBytes = 32;
constexpr size_t kMaxRecords = 1 << 16;  // what one read may carry
constexpr uint8_t kMarker[3] = {0xAA, 0xA5, 0x5A};

void Be32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

int32_t Count(double samples) {
  const double r = std::floor(samples + 0.5);
  return int32_t(std::max(-2147483648.0, std::min(2147483647.0, r)));
}
}  // namespace

void SimBusDecodeRecords(const SimAcquisition& a, double readAddress, double countNs, std::vector<uint8_t>* out) {
  const size_t first = out->size();
  const SimTriggerCondition& c = a.set.trigCondition;
  const SimBusLines& bus = c.busLines;
  const double end = readAddress + kScreenColumns * a.SamplesPerColumn(0);
  // The decoder runs on the samples of the lines' channels from the record's
  // start (or the window's, when that lies before it), but at most a window's
  // length before the window, and on past the window as far again, so frames
  // the window's edges cut are whole.
  const double window = end - readAddress;
  const double recordStart = double(kRecordCentre) - double(a.set.depth) / 2;
  const double from = std::floor(std::max(std::min(recordStart, readAddress), readAddress - window));
  const double to = end + window;
  const double ts = a.set.samplePeriodNs * 1e-9;
  if (bus.kind >= 0 && ts > 0 && to > from) {
    double threshold[2];
    for (int ch = 0; ch < 2; ++ch) {
      // The source's comparator level as a sample code.
      const SimChannelSetting& s = a.set.ch[ch];
      const double mean = SignalMean(a.sig[ch]);
      const double volts = c.levelV[ch][0] + (c.acLevels ? mean : 0.0) - (s.coupling == 1 ? mean : 0.0);
      threshold[ch] = s.zeroCode + volts * 25.0 / (s.voltsPerDiv > 0 ? s.voltsPerDiv : 1.0);
    }
    SimLineSamples lines;
    lines.t0 = 0;
    lines.step = ts;
    lines.samples = int64_t(to - from);
    lines.high = [&](int input, int64_t k) { return a.Code(input, from + double(k)) > threshold[input & 1]; };
    SimDecoded d;
    SimDecodeBusLines(bus, lines, kMaxRecords, &d);
    const double perCount = countNs > 0 ? a.set.samplePeriodNs / countNs : 1.0;
    for (const SimDecodedEvent& e : d.events) {
      const double start = from + e.start / ts, stop = from + e.end / ts;
      if (stop < readAddress || start >= end) continue;
      uint8_t r[kRecordBytes];
      std::copy(kMarker, kMarker + 3, r);
      r[3] = e.code;
      Be32(r + 4, uint32_t(Count((start - readAddress) * perCount)));
      Be32(r + 8, e.data);
      Be32(r + 12, uint32_t(Count((stop - readAddress) * perCount)));
      out->insert(out->end(), r, r + kRecordBytes);
    }
  }
  // Whole blocks: a record of zeros (a bad marker, dropped by the reader) fills the last.
  if ((out->size() - first) % kBlockBytes) out->resize(out->size() + kRecordBytes, 0);
}

double SimBusCountNs(const SimTriggerSettings& t) {
  constexpr int kSpiBus = 2, kBitTimeNs = 10, kIdleUnitNs = 4;
  if (t.busKind < 0 || t.samplesPerBit <= 0) return 0;
  if (t.busKind == kSpiBus) return t.perBitWord ? double(t.bitTimeWord) * kIdleUnitNs / t.perBitWord : 0;
  return t.bitTime * kBitTimeNs / t.samplesPerBit;
}

}  // namespace plat
