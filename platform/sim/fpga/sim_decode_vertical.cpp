#include "platform/sim/fpga/sim_decode_vertical.h"

#include "platform/sim/acquisition/sim_acquire.h"
#include "platform/sim/fpga/sim_decode_words.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/sim/acquisition/sim_frontend.h"
#include "platform/sim/acquisition/sim_frontend_errors.h"

namespace plat {
namespace {
constexpr int kInvertWord = 204;
constexpr int kGroundWord = 206;
constexpr int kGroundLevelWord = 208;
constexpr int kPositionWord = 212;
constexpr int kFineGainWord[2] = {214, 216};
constexpr int kSoftOffsetWord[2] = {218, 220};

struct FrontEndBits {
  uint32_t preamp, att10, att100, gain1, gain2, dc, bw;
};
constexpr FrontEndBits kBits[2] = {
    {0x20, 0x04, 0x02, 0x80, 0x40, 1, 16},
    {0x100, 0x1000, 0x400, 0x8000, 0x4000, 512, 8192},
};

// Volts/div of the range the bits select, or 0 when they select none.
double RangeVdiv(const FrontEndBits& k, uint32_t w) {
  const uint32_t att = w & (k.preamp | k.att10 | k.att100);
  double base;
  if (att == 0)
    base = 0.01;
  else if (att == k.preamp)
    base = 0.002;
  else if (att == k.att10)
    base = 0.1;
  else if (att == k.att100)
    base = 1.0;
  else if (att == (k.att10 | k.att100))
    base = 10.0;
  else
    return 0;
  const uint32_t gain = w & (k.gain1 | k.gain2);
  const double step = gain == k.gain1 ? 1.0 : gain == k.gain2 ? 2.0 : gain == 0 ? 0.5 : 5.0;
  return base * step;
}
}  // namespace

SimChannelSettings SimDecodeChannelWords(int ch, const uint16_t* words, const bool* written, uint32_t frontEnd,
                                         int offsetDac) {
  SimChannelSettings s;
  if (ch < 0 || ch > 1 || !words || !written) return s;
  const SimWordTable t{words};
  const FrontEndBits& k = kBits[ch];

  s.rangeVdiv = RangeVdiv(k, frontEnd);
  s.rangeValid = s.rangeVdiv > 0;
  if (written[kFineGainWord[ch]]) {
    const uint16_t g = t.Word(kFineGainWord[ch]);
    s.fineGain = (g >> 8) + (g & 0xFF) / 255.0;
  }
  s.vdiv = s.fineGain > 0 ? s.rangeVdiv / s.fineGain : 0;

  s.ground = t.Word(kGroundWord) >> ch & 1;
  s.groundLevel = t.Word(kGroundLevelWord) >> (8 * ch) & 0xFF;
  s.coupling = s.ground ? 2 : (frontEnd & k.dc) ? 0 : 1;
  s.bwLimit = (frontEnd & k.bw) != 0;

  s.offsetDac = offsetDac;
  s.inverted = t.Word(kInvertWord) >> ch & 1;
  if (s.offsetDac >= 0) {
    const double p = simfe::ZeroPosition(ch, s.offsetDac) + FrontEndOffsetError(ch, s.rangeVdiv);
    s.zeroPosition = s.inverted ? 255.0 - p : p;  // inverted samples put 0 V at the mirror
    s.offsetVolts = (s.zeroPosition - 127.0) * s.vdiv / 25.0;
  }
  s.positionByte = t.Word(kPositionWord) >> (8 * ch) & 0xFF;
  s.softOffset = int16_t(t.Word(kSoftOffsetWord[ch]));
  return s;
}

SimChannelSettings SimDecodedChannel(int ch) {
  SimFpga& f = Fpga();
  uint16_t words[kSimControlWords];
  bool written[kSimControlWords];
  SimCopyWords(words, written);
  return SimDecodeChannelWords(ch, words, written, f.FrontEndWord(), ch == 0 || ch == 1 ? f.DacValue(ch) : -1);
}

void SimApplyVertical(int ch, const SimChannelSettings& v, SimAcqSettings* s) {
  if (ch < 0 || ch > 1 || !s || !v.rangeValid || v.offsetDac < 0) return;
  SimChannelSetting& c = s->ch[ch];
  c.voltsPerDiv = v.vdiv;
  // The samples are inverted after the offset: the zero code is the one
  // before the mirror.
  c.zeroCode = v.inverted ? 255.0 - v.zeroPosition : v.zeroPosition;
  c.coupling = v.coupling;
  c.invert = v.inverted;
}

}  // namespace plat
