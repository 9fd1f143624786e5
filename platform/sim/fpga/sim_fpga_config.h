// The simulated FPGA's slave-serial configuration port, wired to GPIO bank 5,
// and the format of the project's own bitstream for it.
//
// Bitstream ("Data/FpgaBit/FPGA.bit"), shifted in most significant bit first:
//   any bytes (padding, ignored until the sync word is seen, as an FPGA does)
//   sync word   AA 99 55 66
//   length      payload byte count N, 4 bytes big-endian, N <= kMaxPayload
//   payload     N bytes of configuration frames
//   check       CRC-32 (IEEE 802.3, as zlib) of length and payload, big-endian
// DONE rises when the check matches; a length out of range or a wrong check
// pulls INIT_B low instead. Clocks after either are ignored until PROG_B.
//
// State kept in the instrument root:
//   dev/fpga_configured  "1" or "0": whether the FPGA holds a configuration.
//       Written "0" when PROG_B resets it and "1" when DONE rises. A root
//       without the file comes up configured (as after the board's start
//       script ran the loader); write "0" into it to make the board come up
//       unconfigured. An unconfigured FPGA does not answer the start-up probe.
//   dev/gpio5  the GPIO bank 5 registers and the last loading session, written
//       when the block is unmapped, one "key value" line each:
//         dr 0x...  gdir 0x...   data and direction registers (read back when
//                                the block is mapped; a fresh board has DR bit 3,
//                                PROG_B, high and GDIR 0)
//         prog_pulses N          PROG_B falling edges
//         cclk_edges N           rising CCLK edges clocked into the port
//         first HEX              the first (up to 16) bytes clocked in, "-" if none
//         done 0|1  init_b 0|1   the status pins at unmap
//       A line "map_fails 1" (written by a test) makes the mapping fail.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/devices/gpio.h"

namespace plat {

namespace fpgabit {
constexpr uint32_t kSyncWord = 0xAA995566u;
constexpr uint32_t kMaxPayload = 3u * 1024 * 1024 - 12;

inline uint32_t Crc32Update(uint32_t crc, uint8_t byte) {
  crc ^= byte;
  for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  return crc;
}
// CRC-32 of a whole buffer (initial value and final inversion as zlib).
inline uint32_t Crc32(const uint8_t* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) crc = Crc32Update(crc, data[i]);
  return ~crc;
}
}  // namespace fpgabit

// The configuration logic: reset by PROG_B, one bit per rising CCLK edge.
class SimConfigPort {
 public:
  static constexpr size_t kFirstBytes = 16;

  explicit SimConfigPort(bool configured = true) : done_(configured) {}

  void Reset();            // PROG_B low: configuration cleared, DONE low
  void Clock(bool din);    // one rising CCLK edge with PROG_B high

  bool Done() const { return done_; }
  bool InitB() const { return initB_; }
  uint64_t Edges() const { return edges_; }
  // The first bytes clocked in since the last reset, MSB first.
  size_t FirstCount() const { return edges_ / 8 < kFirstBytes ? size_t(edges_ / 8) : kFirstBytes; }
  const uint8_t* First() const { return first_; }

 private:
  enum class Stage { Hunt, Length, Payload, Check, Finished };
  void Byte(uint8_t b);

  bool done_;
  bool initB_ = true;
  uint64_t edges_ = 0;
  uint8_t first_[kFirstBytes] = {};
  Stage stage_ = Stage::Hunt;
  uint32_t window_ = 0;   // last 32 bits, while hunting for the sync word
  uint8_t acc_ = 0;       // bits of the byte being shifted in
  int accBits_ = 0;
  uint32_t field_ = 0;    // length or check being assembled
  int fieldBytes_ = 0;
  uint32_t length_ = 0, received_ = 0, crc_ = 0;
};

// The FPGA's configured state in the root ("dev/fpga_configured").
bool SimFpgaConfigured();
void SimSetFpgaConfigured(bool configured);

// The port behind a mapped GPIO bank 5 block (null for any other block).
const SimConfigPort* SimGpioPort(const GpioBlock* block);

}  // namespace plat
