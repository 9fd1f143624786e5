// GPIO bank 5 on the simulated board: the registers of the block, wired to the
// simulated FPGA's slave-serial configuration port. Nothing of the host is
// opened or mapped. Register accesses are plain calls with no file access or
// locking, so a bitstream clocked bit by bit stays fast; one mapping is used
// by one thread (the loader).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/devices/gpio.h"
#include "platform/root.h"
#include "platform/sim/fpga/sim_fpga_config.h"

namespace plat {

struct GpioBlock {
  size_t length = 0;
  uint32_t dr = 0, gdir = 0;
  bool prog = true, cclk = false;   // pin levels as the FPGA sees them
  uint64_t progPulses = 0;
  SimConfigPort port;
};

namespace {
constexpr uint32_t kGpio5Base = 0x020AC000u;
constexpr size_t kBlockSize = 0x4000;   // address space of one GPIO block
constexpr uint32_t kDr = 0x0, kGdir = 0x4, kPsr = 0x8;
constexpr uint32_t kInitB = 1u << 0, kDone = 1u << 1, kCclk = 1u << 2, kProgB = 1u << 3,
                   kDin = 1u << 4;
constexpr int kMemHandle = 3;

const char* kStateFile = "fpga_configured";
const char* kBlockFile = "gpio5";

// Reads the "key value" lines of dev/gpio5 that the block is restored from.
void LoadBlock(GpioBlock& b, bool& mapFails) {
  b.dr = kProgB;
  b.gdir = 0;
  mapFails = false;
  std::ifstream f(DevPath(kBlockFile));
  std::string key, value;
  while (f >> key >> value) {
    unsigned long v = std::strtoul(value.c_str(), nullptr, 0);
    if (key == "dr") b.dr = uint32_t(v);
    else if (key == "gdir") b.gdir = uint32_t(v);
    else if (key == "map_fails") mapFails = v != 0;
  }
}

void SaveBlock(const GpioBlock& b) {
  std::ostringstream out;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08x", b.dr);
  out << "dr " << hex << "\n";
  std::snprintf(hex, sizeof hex, "0x%08x", b.gdir);
  out << "gdir " << hex << "\n";
  out << "prog_pulses " << b.progPulses << "\ncclk_edges " << b.port.Edges() << "\nfirst ";
  for (size_t i = 0; i < b.port.FirstCount(); ++i) {
    std::snprintf(hex, sizeof hex, "%02x", b.port.First()[i]);
    out << hex;
  }
  if (b.port.FirstCount() == 0) out << "-";
  out << "\ndone " << b.port.Done() << "\ninit_b " << b.port.InitB() << "\n";
  std::ofstream(DevPath(kBlockFile)) << out.str();
}

// Levels of the configuration pins after a DR or GDIR write: an output drives
// its DR bit; PROG_B is pulled up and CCLK and DIN pulled down when inputs.
void Drive(GpioBlock& b) {
  bool prog = (b.gdir & kProgB) ? (b.dr & kProgB) != 0 : true;
  bool cclk = (b.gdir & kCclk) ? (b.dr & kCclk) != 0 : false;
  bool din = (b.gdir & kDin) ? (b.dr & kDin) != 0 : false;
  if (b.prog && !prog) {
    ++b.progPulses;
    b.port.Reset();
    SimSetFpgaConfigured(false);
  }
  if (prog && !b.cclk && cclk) {
    bool wasDone = b.port.Done();
    b.port.Clock(din);
    if (!wasDone && b.port.Done()) SimSetFpgaConfigured(true);
  }
  b.prog = prog;
  b.cclk = cclk;
}
}  // namespace

void SimConfigPort::Reset() {
  *this = SimConfigPort(false);
}

void SimConfigPort::Clock(bool din) {
  if (edges_ / 8 < kFirstBytes) {
    uint8_t& f = first_[edges_ / 8];
    f = uint8_t(f << 1 | (din ? 1 : 0));
  }
  ++edges_;
  switch (stage_) {
    case Stage::Finished:
      return;
    case Stage::Hunt:
      window_ = window_ << 1 | (din ? 1u : 0u);
      if (window_ == fpgabit::kSyncWord) {
        stage_ = Stage::Length;
        crc_ = 0xFFFFFFFFu;
      }
      return;
    default:
      acc_ = uint8_t(acc_ << 1 | (din ? 1 : 0));
      if (++accBits_ == 8) {
        accBits_ = 0;
        Byte(acc_);
      }
  }
}

void SimConfigPort::Byte(uint8_t b) {
  if (stage_ != Stage::Check) crc_ = fpgabit::Crc32Update(crc_, b);
  if (stage_ == Stage::Payload) {
    if (++received_ == length_) stage_ = Stage::Check;
    return;
  }
  field_ = field_ << 8 | b;
  if (++fieldBytes_ < 4) return;
  fieldBytes_ = 0;
  if (stage_ == Stage::Length) {
    length_ = field_;
    received_ = 0;
    if (length_ > fpgabit::kMaxPayload) {
      initB_ = false;
      stage_ = Stage::Finished;
    } else {
      stage_ = length_ == 0 ? Stage::Check : Stage::Payload;
    }
  } else {
    bool ok = field_ == ~crc_;
    done_ = ok;
    initB_ = ok;
    stage_ = Stage::Finished;
  }
  field_ = 0;
}

bool SimFpgaConfigured() {
  std::ifstream f(DevPath(kStateFile));
  char c = '1';
  if (!(f >> c)) return true;
  return c != '0';
}

void SimSetFpgaConfigured(bool configured) {
  std::ofstream(DevPath(kStateFile)) << (configured ? "1\n" : "0\n");
}

const SimConfigPort* SimGpioPort(const GpioBlock* block) {
  return block ? &block->port : nullptr;
}

int MemOpen() { return kMemHandle; }

void MemClose(int) {}

GpioBlock* GpioMap(int mem, uint32_t physBase, size_t length) {
  if (mem != kMemHandle || physBase != kGpio5Base || length == 0 || length > kBlockSize)
    return nullptr;
  GpioBlock* b = new GpioBlock;
  bool mapFails = false;
  LoadBlock(*b, mapFails);
  if (mapFails) {
    delete b;
    return nullptr;
  }
  b->port = SimConfigPort(SimFpgaConfigured());
  b->prog = (b->gdir & kProgB) ? (b->dr & kProgB) != 0 : true;
  b->cclk = (b->gdir & kCclk) ? (b->dr & kCclk) != 0 : false;
  b->length = length;
  return b;
}

void GpioUnmap(GpioBlock* block) {
  if (!block) return;
  SaveBlock(*block);
  delete block;
}

uint32_t GpioRead(GpioBlock* b, uint32_t offset) {
  if (!b || offset % 4 || offset + 4 > b->length) return 0;
  switch (offset) {
    case kDr: return b->dr;
    case kGdir: return b->gdir;
    case kPsr: {
      uint32_t in = (b->port.InitB() && b->prog ? kInitB : 0) | (b->port.Done() ? kDone : 0);
      return (b->dr & b->gdir) | (in & ~b->gdir);
    }
    default: return 0;
  }
}

void GpioWrite(GpioBlock* b, uint32_t offset, uint32_t value) {
  if (!b || offset % 4 || offset + 4 > b->length) return;
  if (offset == kDr) b->dr = value;
  else if (offset == kGdir) b->gdir = value;
  else return;
  Drive(*b);
}

}  // namespace plat
