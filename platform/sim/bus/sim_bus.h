// Serial-bus traffic on the simulated board's inputs: a bus, its bit rate and
// settings, and the bytes or frames it sends, repeated every `interval`
// seconds. The traffic is encoded bit by bit into the logic levels of one or
// two lines (drawn on CH1 and CH2 as 0 V and `level` volts), together with
// the records the FPGA's decoder makes for it and the points a bus trigger
// can fire at.
//
// Lines: UART, CAN and LIN one line (CH1, or CH2 with on=ch2); I2C SCL on CH1
// and SDA on CH2; SPI SCLK on CH1 and MOSI on CH2.
//
// Encodings (T = 1 / rate):
//   uart  idle high; start bit, `bits` data bits LSB first (msb=1: MSB first),
//         parity (none, odd, even), `stop` stop bits; one idle bit between bytes
//   i2c   start (SDA falls with SCL high), 7-bit address and R/W, ACK, data
//         bytes each followed by an ACK (a read's last byte by the master's
//         NACK), stop; SCL high in the second half of each bit
//   spi   mode 0 (clock idle low, data taken on the rising edge), words of
//         `width` bits MSB first, 4 idle bits between words
//   can   standard or extended data and remote frames: SOF, identifier, RTR,
//         IDE, reserved bits, DLC, data, CRC-15 and its delimiter with bit
//         stuffing over SOF..CRC, ACK slot (driven by the receivers), ACK
//         delimiter, 7 EOF bits and 3 intermission bits; dominant is low
//   lin   break (13 dominant bits and a delimiter), sync 0x55, protected
//         identifier, data bytes and the checksum (version=1 classic over the
//         data, 2 enhanced over identifier and data, except the diagnostic
//         identifiers 0x3C and 0x3D), each a UART byte
// error=N[:kind] sends item N (the first is 1) with an error of the bus (the first kind
// without one): UART parity (a wrong parity bit) or framing (the stop bits
// low, then a bit of idle); I2C nack (no acknowledge for frame N's first data
// byte: the master stops there) or restart (frame N ends without a stop: the
// next one begins with a repeated start); CAN crc (a wrong CRC: not
// acknowledged, then an error frame), stuff (a sixth equal bit where the
// stuff bit belongs, from the first one due, then an error frame) or overload
// (an overload frame in the intermission after frame N); LIN checksum.
//
// Decode records (the FPGA's codes as this board makes them): UART byte 2,
// parity error 4; I2C address 0 (write) or 1 (read) with the 7-bit address,
// data byte 2, a byte not acknowledged 4; SPI word 2; CAN identifier 10
// (extended 5), DLC 6, data 2, CRC 7, ACK 30 (data 1 when missing), error
// frame 8; LIN break 12, sync 13, identifier 10, data 2, checksum 14 (15 when
// wrong).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

enum class BusKind { kUart, kI2c, kSpi, kCan, kLin };
enum class BusError { kDefault, kParity, kFraming, kNack, kRestart, kCrc, kStuff, kOverload, kChecksum };

struct SimBusFrame {
  uint32_t id = 0;  // I2C address, CAN or LIN identifier, or the UART byte / SPI word
  bool read = false;       // I2C
  bool extended = false;   // CAN
  bool remote = false;     // CAN
  std::vector<uint8_t> data;
};

struct SimBusSetup {
  BusKind kind = BusKind::kUart;
  double rate = 9600;        // bits per second
  double interval = 0.01;    // seconds from one burst's start to the next
  double level = 3.3;        // volts of a high line
  int firstInput = 0;        // the input of line 0 (line 1 is always CH2)
  int bits = 8;              // UART data bits
  int parity = 0;            // UART: 0 none, 1 odd, 2 even
  int stop = 1;              // UART stop bits
  bool msbFirst = false;     // UART
  int width = 8;             // SPI word width
  int version = 2;           // LIN checksum: 1 classic, 2 enhanced
  int error = -1;            // item sent with the bus's error
  BusError errorKind = BusError::kDefault;
  std::vector<SimBusFrame> frames;
};

// A point of the traffic where the FPGA's decoder or trigger sees something.
enum class BusMark {
  kStart, kStop, kAddress, kData, kId, kError, kNack, kEnd, kRemote, kSync,
  kFrameError, kRepeatedStart, kOverload, kStuffError,
};

struct SimBusEvent {
  double start, end;  // seconds from the burst's start
  uint8_t code;       // the decode record's FPGA code
  uint32_t data;
};

struct SimBusMark {
  double at;  // seconds from the burst's start
  BusMark kind;
  uint32_t value;
  int frame;
  bool read;  // I2C direction of the frame
};

class SimBusWave {
 public:
  explicit SimBusWave(const SimBusSetup& setup);

  const SimBusSetup& Setup() const { return setup_; }
  int Lines() const { return lines_; }
  // The level of `line` (0 or 1) at `t` seconds into a burst period.
  bool High(int line, double t) const;
  // Whether the line changes level within [from, to) of a period (to - from < interval).
  bool ChangesWithin(int line, double from, double to) const;
  double Duration() const { return duration_; }  // of one burst
  const std::vector<SimBusEvent>& Events() const { return events_; }
  const std::vector<SimBusMark>& Marks() const { return marks_; }
  // The bit sequence of one line as edges: the level at 0 and the times it toggles.
  bool IdleLevel(int line) const { return idle_[line]; }
  const std::vector<double>& Edges(int line) const { return edges_[line]; }

  // Line builders for the encoders.
  void Level(int line, double t, bool high);
  void Event(double start, double end, uint8_t code, uint32_t data) { events_.push_back({start, end, code, data}); }
  void Mark(double at, BusMark kind, uint32_t value, int frame, bool read = false) {
    marks_.push_back({at, kind, value, frame, read});
  }
  void End(double t) { duration_ = t > duration_ ? t : duration_; }

 private:
  SimBusSetup setup_;
  int lines_ = 1;
  bool idle_[2] = {true, true};
  bool last_[2] = {true, true};
  std::vector<double> edges_[2];
  std::vector<SimBusEvent> events_;
  std::vector<SimBusMark> marks_;
  double duration_ = 0;
};

// Encodes the traffic (sim_bus_encode.cpp).
void SimEncodeBus(SimBusWave* w);

// Reads a "bus" line of the signal file (sim_signal_file.h): false with
// `*error` for one that cannot be read.
bool SimParseBusLine(const std::string& rest, SimBusSetup* setup, std::string* error);

// The CAN CRC-15 of a bit sequence (one bit per byte).
uint16_t SimCanCrc(const std::vector<uint8_t>& bits);
// The LIN protected identifier and checksum.
uint8_t SimLinPid(uint8_t id);
uint8_t SimLinChecksum(uint8_t pid, const std::vector<uint8_t>& data, bool enhanced);

}  // namespace plat
