// Bit-level encoding of the simulated serial buses (see sim_bus.h).
#include <algorithm>
#include <cstddef>

#include "platform/sim/bus/sim_bus.h"

namespace plat {

namespace {
constexpr double kLeadBits = 2;       // idle before a burst's first bit
constexpr int kSpiGapBits = 4;        // idle between SPI words
constexpr int kLinBreakBits = 13;
constexpr uint8_t kLinSync = 0x55;
constexpr uint8_t kLinDiagnosticId = 0x3C;  // 0x3C and 0x3D keep the classic checksum
constexpr int kCanEofBits = 7, kCanIfsBits = 3, kCanStuffRun = 5;
constexpr int kCanErrorFlagBits = 6, kCanErrorDelimBits = 8;

// UART codes, I2C, SPI, CAN and LIN record codes.
enum : uint8_t {
  kCodeAddrWrite = 0, kCodeAddrRead = 1, kCodeData = 2, kCodeRed = 4, kCodeExtId = 5, kCodeDlc = 6, kCodeCrc = 7,
  kCodeErrorFrame = 8, kCodeId = 10, kCodeBreak = 12, kCodeSync = 13, kCodeChecksum = 14, kCodeCheckError = 15,
  kCodeAck = 30,
};

int Parity(uint32_t v) {
  int p = 0;
  for (; v; v >>= 1) p ^= int(v & 1);
  return p;
}

// One UART character from `t`: start bit, data, parity, stop bits; returns
// the end of its last stop bit.
double UartChar(SimBusWave* w, double t, double bit, uint32_t value, int bits, bool msbFirst, int parity,
                bool badParity, int stop, bool badStop = false) {
  w->Level(0, t, false);
  double at = t + bit;
  for (int i = 0; i < bits; ++i, at += bit) w->Level(0, at, (value >> (msbFirst ? bits - 1 - i : i)) & 1);
  if (parity) {
    int p = Parity(value & ((1u << bits) - 1));
    if (parity == 1) p ^= 1;  // odd: the bit makes the count of ones odd
    if (badParity) p ^= 1;
    w->Level(0, at, p);
    at += bit;
  }
  if (badStop) {  // the stop bits low, then a bit of idle before the next character
    w->Level(0, at, false);
    at += bit * stop;
    w->Level(0, at, true);
    return at + bit;
  }
  w->Level(0, at, true);
  return at + bit * stop;
}

void EncodeUart(SimBusWave* w) {
  const SimBusSetup& s = w->Setup();
  const double bit = 1.0 / s.rate;
  double t = kLeadBits * bit;
  for (size_t i = 0; i < s.frames.size(); ++i) {
    const uint32_t v = s.frames[i].id & ((1u << s.bits) - 1);
    const bool framing = int(i) == s.error && s.errorKind == BusError::kFraming;
    const bool bad = int(i) == s.error && !framing && s.parity != 0;
    w->Mark(t, BusMark::kStart, v, int(i));
    const double end = UartChar(w, t, bit, v, s.bits, s.msbFirst, s.parity, bad, s.stop, framing);
    w->Event(t, end, bad ? kCodeRed : kCodeData, v);
    w->Mark(end, BusMark::kData, v, int(i));
    if (bad) w->Mark(end, BusMark::kError, v, int(i));
    t = end + bit;
  }
  w->End(t);
}

// I2C: line 0 SCL, line 1 SDA.
struct I2cBus {
  SimBusWave* w;
  double bit, t;
  void Bit(bool v) {
    w->Level(1, t + bit / 4, v);
    w->Level(0, t + bit / 2, true);
    w->Level(0, t + bit, false);
    t += bit;
  }
  double Byte(uint32_t v) {
    const double start = t;
    for (int i = 7; i >= 0; --i) Bit((v >> i) & 1);
    return start;
  }
};

void EncodeI2c(SimBusWave* w) {
  const SimBusSetup& s = w->Setup();
  I2cBus b{w, 1.0 / s.rate, kLeadBits / s.rate};
  for (size_t f = 0; f < s.frames.size(); ++f) {
    const SimBusFrame& fr = s.frames[f];
    const uint32_t addr = fr.id & 0x7F;
    w->Level(1, b.t, false);  // start: SDA falls while SCL is high
    w->Mark(b.t, BusMark::kStart, 0, int(f), fr.read);
    w->Level(0, b.t + b.bit / 2, false);
    b.t += b.bit / 2;
    const double a0 = b.Byte(addr << 1 | (fr.read ? 1 : 0));
    w->Event(a0, b.t, fr.read ? kCodeAddrRead : kCodeAddrWrite, addr);
    w->Mark(b.t, BusMark::kAddress, addr, int(f), fr.read);
    b.Bit(false);  // the slave acknowledges its address
    const bool restart = int(f) == s.error && s.errorKind == BusError::kRestart && f + 1 < s.frames.size();
    for (size_t i = 0; i < fr.data.size(); ++i) {
      const double d0 = b.Byte(fr.data[i]);
      const bool nack = int(f) == s.error && !restart && i == 0;
      const bool last = i + 1 == fr.data.size();
      w->Event(d0, b.t, nack ? kCodeRed : kCodeData, fr.data[i]);
      w->Mark(b.t, BusMark::kData, fr.data[i], int(f), fr.read);
      if (nack) w->Mark(b.t + b.bit, BusMark::kNack, fr.data[i], int(f), fr.read);
      b.Bit(nack || (fr.read && last));
      if (nack) break;
    }
    if (restart) {  // no stop: SDA high during SCL low, SCL rises; the next start follows
      w->Level(1, b.t + b.bit / 4, true);
      w->Level(0, b.t + b.bit / 2, true);
      b.t += b.bit;
      continue;
    }
    // stop: SDA low during SCL low, SCL rises, then SDA rises
    w->Level(1, b.t + b.bit / 4, false);
    w->Level(0, b.t + b.bit / 2, true);
    w->Level(1, b.t + b.bit, true);
    b.t += b.bit;
    w->Mark(b.t, BusMark::kStop, 0, int(f), fr.read);
    b.t += 2 * b.bit;
  }
  w->End(b.t);
}

// SPI: line 0 SCLK, line 1 MOSI.
void EncodeSpi(SimBusWave* w) {
  const SimBusSetup& s = w->Setup();
  const double bit = 1.0 / s.rate;
  double t = kLeadBits * bit;
  for (size_t f = 0; f < s.frames.size(); ++f) {
    const uint32_t v = s.frames[f].id;
    const double start = t;
    w->Mark(t, BusMark::kStart, v, int(f));
    for (int i = s.width - 1; i >= 0; --i, t += bit) {
      w->Level(1, t, (v >> i) & 1);
      w->Level(0, t + bit / 2, true);
      w->Level(0, t + bit, false);
    }
    w->Event(start, t, kCodeData, v);
    w->Mark(t, BusMark::kData, v, int(f));
    t += kSpiGapBits * bit;
  }
  w->End(t);
}

// CAN frame bits (SOF .. data) before stuffing.
std::vector<uint8_t> CanHeadBits(const SimBusFrame& f, int dlc) {
  std::vector<uint8_t> b;
  auto put = [&b](uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(uint8_t((v >> i) & 1));
  };
  put(0, 1);  // SOF
  if (f.extended) {
    put(f.id >> 18 & 0x7FF, 11);
    put(1, 1);  // SRR
    put(1, 1);  // IDE
    put(f.id & 0x3FFFF, 18);
    put(f.remote ? 1 : 0, 1);
    put(0, 2);  // r1, r0
  } else {
    put(f.id & 0x7FF, 11);
    put(f.remote ? 1 : 0, 1);
    put(0, 2);  // IDE, r0
  }
  put(uint32_t(dlc), 4);
  if (!f.remote)
    for (uint8_t d : f.data) put(d, 8);
  return b;
}

struct CanLine {
  SimBusWave* w;
  double bit, t;
  int run = 0;
  int last = -1;
  bool breakStuff = false;  // send the first stuff bit due as a sixth equal bit
  bool broken = false;      // and the frame ends there
  // One bit with stuffing: after five equal bits the complement is inserted.
  void Stuffed(int v) {
    if (broken) return;
    Raw(v);
    run = v == last ? run + 1 : 1;
    last = v;
    if (run == kCanStuffRun) {
      if (breakStuff) {
        Raw(v);
        broken = true;
        return;
      }
      Raw(!v);
      last = !v;
      run = 1;
    }
  }
  // An error or overload flag and its delimiter.
  void Flag() {
    for (int i = 0; i < kCanErrorFlagBits; ++i) Raw(0);
    for (int i = 0; i < kCanErrorDelimBits; ++i) Raw(1);
  }
  void Raw(int v) {
    w->Level(0, t, v);
    t += bit;
  }
};

void EncodeCan(SimBusWave* w) {
  const SimBusSetup& s = w->Setup();
  CanLine c{w, 1.0 / s.rate, kLeadBits / s.rate};
  for (size_t f = 0; f < s.frames.size(); ++f) {
    const SimBusFrame& fr = s.frames[f];
    const int dlc = int(std::min<size_t>(fr.data.size(), 8));
    std::vector<uint8_t> bits = CanHeadBits(fr, dlc);
    const uint16_t crc = SimCanCrc(bits);
    const bool chosen = int(f) == s.error;
    const bool bad = chosen && (s.errorKind == BusError::kDefault || s.errorKind == BusError::kCrc);
    const uint16_t sent = bad ? uint16_t(crc ^ 0x0001) : crc;
    for (int i = 14; i >= 0; --i) bits.push_back(uint8_t((sent >> i) & 1));
    // Field boundaries in unstuffed bits: ID, DLC, each data byte, CRC.
    const int idBits = fr.extended ? 1 + 11 + 2 + 18 : 1 + 11;
    const int dlcAt = fr.extended ? 1 + 11 + 2 + 18 + 3 : 1 + 11 + 3;
    std::vector<double> at(bits.size() + 1);
    c.run = 0;
    c.last = -1;
    const double sof = c.t;
    w->Mark(sof, BusMark::kStart, fr.id, int(f));
    c.breakStuff = chosen && s.errorKind == BusError::kStuff;
    c.broken = false;
    for (size_t i = 0; i < bits.size(); ++i) {
      at[i] = c.t;
      c.Stuffed(bits[i]);
    }
    at[bits.size()] = c.t;
    if (c.broken) {  // the receivers' error flag right after the broken rule
      const double e0 = c.t;
      c.Flag();
      w->Mark(e0, BusMark::kStuffError, fr.id, int(f));
      for (int i = 0; i < kCanIfsBits; ++i) c.Raw(1);
      continue;
    }
    w->Event(at[1], at[idBits], fr.extended ? kCodeExtId : kCodeId, fr.id);
    w->Mark(at[idBits], BusMark::kId, fr.id, int(f));
    if (fr.remote) w->Mark(at[idBits + 1], BusMark::kRemote, fr.id, int(f));
    w->Event(at[dlcAt], at[dlcAt + 4], kCodeDlc, uint32_t(dlc));
    int data = dlcAt + 4;
    if (!fr.remote)
      for (int i = 0; i < dlc; ++i, data += 8) {
        w->Event(at[data], at[data + 8], kCodeData, fr.data[i]);
        w->Mark(at[data + 8], BusMark::kData, fr.data[i], int(f));
      }
    w->Event(at[data], at[data + 15], kCodeCrc, sent);
    c.Raw(1);  // CRC delimiter
    const double ack = c.t;
    c.Raw(bad ? 1 : 0);  // receivers acknowledge a frame whose CRC holds
    w->Event(ack, c.t, kCodeAck, bad ? 1 : 0);
    if (bad) w->Mark(c.t, BusMark::kNack, fr.id, int(f));
    c.Raw(1);  // ACK delimiter
    if (bad) {  // the receivers' error frame after the ACK delimiter
      const double e0 = c.t;
      c.Flag();
      w->Event(e0, c.t, kCodeErrorFrame, 0);
      w->Mark(e0, BusMark::kError, fr.id, int(f));
    } else {
      for (int i = 0; i < kCanEofBits; ++i) c.Raw(1);
    }
    w->Mark(c.t, BusMark::kEnd, fr.id, int(f));
    if (chosen && s.errorKind == BusError::kOverload) {  // an overload flag from the intermission's first bit
      w->Mark(c.t, BusMark::kOverload, fr.id, int(f));
      c.Flag();
    }
    for (int i = 0; i < kCanIfsBits; ++i) c.Raw(1);
  }
  w->End(c.t);
}

void EncodeLin(SimBusWave* w) {
  const SimBusSetup& s = w->Setup();
  const double bit = 1.0 / s.rate;
  double t = kLeadBits * bit;
  for (size_t f = 0; f < s.frames.size(); ++f) {
    const SimBusFrame& fr = s.frames[f];
    const uint8_t id = uint8_t(fr.id & 0x3F), pid = SimLinPid(id);
    const double b0 = t;
    w->Level(0, t, false);
    t += kLinBreakBits * bit;
    w->Level(0, t, true);
    t += bit;  // break delimiter
    w->Event(b0, t, kCodeBreak, 0);
    w->Mark(b0, BusMark::kStart, id, int(f));
    double end = UartChar(w, t, bit, kLinSync, 8, false, 0, false, 1);
    w->Event(t, end, kCodeSync, kLinSync);
    w->Mark(end, BusMark::kSync, kLinSync, int(f));
    t = end;
    end = UartChar(w, t, bit, pid, 8, false, 0, false, 1);
    w->Event(t, end, kCodeId, id);
    w->Mark(end, BusMark::kId, id, int(f));
    t = end + bit;
    for (uint8_t d : fr.data) {
      end = UartChar(w, t, bit, d, 8, false, 0, false, 1);
      w->Event(t, end, kCodeData, d);
      w->Mark(end, BusMark::kData, d, int(f));
      t = end + bit;
    }
    const bool bad = int(f) == s.error;
    uint8_t sum = SimLinChecksum(pid, fr.data, s.version != 1 && id < kLinDiagnosticId);
    if (bad) sum = uint8_t(sum ^ 0xFF);
    end = UartChar(w, t, bit, sum, 8, false, 0, false, 1);
    w->Event(t, end, bad ? kCodeCheckError : kCodeChecksum, sum);
    if (bad) w->Mark(end, BusMark::kError, sum, int(f));
    w->Mark(end, BusMark::kEnd, id, int(f));
    t = end + 4 * bit;
  }
  w->End(t);
}
}  // namespace

uint16_t SimCanCrc(const std::vector<uint8_t>& bits) {
  uint16_t crc = 0;
  for (uint8_t b : bits) {
    const bool next = ((crc >> 14) & 1) ^ (b & 1);
    crc = uint16_t((crc << 1) & 0x7FFF);
    if (next) crc ^= 0x4599;
  }
  return crc;
}

uint8_t SimLinPid(uint8_t id) {
  id &= 0x3F;
  auto b = [id](int i) { return (id >> i) & 1; };
  const int p0 = b(0) ^ b(1) ^ b(2) ^ b(4);
  const int p1 = !(b(1) ^ b(3) ^ b(4) ^ b(5));
  return uint8_t(id | p0 << 6 | p1 << 7);
}

uint8_t SimLinChecksum(uint8_t pid, const std::vector<uint8_t>& data, bool enhanced) {
  unsigned sum = enhanced ? pid : 0;
  for (uint8_t d : data) {
    sum += d;
    if (sum > 0xFF) sum -= 0xFF;
  }
  return uint8_t(~sum);
}

void SimEncodeBus(SimBusWave* w) {
  switch (w->Setup().kind) {
    case BusKind::kUart: EncodeUart(w); break;
    case BusKind::kI2c: EncodeI2c(w); break;
    case BusKind::kSpi: EncodeSpi(w); break;
    case BusKind::kCan: EncodeCan(w); break;
    case BusKind::kLin: EncodeLin(w); break;
  }
}

}  // namespace plat
