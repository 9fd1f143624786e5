// The simulated FPGA's serial-bus decoder (sim_bus_decoder.h): state
// machines over the sampled lines.
#include "platform/sim/bus/sim_bus_decoder.h"

#include <algorithm>
#include <cmath>

#include "platform/sim/fpga/sim_decode_trigger.h"

namespace plat {

namespace {
enum Kind { kRs232 = 0, kI2c = 1, kSpi = 2, kCan = 3, kLin = 4 };

enum : uint8_t {
  kCodeAddrWrite = 0, kCodeAddrRead = 1, kCodeData = 2, kCodeFraming = 3, kCodeRed = 4, kCodeExtId = 5,
  kCodeDlc = 6, kCodeCrc = 7, kCodeErrorFrame = 8, kCodeOverload = 9, kCodeId = 10, kCodeBreak = 12,
  kCodeSync = 13, kCodeChecksum = 14, kCodeCheckError = 15, kCodeSyncError = 28, kCodeAck = 30,
  kCodeStuffError = 31, kCodeIdParity = 138,
};

constexpr double kProbeBits = 0.25;       // a bit-timed line is looked at four times a bit
constexpr double kClockProbeS = 100e-9;   // a clocked line (I2C, SPI) every 100 ns
constexpr int64_t kMaxReads = 1 << 22;    // samples one decode may read
constexpr int kCanIdleBits = 7, kCanStuffRun = 5, kCanEofBits = 7, kCanOverloadBits = 2;
constexpr int kCanErrorDelimBits = 8;
constexpr int kLinBreakBits = 11, kLinGapBits = 8;
constexpr uint8_t kLinSync = 0x55, kLinDiagnosticId = 0x3C;

// One line as the decoder sees it: its logical level at each sample.
struct Line {
  const SimLineSamples& s;
  int input;
  bool invert;
  int64_t* reads;
  bool At(int64_t k) const {
    ++*reads;
    return s.high(input, std::min(std::max<int64_t>(k, 0), s.samples - 1)) != invert;
  }
  bool Spent() const { return *reads > kMaxReads; }
  // The first sample after k whose level differs from k's (looked at every
  // `probe` samples, then halved down to one); s.samples when none.
  int64_t Next(int64_t k, int64_t probe) const {
    const bool v = At(k);
    for (int64_t lo = k; lo < s.samples - 1 && !Spent();) {
      const int64_t hi = std::min(lo + probe, s.samples - 1);
      if (At(hi) != v) {
        int64_t a = lo, b = hi;
        while (b - a > 1) {
          const int64_t m = a + (b - a) / 2;
          (At(m) == v ? a : b) = m;
        }
        return b;
      }
      lo = hi;
    }
    return s.samples;
  }
};

struct Out {
  const SimLineSamples& s;
  SimDecoded* d;
  size_t max;
  bool Full() const { return d->events.size() >= max; }
  double T(double k) const { return s.t0 + k * s.step; }
  void Event(double k0, double k1, uint8_t code, uint32_t data) { d->events.push_back({T(k0), T(k1), code, data}); }
  void Mark(double k, BusMark kind, uint32_t value, int32_t address = -1, bool read = false, bool remote = false) {
    d->marks.push_back({T(k), kind, value, read, address, remote});
  }
};

// One asynchronous character from its start bit's first sample.
struct Char {
  double end = 0;  // sample where its last stop bit ends
  uint32_t value = 0;
  bool parityBad = false, framing = false;
};

// False when the start bit does not hold at its middle or the character runs past the span.
bool ReadChar(const Line& l, double start, double bit, int width, bool lsbFirst, int parity, int stops, Char* c) {
  const double total = 1 + width + (parity ? 1 : 0) + stops;
  if (start + total * bit >= double(l.s.samples)) return false;
  auto at = [&](double b) { return l.At(int64_t(start + b * bit)); };
  if (at(0.5)) return false;
  int ones = 0;
  c->value = 0;
  for (int i = 0; i < width; ++i) {
    const uint32_t b = at(1.5 + i) ? 1 : 0;
    ones += int(b);
    c->value = lsbFirst ? c->value | b << i : c->value << 1 | b;
  }
  double pos = 1 + width;
  c->parityBad = false;
  if (parity) {
    ones += at(pos + 0.5) ? 1 : 0;
    c->parityBad = (ones & 1) != (parity == 1 ? 1 : 0);
    pos += 1;
  }
  c->framing = false;
  for (int i = 0; i < stops; ++i, pos += 1)
    if (!at(pos + 0.5)) c->framing = true;
  c->end = start + pos * bit;
  return true;
}

int64_t BitProbe(double bit) { return std::max<int64_t>(1, int64_t(bit * kProbeBits)); }

void Rs232(const SimBusLines& b, const Line& l, Out& o) {
  const double bit = b.bitS / o.s.step;
  const int64_t n = o.s.samples, probe = BitProbe(bit);
  int64_t k = l.At(0) ? 0 : l.Next(0, probe);  // a character starts from the idle level
  while (k < n && !o.Full() && !l.Spent()) {
    const int64_t start = l.Next(k, probe);
    if (start >= n) break;
    Char c;
    if (!ReadChar(l, double(start), bit, b.width, b.lsbFirst, b.parity, b.stops, &c)) {
      if (start + (2 + b.width + b.stops) * bit >= double(n)) break;
      k = l.Next(start, probe);  // a glitch: back to the idle level
      continue;
    }
    o.Event(double(start), c.end, c.framing ? kCodeFraming : c.parityBad ? kCodeRed : kCodeData, c.value);
    o.Mark(double(start), BusMark::kStart, c.value);
    o.Mark(c.end, BusMark::kData, c.value);
    if (c.parityBad) o.Mark(c.end, BusMark::kError, c.value);
    if (c.framing) o.Mark(c.end, BusMark::kFrameError, c.value);
    k = int64_t(c.end - bit / 2);
    if (!l.At(k)) k = l.Next(k, probe);
  }
}

void I2c(const Line& scl, const Line& sda, Out& o) {
  const int64_t n = o.s.samples, probe = std::max<int64_t>(1, int64_t(kClockProbeS / o.s.step));
  bool c = scl.At(0), d = sda.At(0);
  int64_t nextC = scl.Next(0, probe), nextD = sda.Next(0, probe);
  bool inFrame = false, read = false, first = true, bytes = false, pendingNack = false;
  int bits = 0;
  uint32_t value = 0, address = 0;
  int64_t lastFall = 0, byteStart = 0, byteEnd = 0;
  while (!o.Full() && !scl.Spent() && !sda.Spent()) {
    const int64_t k = std::min(nextC, nextD);
    if (k >= n) break;
    if (k == nextD) {
      d = !d;
      nextD = sda.Next(k, probe);
      if (c && k != nextC) {  // SDA moves while SCL is high: a start or a stop
        if (!d) {
          o.Mark(double(k), bytes ? BusMark::kRepeatedStart : BusMark::kStart, 0);
          inFrame = true, first = true, pendingNack = false, bits = 0, value = 0, lastFall = k;
        } else if (inFrame) {
          o.Mark(double(k), BusMark::kStop, 0, int32_t(address), read);
          inFrame = false, bytes = false;
        }
        continue;
      }
    }
    if (k != nextC) continue;
    c = !c;
    nextC = scl.Next(k, probe);
    if (!inFrame) continue;
    if (!c) {  // falling: a bit ends
      if (bits == 8) byteEnd = k;
      if (bits == 9) {
        if (pendingNack) o.Mark(double(k), BusMark::kNack, value, int32_t(address), read);
        bits = 0, value = 0, pendingNack = false;
      }
      lastFall = k;
      continue;
    }
    ++bits;  // rising: SDA holds the bit
    if (bits == 1) byteStart = lastFall;
    if (bits <= 8) {
      value = value << 1 | (d ? 1 : 0);
      continue;
    }
    const bool nack = d;  // the ninth bit: the acknowledge
    if (first) {
      address = value >> 1 & 0x7F, read = value & 1;
      o.Event(double(byteStart), double(byteEnd), read ? kCodeAddrRead : kCodeAddrWrite, address);
      o.Mark(double(byteEnd), BusMark::kAddress, address, int32_t(address), read);
      pendingNack = nack;
    } else {
      // A read's last byte ends with the master's NACK; a written one not
      // acknowledged is the slave's fault.
      pendingNack = nack && !read;
      o.Event(double(byteStart), double(byteEnd), pendingNack ? kCodeRed : kCodeData, value);
      o.Mark(double(byteEnd), BusMark::kData, value, int32_t(address), read);
    }
    first = false, bytes = true;
  }
}

// SPI: words of the width on the data line, taken on the clock edge; an
// idle clock at least the idle time long ends a frame (and a word begun).
void Spi(const SimBusLines& b, const Line& clk, const Line& data, Out& o) {
  const int64_t n = o.s.samples, probe = std::max<int64_t>(1, int64_t(kClockProbeS / o.s.step));
  const double idle = b.idleS / o.s.step;
  int64_t k = 0, lastEdge = -1, wordStart = 0, lastActive = 0;
  bool c = clk.At(0), firstHalf = false;
  int bits = 0;
  uint32_t value = 0;
  auto emit = [&](int64_t end) {
    o.Event(double(wordStart), double(end), kCodeData, value);
    o.Mark(double(wordStart), BusMark::kStart, value);
    o.Mark(double(end), BusMark::kData, value);
    bits = 0, value = 0;
  };
  while (!o.Full() && !clk.Spent()) {
    k = clk.Next(k, probe);
    if (k >= n) break;
    c = !c;
    if (lastEdge >= 0 && double(k - lastEdge) >= idle) {  // a new frame: a whole word ended the last
      if (bits == b.width) emit(lastEdge);
      bits = 0, value = 0;
    }
    lastEdge = k;
    if (firstHalf) {  // the clock edge after a word's first active one: half a clock
      wordStart = std::max<int64_t>(0, lastActive - (k - lastActive));
      firstHalf = false;
    }
    if (c != b.risingClock) {
      if (bits == b.width) emit(k);
      continue;
    }
    const uint32_t bit = data.At(k) ? 1 : 0;
    if (bits == 0) firstHalf = true, lastActive = k;
    value = b.lsbFirst ? value | bit << bits : value << 1 | bit;
    ++bits;
  }
  if (bits == b.width && !o.Full()) emit(lastEdge);  // the clock stayed idle to the span's end
}

// CAN: bits at the nominal bit time from the start of frame, stuffing
// removed over SOF..CRC.
struct CanReader {
  const Line& l;
  double bit, sof;
  int raw = 0, run = 0, last = -1;
  bool stuffError = false;
  double RawStart(int i) const { return sof + i * bit; }
  int RawBit() { return l.At(int64_t(RawStart(raw++) + bit / 2)) ? 1 : 0; }
  // The next bit of the frame (stuff bits taken out); -1 at a stuff error.
  int Bit() {
    const int v = RawBit();
    run = v == last ? run + 1 : 1;
    last = v;
    if (run == kCanStuffRun) {
      const int s = RawBit();
      if (s == v) {
        stuffError = true;
        return -1;
      }
      last = s, run = 1;
    }
    return v;
  }
  bool Read(int count, uint32_t* v, std::vector<double>* at, std::vector<uint8_t>* bits) {
    for (int i = 0; i < count; ++i) {
      at->push_back(RawStart(raw));
      const int b = Bit();
      if (b < 0) return false;
      bits->push_back(uint8_t(b));
      *v = *v << 1 | uint32_t(b);
    }
    return true;
  }
};

// The sample where the line has been recessive for `bits` bit times since the
// returned one.
int64_t CanIdle(const Line& l, int64_t k, double bit, int bits, int64_t probe) {
  while (k < l.s.samples && !l.Spent()) {
    if (!l.At(k)) {
      k = l.Next(k, probe);
      continue;
    }
    const int64_t f = l.Next(k, probe);
    if (double(f - k) >= bits * bit || f >= l.s.samples) return k;
    k = f;
  }
  return l.s.samples;
}

// A dominant flag from sample `at`, then the recessive delimiter: an error or
// overload frame; the sample where it ends.
double CanFlagFrame(const Line& l, double at, double bit, int64_t probe, uint8_t code, BusMark mark, Out& o) {
  const int64_t rise = l.Next(int64_t(at), probe);
  const double end = std::min(double(l.s.samples), double(rise) + kCanErrorDelimBits * bit);
  o.Event(at, end, code, 0);
  o.Mark(at, mark, 0);
  return end;
}

void Can(const SimBusLines& b, const Line& l, Out& o) {
  const double bit = b.bitS / o.s.step;
  const int64_t n = o.s.samples, probe = BitProbe(bit);
  constexpr int kTailBits = 1 + 1 + 1 + kCanEofBits + kCanOverloadBits;  // after the CRC
  int64_t k = CanIdle(l, 0, bit, kCanIdleBits, probe);
  while (k < n && !o.Full() && !l.Spent()) {
    const int64_t sof = l.Next(k, probe);
    if (sof >= n) break;
    CanReader r{l, bit, double(sof)};
    std::vector<double> at;
    std::vector<uint8_t> bits;
    uint32_t v = 0, id = 0, rtr = 0, ide = 0, dlc = 0, crc = 0;
    bool ok = r.Read(1, &v, &at, &bits) && r.Read(11, &id, &at, &bits) && r.Read(1, &rtr, &at, &bits) &&
              r.Read(1, &ide, &at, &bits);  // RTR, or SRR of an extended frame
    int idEnd = 12;
    if (ok && ide) {
      uint32_t low = 0, r1 = 0;
      rtr = 0;
      ok = r.Read(18, &low, &at, &bits) && r.Read(1, &rtr, &at, &bits) && r.Read(2, &r1, &at, &bits);
      id = id << 18 | low;
      idEnd = 32;
    } else if (ok) {
      uint32_t r0 = 0;
      ok = r.Read(1, &r0, &at, &bits);
    }
    ok = ok && r.Read(4, &dlc, &at, &bits);
    const int dlcAt = int(at.size()) - 4;
    const int bytes = rtr ? 0 : int(std::min<uint32_t>(dlc, 8));
    std::vector<uint32_t> data(size_t(bytes), 0);
    for (int i = 0; ok && i < bytes; ++i) ok = r.Read(8, &data[size_t(i)], &at, &bits);
    const int crcAt = int(at.size());
    ok = ok && r.Read(15, &crc, &at, &bits);
    if (r.RawStart(r.raw + kTailBits) >= double(n)) break;  // the span ends inside the frame
    const int32_t frameId = int32_t(id);
    o.Mark(double(sof), BusMark::kStart, id, frameId, false, rtr != 0);
    if (!ok) {  // a stuff error: the bit that broke the rule
      const double e = r.RawStart(r.raw - 1);
      o.Event(e, e + bit, kCodeStuffError, 0);
      o.Mark(e, BusMark::kStuffError, id, frameId);
      k = CanIdle(l, int64_t(e + bit), bit, kCanIdleBits, probe);
      continue;
    }
    at.push_back(r.RawStart(r.raw));
    o.Event(at[1], at[size_t(idEnd)], ide ? kCodeExtId : kCodeId, id);
    o.Mark(at[size_t(idEnd)], BusMark::kId, id, frameId, false, rtr != 0);
    if (rtr) o.Mark(at[size_t(idEnd + 1)], BusMark::kRemote, id, frameId, false, true);
    o.Event(at[size_t(dlcAt)], at[size_t(dlcAt + 4)], kCodeDlc, dlc);
    for (int i = 0; i < bytes; ++i) {
      const double s = at[size_t(dlcAt + 4 + 8 * i)], e = at[size_t(dlcAt + 12 + 8 * i)];
      o.Event(s, e, kCodeData, data[size_t(i)]);
      o.Mark(e, BusMark::kData, data[size_t(i)], frameId);
    }
    o.Event(at[size_t(crcAt)], at[size_t(crcAt + 15)], kCodeCrc, crc);
    r.RawBit();  // CRC delimiter
    const double ack = r.RawStart(r.raw);
    const int missing = r.RawBit();
    o.Event(ack, r.RawStart(r.raw), kCodeAck, uint32_t(missing));
    if (missing) o.Mark(r.RawStart(r.raw), BusMark::kNack, id, frameId);
    double end = 0;
    for (int i = 0; i <= kCanEofBits && end == 0; ++i) {  // ACK delimiter and end of frame
      const double s = r.RawStart(r.raw);
      if (!r.RawBit()) end = CanFlagFrame(l, s, bit, probe, kCodeErrorFrame, BusMark::kError, o);
    }
    if (end == 0) {
      end = r.RawStart(r.raw);
      o.Mark(end, BusMark::kEnd, id, frameId);
      for (int i = 0; i < kCanOverloadBits && end > 0; ++i) {  // intermission
        const double s = r.RawStart(r.raw);
        if (!r.RawBit()) end = -CanFlagFrame(l, s, bit, probe, kCodeOverload, BusMark::kOverload, o);
      }
      end = std::fabs(end);
    }
    k = CanIdle(l, int64_t(end), bit, 1, probe);
  }
}

bool LinChecksumHolds(int version, uint8_t pid, const std::vector<uint8_t>& data, uint8_t sum) {
  const uint8_t id = pid & 0x3F;
  const bool classic = SimLinChecksum(pid, data, false) == sum;
  const bool enhanced = SimLinChecksum(pid, data, id < kLinDiagnosticId) == sum;
  return version == 0 ? classic : version == 1 ? enhanced : classic || enhanced;
}

void Lin(const SimBusLines& b, const Line& l, Out& o) {
  const double bit = b.bitS / o.s.step;
  const int64_t n = o.s.samples, probe = BitProbe(bit);
  int64_t k = l.At(0) ? 0 : l.Next(0, probe);
  // The next character from the idle level at k: false past the span, a
  // framing error or a gap longer than kLinGapBits.
  auto next = [&](int64_t from, int64_t* start, Char* c) {
    *start = l.Next(from, probe);
    return *start < n && double(*start - from) <= kLinGapBits * bit &&
           ReadChar(l, double(*start), bit, 8, true, 0, 1, c) && !c->framing;
  };
  while (k < n && !o.Full() && !l.Spent()) {
    const int64_t fall = l.Next(k, probe);
    if (fall >= n) break;
    const int64_t rise = l.Next(fall, probe);
    k = rise;
    if (rise >= n || double(rise - fall) < kLinBreakBits * bit) continue;  // not a break
    const double breakEnd = double(rise) + bit;
    o.Event(double(fall), breakEnd, kCodeBreak, 0);
    int64_t s = 0;
    Char sync, pid;
    if (!next(rise, &s, &sync)) continue;
    o.Event(double(s), sync.end, sync.value == kLinSync ? kCodeSync : kCodeSyncError, sync.value);
    o.Mark(double(fall), BusMark::kStart, 0);
    o.Mark(sync.end, BusMark::kSync, sync.value);
    k = int64_t(sync.end - bit / 2);
    if (!next(k, &s, &pid)) continue;
    const uint8_t id = uint8_t(pid.value & 0x3F);
    const bool parityOk = SimLinPid(id) == pid.value;
    o.Event(double(s), pid.end, parityOk ? kCodeId : kCodeIdParity, id);
    o.Mark(pid.end, BusMark::kId, id, id);
    if (!parityOk) o.Mark(pid.end, BusMark::kError, id, id);
    k = int64_t(pid.end - bit / 2);
    std::vector<uint8_t> bytes;
    std::vector<std::pair<int64_t, double>> spans;
    Char c;
    while (bytes.size() < 9 && next(k, &s, &c)) {
      bytes.push_back(uint8_t(c.value));
      spans.push_back({s, c.end});
      k = int64_t(c.end - bit / 2);
    }
    if (bytes.empty()) continue;
    const uint8_t sum = bytes.back();
    bytes.pop_back();
    for (size_t i = 0; i < bytes.size(); ++i) {
      o.Event(double(spans[i].first), spans[i].second, kCodeData, bytes[i]);
      o.Mark(spans[i].second, BusMark::kData, bytes[i], id);
    }
    const bool good = LinChecksumHolds(b.linVersion, uint8_t(pid.value), bytes, sum);
    const double end = spans.back().second;
    o.Event(double(spans.back().first), end, good ? kCodeChecksum : kCodeCheckError, sum);
    if (!good) o.Mark(end, BusMark::kError, sum, id);
    o.Mark(end, BusMark::kEnd, id, id);
  }
}

int InputOf(int source) { return source == 0 || source == 1 ? source : -1; }
}  // namespace

SimBusLines SimBusLinesOf(const SimTriggerSettings& t) {
  constexpr double kTickS = 10e-9, kIdleTickS = 4e-9;
  SimBusLines b;
  b.kind = t.busKind;
  b.bitS = t.bitTime * kTickS;
  b.sampleS = t.samplesPerBit > 0 ? b.bitS / t.samplesPerBit : 0;
  switch (t.busKind) {
    case kRs232:
      b.input[0] = t.rs232.source;
      b.positive = t.rs232.polarity == 1;
      b.lsbFirst = t.rs232.bitOrder == 1;
      b.stops = t.rs232.stopBits ? 2 : 1;
      b.parity = t.rs232.parity;
      b.width = t.rs232.width;
      break;
    case kI2c:
      b.input[0] = t.i2c.scl, b.input[1] = t.i2c.sda;
      break;
    case kSpi:
      b.input[0] = InputOf(t.spi.clock), b.input[1] = t.spi.mosi;
      b.idleS = double(t.bitTimeWord) * kIdleTickS;
      b.sampleS = t.perBitWord ? b.idleS / double(t.perBitWord) : 0;
      b.positive = t.spi.mosiPolarity == 1;
      b.lsbFirst = t.spi.bitOrder == 0;
      b.risingClock = t.spi.clockEdge == 1;
      b.width = t.spi.configWord >> 1 & 0x3F;
      break;
    case kCan:
      b.input[0] = t.can.source;
      b.positive = !(t.can.idWord >> 13 & 1);
      break;
    case kLin:
      b.input[0] = t.lin.source;
      b.positive = (t.lin.word538 & 15) != 2;
      b.linVersion = t.lin.word538 >> 4 & 7;
      break;
    default:
      b.kind = -1;
      break;
  }
  return b;
}

void SimDecodeBusLines(const SimBusLines& b, const SimLineSamples& s, size_t maxEvents, SimDecoded* out) {
  if (b.kind < 0 || s.samples < 2 || s.step <= 0 || !s.high) return;
  if (b.input[0] < 0 || b.input[1] < 0) return;
  const bool timed = b.kind == kRs232 || b.kind == kCan || b.kind == kLin;
  if (timed && b.bitS < 2 * s.step) return;  // fewer than two samples a bit: nothing to read
  if (b.kind == kRs232 && (b.width < 5 || b.width > 9)) return;
  if (b.kind == kSpi && (b.width < 1 || b.width > 32)) return;
  int64_t reads = 0;
  Out o{s, out, maxEvents};
  const Line line0{s, b.input[0], !b.positive, &reads};
  switch (b.kind) {
    case kRs232: Rs232(b, line0, o); break;
    case kI2c: I2c(Line{s, b.input[0], false, &reads}, Line{s, b.input[1], false, &reads}, o); break;
    case kSpi: Spi(b, Line{s, b.input[0], false, &reads}, Line{s, b.input[1], !b.positive, &reads}, o); break;
    case kCan: Can(b, Line{s, b.input[0], !b.positive, &reads}, o); break;
    case kLin: Lin(b, line0, o); break;
    default: break;
  }
}

}  // namespace plat
