// The simulated FPGA's serial-bus triggers: the bus words decoded into a
// point of the traffic, and the search for it.
#include <cmath>

#include "platform/sim/sim_bus.h"
#include "platform/sim/sim_decode_trigger.h"
#include "platform/sim/sim_trigger_search.h"

namespace plat {

namespace {
enum BusType { kRs232 = 12, kI2c = 13, kSpi = 14, kCan = 15, kLin = 16 };
constexpr int kNone = -2;  // a condition this board's traffic never shows

int MarkOf(BusMark m) { return int(m); }

bool Matches(const SimTriggerCondition& c, const SimBusWave& w, const SimBusMark& m) {
  if (m.kind != BusMark(c.busMark)) return false;
  if ((m.value & ~c.busMask) != (c.busValue & ~c.busMask)) return false;
  const SimBusFrame& f = w.Setup().frames[size_t(m.frame)];
  if (c.busDirection != 2 && int(f.read) != c.busDirection) return false;
  if (c.busAddress >= 0 && int(f.id) != c.busAddress) return false;
  if (c.busFrameKind == 1 && f.remote) return false;
  return true;
}

void Rs232(const SimTriggerSettings& t, SimTriggerCondition* c) {
  static const int kWhen[] = {MarkOf(BusMark::kStart), kNone, MarkOf(BusMark::kError), MarkOf(BusMark::kData)};
  c->busMark = kWhen[t.rs232.when & 3];
  if (t.rs232.when == 3) c->busValue = uint32_t(t.rs232.data), c->busMask = 0;
}

void I2c(const SimTriggerSettings& t, SimTriggerCondition* c) {
  static const int kWhen[] = {MarkOf(BusMark::kStart),   kNone, MarkOf(BusMark::kStop), MarkOf(BusMark::kNack),
                              MarkOf(BusMark::kAddress), MarkOf(BusMark::kData), MarkOf(BusMark::kData), kNone};
  const int when = t.i2c.when & 7;
  c->busMark = kWhen[when];
  c->busDirection = t.i2c.direction > 2 ? 2 : t.i2c.direction;
  if (when == 4) c->busValue = uint32_t(t.i2c.address), c->busMask = 0;
  if (when == 5 || when == 6) c->busValue = t.i2c.data[0], c->busMask = t.i2c.mask[0];
  if (when == 6) c->busAddress = t.i2c.address;
}

void Spi(const SimTriggerSettings& t, SimTriggerCondition* c) {
  c->spiTop = uint32_t(t.spi.data[0]) << 16 | t.spi.data[1];
  c->spiTopMask = uint32_t(t.spi.mask[0]) << 16 | t.spi.mask[1];
  c->spiFrameBits = (t.spi.configWord & 1) ? t.spi.frameBits : 0;  // odd condition codes compare data
  c->busMark = MarkOf(BusMark::kStart);
}

// The SPI condition for words of `width` bits: the pattern's top bits, or
// every word's start when no bit is compared.
SimTriggerCondition SpiForWidth(SimTriggerCondition c, int width) {
  const uint32_t keep = width >= 32 ? ~0u : (1u << width) - 1;
  const int shift = 32 - width;
  c.busValue = (c.spiTop >> shift) & keep;
  c.busMask = ((c.spiTopMask >> shift) & keep) | ~keep;
  const bool pattern = c.spiFrameBits > 0 && (c.busMask & keep) != keep;
  c.busMark = MarkOf(pattern ? BusMark::kData : BusMark::kStart);
  if (!pattern) c.busMask = ~0u;
  return c;
}

void Can(const SimTriggerSettings& t, SimTriggerCondition* c) {
  const int kind = t.can.kindWord, hi = kind >> 7;
  const int f = hi == 0 ? 0 : hi == 1 ? 1 + (kind >> 1 & 3) : hi + 3;
  const bool extended = kind & 1;
  const uint32_t id = extended ? uint32_t(t.can.idWord & 0x7FF) << 18 | uint32_t(t.can.idWord2) << 2
                               : uint32_t(t.can.idWord & 0x7FF);
  const uint32_t idMask = extended ? uint32_t(t.can.maskWord & 0x7FF) << 18 | uint32_t(t.can.maskWord2) << 2 | 3
                                   : uint32_t(t.can.maskWord & 0x7FF) | ~0x7FFu;
  static const int kWhen[] = {MarkOf(BusMark::kStart), MarkOf(BusMark::kStart), MarkOf(BusMark::kRemote),
                              MarkOf(BusMark::kError), kNone, MarkOf(BusMark::kId), MarkOf(BusMark::kData),
                              MarkOf(BusMark::kData), MarkOf(BusMark::kEnd), MarkOf(BusMark::kNack), kNone};
  c->busMark = f >= 0 && f <= 10 ? kWhen[f] : kNone;
  if (f == 1) c->busFrameKind = 1;
  if (f == 5) c->busValue = id, c->busMask = idMask;
  if (f == 6 || f == 7) c->busValue = t.can.data[0], c->busMask = t.can.mask[0];
  if (f == 7 && (idMask & 0x7FF) == 0) c->busAddress = int(id);
}

// LIN: with an odd condition code (identifier, identifier and data) an
// identifier match where the mask leaves a bit to compare (6-bit identifiers
// sit in the top six bits without the parity bits); else every frame's break.
void Lin(const SimTriggerSettings& t, SimTriggerCondition* c) {
  const uint32_t value = uint32_t(t.lin.word540) & 0xFF, mask = uint32_t(t.lin.word540) >> 8 & 0xFF;
  const bool noParity = t.lin.word538 >> 7 & 1;
  if (mask == 0xFF || !(t.lin.word542 & 1)) {
    c->busMark = MarkOf(BusMark::kStart);
    return;
  }
  c->busMark = MarkOf(BusMark::kId);
  c->busValue = noParity ? value >> 2 : value & 0x3F;
  c->busMask = (noParity ? mask >> 2 : mask) | ~0x3Fu;
}
}  // namespace

void SimApplyBusTrigger(const SimTriggerSettings& t, SimTriggerCondition* c) {
  switch (c->type) {
    case kRs232: Rs232(t, c); break;
    case kI2c: I2c(t, c); break;
    case kSpi: Spi(t, c); break;
    case kCan: Can(t, c); break;
    case kLin: Lin(t, c); break;
    default: break;
  }
}

bool SimFindBusTrigger(const SimTriggerCondition& cond, const TestSignal* signals, const double* phase, double* dt) {
  for (int input = 0; input < 2; ++input) {
    const TestSignal& s = signals[input];
    if (s.shape != SignalShape::kBus || !s.bus || s.busLine != 0) continue;
    const SimBusWave& w = *s.bus;
    const SimTriggerCondition c = cond.type == kSpi ? SpiForWidth(cond, w.Setup().width) : cond;
    const double period = w.Setup().interval;
    const double now = (phase[input] - std::floor(phase[input])) * period;
    double best = -1;
    for (const SimBusMark& m : w.Marks()) {
      if (!Matches(c, w, m)) continue;
      const double d = m.at >= now ? m.at - now : m.at + period - now;
      if (best < 0 || d < best) best = d;
    }
    if (best < 0) return false;
    *dt = best;
    return true;
  }
  return false;
}

}  // namespace plat
