// The simulated FPGA's bus-decode records: the decode events of the traffic
// that lies on the screen of the last acquisition, as 16-byte records.
#include <algorithm>
#include <cmath>

#include "platform/sim/sim_bus.h"
#include "platform/sim/sim_bus_decode.h"
#include "platform/sim/sim_decode_trigger.h"

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
  for (int input = 0; input < 2; ++input) {
    const TestSignal& s = a.sig[input];
    if (s.shape != SignalShape::kBus || !s.bus || s.busLine != 0) continue;
    const SimBusWave& w = *s.bus;
    const double ts = a.set.samplePeriodNs * 1e-9, period = w.Setup().interval;
    if (ts <= 0 || period <= 0) break;
    const double perCount = countNs > 0 ? a.set.samplePeriodNs / countNs : 1.0;
    const double trigger = a.TriggerAddress(0);
    const double end = readAddress + kScreenColumns * a.SamplesPerColumn(0);
    // Record address of a time (seconds from the start of burst m).
    auto address = [&](double m, double t) { return trigger + (m * period + t - a.phase[input] * period) / ts; };
    const double m0 = std::floor(a.phase[input] + (readAddress - trigger) * ts / period) - 1;
    size_t n = 0;
    for (double m = m0; address(m, 0) < end && n < kMaxRecords; ++m) {
      for (const SimBusEvent& e : w.Events()) {
        const double from = address(m, e.start), to = address(m, e.end);
        if (to < readAddress || from >= end || n >= kMaxRecords) continue;
        uint8_t r[kRecordBytes];
        std::copy(kMarker, kMarker + 3, r);
        r[3] = e.code;
        Be32(r + 4, uint32_t(Count((from - readAddress) * perCount)));
        Be32(r + 8, e.data);
        Be32(r + 12, uint32_t(Count((to - readAddress) * perCount)));
        out->insert(out->end(), r, r + kRecordBytes);
        ++n;
      }
    }
    break;
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
