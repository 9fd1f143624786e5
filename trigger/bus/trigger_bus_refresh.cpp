// The serial-bus types' items copied into the run state's bus blocks, and
// the pattern packing they use.
#include <mutex>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "acquisition/models/x_system.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "trigger/bus/bus_patterns.h"
#include "trigger/bus/trigger_bus.h"

char SPI_bin_data[kSpiBits];
char CANID_bin_data[kCanIdBits];
char CANDATA_bin_data[kFrameDataBits];
char LINID_bin_data[kLinIdBits];
char LINDATA_bin_data[kFrameDataBits];
char CANIDMASK_bin_data[kCanIdBits];
char CANDATAMASK_bin_data[kFrameDataBits];
char LINIDMASK_bin_data[kLinIdBits];
char LINDATAMASK_bin_data[kFrameDataBits];
uint8_t I2cDataHex[kI2cPatternBytes];

std::recursive_mutex& BusPatternLock() {
  static std::recursive_mutex m;
  return m;
}
uint8_t I2cDataMask[kI2cPatternBytes];
uint8_t I2c_addr_Hex[2];

namespace {
constexpr int kWords = 8, kWordBits = 16;
constexpr double kTickHz = 100000000.0;  // the FPGA's bit-time clock

// Entry i of the 128 after the word-wise reversal of order 0.
char Ordered(const char* bits, int i, char order, int width) {
  if (order == 1 || width <= 0) return bits[i];
  int j = (i / width) * width + width - 1 - (i % width);
  if (j >= kSpiBits) j = kSpiBits - 1 - (j - kSpiBits);  // past the end: mirrored from the end
  return bits[std::clamp(j, 0, kSpiBits - 1)];
}

void Pack(const char* entries, short* out) {
  for (int w = 0; w < kWords; ++w) {
    uint16_t v = 0;
    for (int b = 0; b < kWordBits; ++b)
      if (entries[w * kWordBits + b] == 1) v = uint16_t(v | 1u << (kWordBits - 1 - b));
    out[w] = short(v);
  }
}

int16_t I16(int n) { return int16_t(TaskTrigger.Item(n) & 0xFFFF); }

// The baud of a type: its table entry, or the user value past the table.
int Baud(int item, int special, const int* table, int entries) {
  const int i = I16(item);
  const int baud = i >= 0 && i < entries ? table[i] : int(TaskTrigger.Item(special) & 0x7FFFFFFF);
  return std::max(baud, 1);
}

// The knob-owning one of two paired source items, else the second.
int16_t Paired(int first, int second) {
  return (TaskTrigger.Attr(first) & kTrigAttrKnob) ? I16(first) : I16(second);
}
}  // namespace

const int RS232BaudRate[kRs232Bauds] = {2400,   4800,   9600,   19200,   38400,   57600,   115200,
                                        128000, 230400, 460800, 921600, 1382400, 1843200, 2764800};
const int CANBaudRate[kCanBauds] = {10000, 20000, 25000,  31250,  33300,  37000,  50000,  62500,  68266, 83300,
                                    92238, 100000, 125000, 153000, 250000, 400000, 500000, 800000, 1000000};
const int LINBaudRate[kLinBauds] = {1200, 2400, 4800, 9600, 10417, 19200};

void bindata2hex(const char* bits, short* out, char order, int width) {
  std::printf("bindata2hex order %d width %d\n", order, width);
  char e[kSpiBits];
  for (int i = 0; i < kSpiBits; ++i) e[i] = Ordered(bits, i, order, width);
  Pack(e, out);
}

void bindata2Mask(const char* bits, short* out, short count, char order, int width) {
  std::printf("bindata2Mask order %d width %d\n", order, width);
  char m[kSpiBits];
  for (int i = 0; i < kSpiBits; ++i) m[i] = i < count && bits[i] == kBitAny ? 1 : 0;
  char e[kSpiBits];
  for (int i = 0; i < kSpiBits; ++i) e[i] = Ordered(m, i, order, width);
  Pack(e, out);
}

void CANbindata2Mask(const char* bits, char* mask, short count) {
  for (int i = 0; i < std::min<int>(count, kFrameDataBits); ++i) mask[i] = bits[i] == kBitAny ? 1 : 0;
}

void PackPatternBytes(const char* bits, uint8_t* out, bool asMask) {
  for (int b = 0; b < kFrameDataBits / 8; ++b) {
    uint8_t v = 0;
    for (int i = 0; i < 8; ++i) {
      const char x = bits[b * 8 + i];
      if (asMask ? x == 1 : x != 0) v = uint8_t(v | 0x80 >> i);
    }
    out[b] = v;
  }
}

BusSettings GatherBusSettings(int t, double sampleRate) {
  std::lock_guard<std::recursive_mutex> lock(BusPatternLock());
  BusSettings s{};
  s.type = t;
  const double rate = double(int64_t(sampleRate));
  auto timing = [&](int baud, float* ticks, float* samples) {
    *ticks = float(kTickHz / baud);
    *samples = float(rate / baud);
  };
  switch (t) {
    case kTrigRs232: {
      Rs232Trigger& u = s.rs232;
      s.source = u.source = I16(kTiRs232Source);
      u.baud = Baud(kTiRs232Baud, kTiRs232SpecialBps, RS232BaudRate, kRs232Bauds);
      timing(u.baud, &u.ticksPerBit, &u.samplesPerBit);
      u.polarity = I16(115), u.dataWidth = I16(116), u.bitOrder = I16(117), u.stopBits = I16(118);
      u.parity = I16(120), u.when = I16(121), u.data = I16(122);
      break;
    }
    case kTrigI2c: {
      I2cTrigger& i = s.i2c;
      i.sclSource = I16(126);
      s.source = Paired(126, 127);
      i.sdaSource = I16(127), i.direction = I16(128), i.when = I16(130), i.addressMode = I16(135);
      i.address = I16(136), i.address2 = I16(137), i.dataCount = I16(140);
      std::memcpy(i.data, I2cDataHex, sizeof i.data);
      std::memcpy(i.mask, I2cDataMask, sizeof i.mask);
      break;
    }
    case kTrigSpi: {
      SpiTrigger& p = s.spi;
      p.sclkSource = I16(161);
      s.source = Paired(161, 163);
      p.ssSource = 0, p.mosiSource = I16(163), p.misoSource = I16(165), p.ssPolarity = 0;
      p.sclkEdge = I16(167), p.mosiPolarity = I16(168), p.misoPolarity = I16(170), p.bitOrder = I16(171);
      p.bitWidth = I16(172), p.when = I16(173), p.idleTime = uint32_t(TaskTrigger.Item(175));
      p.dataLength = I16(176);
      short data[8], mask[8];
      bindata2hex(SPI_bin_data, data, char(p.bitOrder), p.bitWidth);
      bindata2Mask(SPI_bin_data, mask, short((p.dataLength * p.bitWidth) % 256), char(p.bitOrder), p.bitWidth);
      for (int w = 0; w < 8; ++w) p.data[w] = uint16_t(data[w]), p.mask[w] = uint16_t(mask[w]);
      break;
    }
    case kTrigCan: {
      CanTrigger& c = s.can;
      s.source = c.source = I16(196);
      c.signalType = I16(197), c.when = I16(200);
      c.baud = Baud(205, 206, CANBaudRate, kCanBauds);
      timing(c.baud, &c.ticksPerBit, &c.samplesPerBit);
      c.idFormat = I16(210), c.direction = I16(212), c.dataCount = I16(215);
      for (int i = 0; i < kCanIdBits; ++i) c.idBits[i] = CANID_bin_data[i] ? 1 : 0;
      CANbindata2Mask(CANID_bin_data, CANIDMASK_bin_data, kCanIdBits);
      std::memcpy(c.idMask, CANIDMASK_bin_data, kCanIdBits);
      PackPatternBytes(CANDATA_bin_data, c.data, false);
      CANbindata2Mask(CANDATA_bin_data, CANDATAMASK_bin_data, kFrameDataBits);
      PackPatternBytes(CANDATAMASK_bin_data, c.mask, true);
      break;
    }
    case kTrigLin: {
      LinTrigger& l = s.lin;
      s.source = l.source = I16(221);
      l.polarity = I16(222), l.version = I16(225), l.when = I16(230);
      l.baud = Baud(226, 227, LINBaudRate, kLinBauds);
      timing(l.baud, &l.ticksPerBit, &l.samplesPerBit);
      l.idParity = I16(228) == 0 ? 1 : 0;
      l.lengthMode = I16(235), l.lengthValue = I16(236), l.errorSel = I16(250), l.dataCount = I16(245);
      for (int i = 0; i < kLinIdBits; ++i) l.idBits[i] = LINID_bin_data[i] ? 1 : 0;
      CANbindata2Mask(LINID_bin_data, LINIDMASK_bin_data, kLinIdBits);
      std::memcpy(l.idMask, LINIDMASK_bin_data, kLinIdBits);
      PackPatternBytes(LINDATA_bin_data, l.data, false);
      CANbindata2Mask(LINDATA_bin_data, LINDATAMASK_bin_data, kFrameDataBits);
      PackPatternBytes(LINDATAMASK_bin_data, l.mask, true);
      break;
    }
    default: break;
  }
  return s;
}

void ApplyBusSettings(const BusSettings& s, _SysRunInfo& r) {
  r.trigSource = s.source;
  switch (s.type) {
    case kTrigRs232: r.rs232 = s.rs232; break;
    case kTrigI2c: r.i2c = s.i2c; break;
    case kTrigSpi: r.spi = s.spi; break;
    case kTrigCan: r.can = s.can; break;
    case kTrigLin: r.lin = s.lin; break;
    default: break;
  }
}
