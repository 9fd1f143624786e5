// The test-signal file of the simulated board: "<root>/dev/signals".
//
// The simulated FPGA re-reads the file whenever it changes (its size or time
// stamp), before the next acquisition, so signals can be changed while the
// instrument runs. Each line names one input and its signal; inputs the file
// does not name keep their signal. Blank lines and text after '#' are ignored.
//
//   <input> <shape> [freq=<Hz>] [amp=<V>] [offset=<V>] [duty=<0..1>] [noise=<V>]
//           [phase=<periods>] [widths=<s>,...] [heights=<0..1>,...] [gap=<s>]
//           [lines=625|525]
//
//   input   ch1, ch2 or ext (the external trigger input)
//   shape   sine, square, triangle, pulse, dc, noise, train or video
//   freq    frequency in Hz (0 .. 5e9; default 1000)
//   amp     peak amplitude in volts at the BNC (0 .. 10000; default 1)
//   offset  DC offset in volts (-10000 .. 10000; default 0)
//   duty    pulse: high fraction of a period (0 .. 1, exclusive; default 0.1)
//   noise   peak of uniform noise added to the shape, volts (0 .. 10000; default 0)
//   phase   lead in periods (-1 .. 1; default 0; 0.25 is 90 degrees)
//   widths  train: the high widths of up to 16 pulses, seconds
//   heights train: each pulse's height as a fraction of the swing (0 .. 1;
//           default 1; below 1 a runt)
//   gap     train: the low time after each pulse, seconds (default 1e-6)
//   lines   video: lines a frame (default 625); freq is the frame rate
//
// Example: a 1 kHz, 2 Vpp sine on CH1 and a 10 kHz pulse of 10 % duty from 0
// to 3.3 V on CH2:
//
//   ch1 sine freq=1000 amp=1
//   ch2 pulse freq=10000 amp=1.65 offset=1.65 duty=0.1
//
// Serial-bus traffic takes a line of its own that drives the inputs of its
// lines (sim_bus.h gives the encodings and the lines' inputs):
//
//   bus <kind> rate=<bit/s> interval=<s> data=<list> [level=<V>] [on=ch1|ch2]
//       [bits=5..9] [parity=none|odd|even] [stop=1|2] [msb=0|1]    (uart)
//       [width=4..32]                                               (spi)
//       [version=1|2]                                               (lin)
//       [error=<n>]
//
//   kind    uart, i2c, spi, can or lin
//   data    items separated by ',', numbers in hex:
//           uart  bytes: 41,42,43          spi  words: a5,3c
//           i2c   <addr>w|r[:<bytes>]: 50w:a5.01,50r:00
//           can   <id>[x][r][:<bytes>]: 123:11.22,1abcdefx:01,7ffr (x extended, r remote)
//           lin   <id>[:<bytes>]: 3c:11.22
//   error   item n is sent with the bus's error (wrong parity, missing ACK,
//           bad CRC, bad checksum)
//
// Example: "Hi" at 9600 baud, 8E1, every 10 ms on CH1:
//
//   bus uart rate=9600 parity=even interval=0.01 data=48,69
//
// A line that cannot be read (unknown input, shape or key, a value out of
// range, a field of another shape, such as duty= on a square) is skipped with
// a line on standard error; the rest of the file holds. Without the file the
// signals are those the tests set (by default a 2 Vpp sine, 500 kHz on CH1 and
// 1 kHz on CH2, and nothing at the external input).
#pragma once
#include <cstdint>
#include <string>

#include "platform/sim/acquisition/sim_signals.h"

namespace plat {

class SimSignalFile {
 public:
  // Reads the file when it changed since the last call and stores the signals
  // of the inputs it names in `signals` (kSignalInputs entries). True when the
  // file was read.
  bool Refresh(TestSignal* signals);

  // Parses one line of the format above; false (and `*input` untouched) for a
  // blank line, a comment or a line that cannot be read (`*error` says why).
  static bool ParseLine(const std::string& line, int* input, TestSignal* signal, std::string* error);

 private:
  bool seen_ = false;
  int64_t stampNs_ = 0;
  int64_t size_ = -1;
};

}  // namespace plat
