// The simulated FPGA's serial-bus triggers: the bus words decoded into a
// point of the traffic, and the search for it in what the bus decoder reads
// of the lines (sim_bus_decoder.h).
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sim/bus/sim_bus.h"
#include "platform/sim/fpga/sim_decode_trigger.h"
#include "platform/sim/trigger/sim_trigger_search.h"

namespace plat {

namespace {
enum BusType { kRs232 = 12, kI2c = 13, kSpi = 14, kCan = 15, kLin = 16 };
constexpr int kNone = -2;  // a condition the decoder never reports
constexpr int kSpiPatternBits = 128;
constexpr double kIdleTick = 4e-9;  // the SPI idle time's unit
constexpr int kLinErrorCode = 6;
constexpr int kI2cPatternBytes = 5, kCanDataBytes = 8;

int MarkOf(BusMark m) { return int(m); }

bool Matches(const SimTriggerCondition& c, const SimDecodedMark& m) {
  if (m.kind != BusMark(c.busMark)) return false;
  if ((m.value & ~c.busMask) != (c.busValue & ~c.busMask)) return false;
  if (c.busDirection != 2 && int(m.read) != c.busDirection) return false;
  if (c.busAddress >= 0 && ((uint32_t(m.address) ^ uint32_t(c.busAddress)) & ~c.busAddressMask) != 0)
    return false;
  if (c.busFrameKind == 1 && m.remote) return false;
  return true;
}

void Rs232(const SimTriggerSettings& t, SimTriggerCondition* c) {
  static const int kWhen[] = {MarkOf(BusMark::kStart), MarkOf(BusMark::kFrameError),
                              MarkOf(BusMark::kError), MarkOf(BusMark::kData)};
  c->busMark = kWhen[t.rs232.when & 3];
  if (t.rs232.when == 3) c->busValue = uint32_t(t.rs232.data), c->busMask = 0;
}

// A data pattern of `count` bytes (at least one, at most `most`).
void DataBytes(int count, int most, const uint8_t* data, const uint8_t* mask, SimTriggerCondition* c) {
  c->busBytes = std::clamp(count, 1, most);
  std::copy(data, data + c->busBytes, c->busData);
  std::copy(mask, mask + c->busBytes, c->busDataMask);
}

void I2c(const SimTriggerSettings& t, SimTriggerCondition* c) {
  static const int kWhen[] = {MarkOf(BusMark::kStart),   MarkOf(BusMark::kRepeatedStart),
                              MarkOf(BusMark::kStop),    MarkOf(BusMark::kNack),
                              MarkOf(BusMark::kAddress), MarkOf(BusMark::kData),
                              MarkOf(BusMark::kData),    kNone};
  const int when = t.i2c.when & 7;
  c->busMark = kWhen[when];
  c->busDirection = t.i2c.direction > 2 ? 2 : t.i2c.direction;
  if (when == 4) c->busValue = uint32_t(t.i2c.address), c->busMask = 0;
  if (when == 5 || when == 6)
    DataBytes(t.i2c.dataCount + 1, kI2cPatternBytes, t.i2c.data, t.i2c.mask, c);
  if (when == 6) c->busAddress = t.i2c.address;
}

// SPI words 336/338: an odd condition code compares data; the idle time
// (296/298, 4 ns units) separates frames. This traffic has no chip-select
// line, so the chip-select framing reads the idle gaps as well.
void Spi(const SimTriggerSettings& t, SimTriggerCondition* c) {
  for (int i = 0; i < 8; ++i) c->spiData[i] = t.spi.data[i], c->spiMask[i] = t.spi.mask[i];
  c->spiFrameBits = (t.spi.configWord & 1) ? std::min(t.spi.frameBits, kSpiPatternBits) : 0;
  c->spiIdle = double(t.bitTimeWord) * kIdleTick;
  c->busMark = MarkOf(BusMark::kStart);
}

void Can(const SimTriggerSettings& t, SimTriggerCondition* c) {
  const int kind = t.can.kindWord, hi = kind >> 7;
  const int f = hi == 0 ? 0 : hi == 1 ? 1 + (kind >> 1 & 3) : hi + 3;
  const bool extended = kind & 1;
  // Word 530/532: bits 0-10 the identifier's first eleven, 14-15 an extended
  // one's last two; 534/536 the sixteen between.
  const auto join = [extended](int head, int middle) {
    const uint32_t h = uint32_t(head) & 0x7FF;
    return extended ? h << 18 | uint32_t(middle & 0xFFFF) << 2 | (uint32_t(head) >> 14 & 3) : h;
  };
  const uint32_t id = join(t.can.idWord, t.can.idWord2);
  const uint32_t idMask = join(t.can.maskWord, t.can.maskWord2) | (extended ? ~0x1FFFFFFFu : ~0x7FFu);
  static const int kWhen[] = {
      MarkOf(BusMark::kStart), MarkOf(BusMark::kStart),     MarkOf(BusMark::kRemote),
      MarkOf(BusMark::kError), MarkOf(BusMark::kOverload),  MarkOf(BusMark::kId),
      MarkOf(BusMark::kData),  MarkOf(BusMark::kData),      MarkOf(BusMark::kEnd),
      MarkOf(BusMark::kNack),  MarkOf(BusMark::kStuffError)};
  c->busMark = f >= 0 && f <= 10 ? kWhen[f] : kNone;
  if (f == 1) c->busFrameKind = 1;
  if (f == 5) c->busValue = id, c->busMask = idMask;
  // Word 528 bits 3-6: the data byte count.
  if (f == 6 || f == 7) DataBytes(kind >> 3 & 15, kCanDataBytes, t.can.data, t.can.mask, c);
  if (f == 7) c->busAddress = int(id), c->busAddressMask = idMask;
}

// LIN word 542 carries the When setting ORed with the error selection
// (plus one) shifted left once, so its low three bits are all a board can
// read of the condition: odd codes (identifier, identifier and data) compare
// the identifier where the mask leaves a bit (6-bit identifiers sit in the
// top six bits without the parity bits); 6, which every error condition
// gives, fires at a frame's checksum error; any other at every frame's break.
void Lin(const SimTriggerSettings& t, SimTriggerCondition* c) {
  const uint32_t value = uint32_t(t.lin.word540) & 0xFF, mask = uint32_t(t.lin.word540) >> 8 & 0xFF;
  const bool noParity = t.lin.word538 >> 7 & 1;
  const int code = t.lin.word542 & 7;
  if (code == kLinErrorCode) {
    c->busMark = MarkOf(BusMark::kError);
    return;
  }
  if (mask == 0xFF || !(code & 1)) {
    c->busMark = MarkOf(BusMark::kStart);
    return;
  }
  c->busMark = MarkOf(BusMark::kId);
  c->busValue = noParity ? value >> 2 : value & 0x3F;
  c->busMask = (noParity ? mask >> 2 : mask) | ~0x3Fu;
}

// SPI: the words on the bus, and the points of one burst where the trigger fires.
struct SpiWord {
  double start, end;
  uint32_t value;
};

std::vector<SpiWord> SpiWords(const std::vector<SimDecodedMark>& marks) {
  std::vector<SpiWord> words;
  for (const SimDecodedMark& m : marks) {
    if (m.kind == BusMark::kStart) words.push_back({m.at, m.at, m.value});
    if (m.kind == BusMark::kData && !words.empty()) words.back().end = m.at;
  }
  return words;
}

bool PatternBitMatters(const SimTriggerCondition& c, int i) {
  return !(c.spiMask[i / 16] >> (15 - i % 16) & 1);
}
int PatternBit(const SimTriggerCondition& c, int i) { return c.spiData[i / 16] >> (15 - i % 16) & 1; }

// The end of the word where the frame starting at word `k` has matched the
// pattern's bits, or -1.
double SpiMatchEnd(const SimTriggerCondition& c, const std::vector<SpiWord>& words,
                   const std::vector<bool>& starts, size_t k, int width) {
  int bit = 0;
  for (size_t j = k; j < words.size(); ++j) {
    if (j > k && starts[j]) return -1;  // the frame ended first
    for (int b = width - 1; b >= 0; --b, ++bit) {
      if (bit == c.spiFrameBits) return words[j].end;
      if (PatternBitMatters(c, bit) && int(words[j].value >> b & 1) != PatternBit(c, bit)) return -1;
    }
    if (bit == c.spiFrameBits) return words[j].end;
  }
  return -1;
}

std::vector<double> SpiPoints(const SimTriggerCondition& c, const std::vector<SimDecodedMark>& marks,
                              double period) {
  const std::vector<SpiWord> words = SpiWords(marks);
  std::vector<bool> starts(words.size());
  for (size_t k = 0; k < words.size(); ++k) {
    const double gap =
        k ? words[k].start - words[k - 1].end : words[0].start + period - words.back().end;
    starts[k] = gap >= c.spiIdle;
  }
  std::vector<double> points;
  for (size_t k = 0; k < words.size(); ++k) {
    if (!starts[k]) continue;
    if (c.spiFrameBits <= 0) {
      points.push_back(words[k].start);
      continue;
    }
    const double end = SpiMatchEnd(c, words, starts, k, c.busLines.width);
    if (end >= 0) points.push_back(end);
  }
  return points;
}

// A data condition: each frame's data bytes from its start (I2C: from its
// address) compared with the pattern, firing at the last byte it names.
std::vector<double> DataPoints(const SimTriggerCondition& c, const std::vector<SimDecodedMark>& marks) {
  std::vector<double> points;
  int index = 0;
  bool same = true;
  for (const SimDecodedMark& m : marks) {
    if (m.kind == BusMark::kStart || m.kind == BusMark::kRepeatedStart || m.kind == BusMark::kAddress) {
      index = 0, same = true;
      continue;
    }
    if (m.kind != BusMark::kData || index >= c.busBytes) continue;
    same = same && ((m.value ^ c.busData[index]) & ~uint32_t(c.busDataMask[index]) & 0xFF) == 0;
    if (++index == c.busBytes && same && Matches(c, m)) points.push_back(m.at);
  }
  return points;
}

// What the decoder reads of one period of the traffic (marks in seconds from
// the period start of the first line's input), kept while the lines, their
// levels and the bus settings stay the same: the traffic repeats each period.
struct PeriodMarks {
  std::vector<double> key;
  const void* bus[2] = {};
  std::shared_ptr<const std::vector<SimDecodedMark>> marks;
};

double Threshold(const SimTriggerCondition& c, const TestSignal* signals, int input) {
  const int ch = input == kSignalCh2 ? 1 : 0;
  return c.levelV[ch][0] + (c.acLevels ? SignalMean(signals[input]) : 0.0);
}

std::shared_ptr<const std::vector<SimDecodedMark>> DecodedPeriod(const SimTriggerCondition& c,
                                                                 const TestSignal* signals,
                                                                 double period) {
  constexpr size_t kMaxEvents = 1 << 16;
  constexpr double kFallbackStepS = 1e-9;
  const SimBusLines& b = c.busLines;
  std::vector<double> key = {
      double(b.kind),       b.bitS,          b.idleS,          b.sampleS,       double(b.positive),
      double(b.lsbFirst),   double(b.width), double(b.parity), double(b.stops), double(b.risingClock),
      double(b.linVersion), period};
  const void* bus[2] = {};
  for (int i = 0; i < 2; ++i) {
    const TestSignal& s = signals[b.input[i]];
    key.insert(key.end(), {double(b.input[i]), double(s.shape), s.frequencyHz, s.amplitudeV, s.offsetV,
                           s.phase, double(s.busLine), Threshold(c, signals, b.input[i])});
    bus[i] = s.bus.get();
  }
  static std::mutex mu;
  static PeriodMarks cache;
  std::lock_guard<std::mutex> lock(mu);
  if (cache.marks && cache.key == key && cache.bus[0] == bus[0] && cache.bus[1] == bus[1])
    return cache.marks;
  // Two periods, from one period back, so a frame across the period start is whole in the second.
  SimLineSamples lines;
  lines.step = b.sampleS > 0 ? b.sampleS : kFallbackStepS;
  lines.t0 = -period;
  lines.samples = int64_t(2 * period / lines.step);
  const double level[2] = {Threshold(c, signals, b.input[0]), Threshold(c, signals, b.input[1])};
  lines.high = [&](int input, int64_t k) {
    const TestSignal& s = signals[input];
    const double t = lines.t0 + double(k) * lines.step;
    return SignalVolts(s, t * s.frequencyHz, 0) > (input == b.input[0] ? level[0] : level[1]);
  };
  SimDecoded d;
  SimDecodeBusLines(b, lines, kMaxEvents, &d);
  auto marks = std::make_shared<std::vector<SimDecodedMark>>();
  for (const SimDecodedMark& m : d.marks)
    if (m.at >= 0 && m.at < period) marks->push_back(m);
  cache.key = key;
  cache.bus[0] = bus[0], cache.bus[1] = bus[1];
  cache.marks = marks;
  return marks;
}
}  // namespace

void SimApplyBusTrigger(const SimTriggerSettings& t, SimTriggerCondition* c) {
  c->busLines = SimBusLinesOf(t);
  switch (c->type) {
    case kRs232: Rs232(t, c); break;
    case kI2c: I2c(t, c); break;
    case kSpi: Spi(t, c); break;
    case kCan: Can(t, c); break;
    case kLin: Lin(t, c); break;
    default: break;
  }
}

bool SimFindBusTrigger(const SimTriggerCondition& c, const TestSignal* signals, const double* phase,
                       double* dt) {
  const SimBusLines& b = c.busLines;
  if (b.kind < 0 || b.input[0] < 0 || b.input[1] < 0 || b.input[0] > 1 || b.input[1] > 1) return false;
  const TestSignal& first = signals[b.input[0]];
  if (first.frequencyHz <= 0) return false;
  const double period = 1.0 / first.frequencyHz;
  const auto marks = DecodedPeriod(c, signals, period);
  std::vector<double> points;
  if (c.type == kSpi) {
    points = SpiPoints(c, *marks, period);
  } else if (c.busBytes > 0) {
    points = DataPoints(c, *marks);
  } else {
    for (const SimDecodedMark& m : *marks)
      if (Matches(c, m)) points.push_back(m.at);
  }
  const double now = (phase[b.input[0]] - std::floor(phase[b.input[0]])) * period;
  double best = -1;
  for (double at : points) {
    const double d = at >= now ? at - now : at + period - now;
    if (best < 0 || d < best) best = d;
  }
  if (best < 0) return false;
  *dt = best;
  return true;
}

}  // namespace plat
