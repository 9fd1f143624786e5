#include "platform/sim/fpga/sim_decode_trigger.h"

#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_words.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_frontend.h"

namespace plat {

namespace {
constexpr double kCodesPerDiv = 25;

// The serial-bus timing words: the whole part above bit 10, the thousandths
// in bits 0-9.
double FixedPointValue(uint32_t word) { return double(word >> 10) + double(word & 1023) / 1000.0; }

// Coupling field code to the coupling: 1 AC, 4 HF reject, 2 LF reject.
int FieldCoupling(int code) { return code == 1 ? 1 : code == 4 ? 2 : code == 2 ? 3 : 0; }

// Eight bytes from four words, the first pair in the word at `first`.
void Bytes(const SimWordTable& f, int first, uint8_t* out) {
  for (int i = 0; i < 4; ++i) {
    const uint16_t w = f.Word(first - 2 * i);
    out[2 * i] = uint8_t(w >> 8);
    out[2 * i + 1] = uint8_t(w);
  }
}
}  // namespace

SimTriggerSettings SimDecodeTriggerWords(const uint16_t* words, const bool* written, int levelDac,
                                         int hysteresisDac) {
  namespace fe = simfe;
  const SimWordTable f{words};
  SimTriggerSettings t;
  t.source = f.Word(48);
  t.selectWord = f.Word(2);
  t.type = f.Word(84);
  t.slope = f.Word(92);
  t.when = f.Word(82);
  t.sweepCode = f.Word(72);
  t.sweep = t.sweepCode == 3 ? 2 : t.sweepCode;

  t.levelDac = levelDac;
  t.hysteresisDac = hysteresisDac;
  if (t.levelDac >= 0) {
    if (t.source == 0 || t.source == 1) {
      t.levelCode = fe::TrigLevelCode(t.source, t.levelDac);
    } else if (t.source == 3) {
      t.levelCode = (t.levelDac - fe::kExtTrigDacZero) / fe::kExtTrigDacPerCode;
      t.levelVolts = t.levelCode * fe::kExtTrigVoltsPerCode;
    }
  }
  t.couplingWord = f.Word(96);
  const int field0 = t.couplingWord & 0xF, field1 = t.couplingWord >> 4 & 0xF;
  t.bothChannels = field0 != 0 && field0 == field1;
  t.coupling = FieldCoupling(t.source == 1 && !t.bothChannels ? field1 : field0);
  t.comparator[0] = f.Word(88);
  t.comparator[1] = f.Word(90);
  t.sensitivity = f.Word(224);

  t.lowerUnits = f.Pair(102);
  t.upperUnits = f.Pair(260);
  t.lowerSeconds = t.lowerUnits * 4e-9;
  t.upperSeconds = t.upperUnits * 4e-9;
  t.videoLine = f.Word(76);
  t.videoStandard = f.Word(78);
  t.videoSync = f.Word(80);
  t.nthEdgeCount = f.Word(264);
  for (int i = 0; i < 4; ++i) t.pairWords[i] = f.Word(266 + 2 * i);
  t.codeWords[0] = f.Word(274);
  t.codeWords[1] = f.Word(276);

  if (!written[294]) return t;
  t.busKind = f.Word(294);
  t.bitTimeWord = f.Pair(296);
  t.perBitWord = f.Pair(300);
  t.bitTime = FixedPointValue(t.bitTimeWord);
  t.samplesPerBit = FixedPointValue(t.perBitWord);

  const uint16_t w308 = f.Word(308), w310 = f.Word(310);
  t.rs232 = {w308 & 1,      w308 >> 1 & 1,  w308 >> 2 & 1, w308 & 8 ? 1 : w308 & 16 ? 2 : 0,
             w308 >> 8 & 3, w308 >> 10 & 1, w310 & 15,     w310 >> 8};

  const uint16_t w314 = f.Word(314);
  t.i2c.tenBit = w314 >> 8 & 1;
  t.i2c.address = t.i2c.tenBit ? f.Word(312) & 0x3FF : (f.Word(312) & 0x3F8) >> 3;
  t.i2c.address2 = f.Word(332) & 0x3FF;
  t.i2c.scl = f.Word(334) & 1;
  t.i2c.sda = f.Word(334) >> 1 & 1;
  t.i2c.dataCount = w314 & 7;
  t.i2c.when = w314 >> 3 & 7;
  t.i2c.direction = w314 >> 9 & 3;
  const uint16_t d[3] = {f.Word(320), f.Word(318), f.Word(316)};
  const uint16_t m[3] = {f.Word(328), f.Word(326), f.Word(324)};
  t.i2c.data[0] = uint8_t(d[0]), t.i2c.data[1] = uint8_t(d[1] >> 8), t.i2c.data[2] = uint8_t(d[1]);
  t.i2c.data[3] = uint8_t(d[2] >> 8), t.i2c.data[4] = uint8_t(d[2]);
  t.i2c.mask[0] = uint8_t(m[0]), t.i2c.mask[1] = uint8_t(m[1] >> 8), t.i2c.mask[2] = uint8_t(m[1]);
  t.i2c.mask[3] = uint8_t(m[2] >> 8), t.i2c.mask[4] = uint8_t(m[2]);

  const uint16_t w336 = f.Word(336), w338 = f.Word(338), w376 = f.Word(376);
  t.spi.bitOrder = w336 >> 15 & 1;
  t.spi.mosiPolarity = w336 >> 14 & 1;
  t.spi.misoPolarity = w336 >> 13 & 1;
  t.spi.configWord = w336;
  t.spi.frameWord = w338;
  t.spi.whenK = w338 & 4;
  t.spi.clockEdge = w338 & 1;
  t.spi.csPolarity = w338 >> 1 & 1;
  t.spi.frameBits = w338 >> 8;
  t.spi.mosi = w376 >> 4 & 1;
  t.spi.clock = w376 >> 2 & 3;
  t.spi.cs = w376 & 3;
  t.spi.miso = w376 >> 7 & 1;
  for (int i = 0; i < 8; ++i) {
    t.spi.data[7 - i] = f.Word(344 + 2 * i);
    t.spi.mask[7 - i] = f.Word(360 + 2 * i);
  }

  t.can = {f.Word(528), f.Word(530), f.Word(534), f.Word(532), f.Word(536), w308 >> 10 & 1, {}, {}};
  Bytes(f, 350, t.can.data);
  Bytes(f, 366, t.can.mask);
  t.lin = {f.Word(538), f.Word(540), f.Word(542), w308 >> 10 & 1, {}, {}};
  Bytes(f, 350, t.lin.data);
  Bytes(f, 366, t.lin.mask);
  return t;
}

SimTriggerSettings SimDecodedTrigger() {
  SimFpga& f = Fpga();
  uint16_t words[kSimControlWords];
  bool written[kSimControlWords];
  SimCopyWords(words, written);
  return SimDecodeTriggerWords(words, written, f.DacValue(2), f.DacValue(3));
}

void SimApplyTrigger(const SimTriggerSettings& t, SimAcqSettings* s) {
  s->trigSource = t.source;
  s->trigSlope = t.slope;
  s->trigCoupling = t.coupling;
  SimTriggerCondition& c = s->trigCondition;
  c.type = t.type;
  c.when = t.when;
  c.lowerS = t.lowerSeconds;
  c.upperS = t.upperSeconds;
  c.nthCount = t.nthEdgeCount;
  c.source1 = t.pairWords[0];
  c.edge1 = t.pairWords[1];
  c.source2 = t.pairWords[2];
  c.edge2 = t.pairWords[3];
  c.position = t.when;
  c.codes[0] = t.codeWords[0];
  c.codes[1] = t.codeWords[1];
  c.videoStandard = t.videoStandard;
  c.videoSync = t.videoSync;
  c.videoLine = t.videoLine;
  // The comparator bytes: screen codes (DC), or signed codes from the
  // signal's mean (AC-referenced couplings).
  c.acLevels = t.coupling == 1 || t.coupling == 3;
  for (int ch = 0; ch < 2; ++ch)
    for (int k = 0; k < 2; ++k) {
      const int byte = t.comparator[k] >> (8 * ch) & 0xFF;
      const double codes = c.acLevels ? double(int8_t(uint8_t(byte))) : byte - s->ch[ch].zeroCode;
      c.levelV[ch][k] = codes * s->ch[ch].voltsPerDiv / kCodesPerDiv;
    }
  SimApplyBusTrigger(t, &c);
  c.busLines.sampleS = s->samplePeriodNs * 1e-9;
  if (t.levelDac < 0) return;
  if (t.source == 0 || t.source == 1) {
    const SimChannelSetting& c = s->ch[t.source];
    const bool ac = t.coupling == 1 || t.coupling == 3;
    // DC: the level code counts from the screen centre; AC: from the mean.
    const double codes = ac ? t.levelCode : 127 + t.levelCode - c.zeroCode;
    s->trigLevelV = codes * c.voltsPerDiv / kCodesPerDiv;
  } else if (t.source == 3) {
    s->trigLevelV = t.levelVolts;
  }
}

}  // namespace plat
