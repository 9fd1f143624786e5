// The simulated FPGA's serial-bus decoder: it reads the sampled lines of the
// sources the bus words name, at the bit time, width, parity, polarity and
// bit order they give, as the FPGA's decoder does; its results are the decode
// records (sim_bus_decode.h) and the points the bus trigger can fire at
// (sim_bus_trigger.cpp). A wrong setting gives what such a decoder gives:
// framing or parity errors, garbage, or nothing.
//
// What it reads of the words (sim_decode_trigger.h):
//   294 the bus; 296/298 the bit time (10 ns units; SPI: the idle time that
//   ends a frame, 4 ns units)
//   RS232 308: bit 0 polarity (1 positive: a 1 is the high level, idle high;
//         0 negative: the line inverted), bit 1 bit order (1 LSB first),
//         bit 2 two stop bits, 8 odd / 16 even parity, bit 10 the source;
//         310 the data bits
//   I2C   334: bit 0 the SCL source, bit 1 the SDA source
//   SPI   376: bits 2-3 the clock source, bit 4 MOSI; 338 bit 0 the clock
//         edge data is taken on (1 rising); 336 bit 14 MOSI polarity (1
//         positive), bit 15 the bit order (1 MSB first), bits 1-6 the width;
//         no chip select: an idle line at least the idle time long ends a frame
//   CAN   308 bit 10 the source; 530 bit 13 the signal (0 CAN-L: dominant is
//         the low level, 1 CAN-H: dominant high)
//   LIN   308 bit 10 the source; 538 bits 0-3 polarity + 1 (1 normal, 2
//         inverted), bits 4-6 the version (0 classic checksum, 1 enhanced,
//         2 either)
// A line is high where its sample lies above the source's comparator level.
//
// Records (FPGA codes): RS232 byte 2, parity error 4, framing error 3; I2C
// address 0 (write) or 1 (read) with the 7-bit address, data 2, a byte the
// slave did not acknowledge 4; SPI word 2; CAN identifier 10 (extended 5),
// DLC 6, data 2, CRC 7, ACK 30 (data 1 when missing), error frame 8,
// overload frame 9, stuff error 31; LIN break 12, sync 13 (28 when not 0x55),
// identifier 10 (138 with wrong parity bits), data 2, checksum 14 (15 wrong).
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/sim/bus/sim_bus.h"

namespace plat {

struct SimTriggerSettings;

// The bus settings the decoder works with, from the words.
struct SimBusLines {
  int kind = -1;        // word 294: 0 RS232, 1 I2C, 2 SPI, 3 CAN, 4 LIN; -1 none
  int input[2] = {0, 1};  // inputs of line 0 (UART, CAN, LIN; I2C SCL; SPI clock) and line 1
  double bitS = 0;      // seconds a bit (RS232, CAN, LIN)
  double idleS = 0;     // SPI: the idle time that ends a frame
  double sampleS = 0;   // the sample period the words give (0 none)
  bool positive = true;  // a 1 is the high level (RS232, SPI data, LIN; CAN: dominant low)
  bool lsbFirst = true;
  int width = 8;        // data bits (RS232) or word width (SPI)
  int parity = 0;       // RS232: 0 none, 1 odd, 2 even
  int stops = 1;
  bool risingClock = true;  // SPI
  int linVersion = 2;   // 0 classic, 1 enhanced, 2 either
};
SimBusLines SimBusLinesOf(const SimTriggerSettings& t);

// The lines as sampled: whether input `input` lies above its level at sample
// k (time t0 + k x step seconds) of a span of `samples` samples.
struct SimLineSamples {
  double t0 = 0, step = 1e-9;
  int64_t samples = 0;
  std::function<bool(int input, int64_t k)> high;
};

struct SimDecodedEvent {
  double start, end;  // seconds
  uint8_t code;       // the FPGA's record code
  uint32_t data;
};

struct SimDecodedMark {
  double at;  // seconds
  BusMark kind;
  uint32_t value;
  bool read = false;       // I2C: the frame's direction
  int32_t address = -1;    // I2C address or CAN identifier of the frame
  bool remote = false;     // CAN remote frame
};

struct SimDecoded {
  std::vector<SimDecodedEvent> events;
  std::vector<SimDecodedMark> marks;
};

// Decodes the span; stops after `maxEvents` events.
void SimDecodeBusLines(const SimBusLines& bus, const SimLineSamples& s, size_t maxEvents, SimDecoded* out);

}  // namespace plat
