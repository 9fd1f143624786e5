#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/devices/i2c.h"
#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"

namespace plat {
namespace {
constexpr int kDeviceBytes = 256;
constexpr int kDevices = 2;
constexpr uint8_t kFirstDevice = 0x50;
constexpr int kHandle = 5;

// The two EEPROMs. The image is read from the root's file on first use and
// again whenever the root changes; every write stores the whole image.
struct Eeprom {
  std::mutex mu;
  uint8_t bytes[kDevices * kDeviceBytes];
  std::string path;        // the file the image belongs to ("" not loaded)
  uint8_t pointer[kDevices] = {0, 0};  // each device's current byte address
  std::atomic<bool> openFails{false}, transfersFail{false};
  std::atomic<int> transfers{0};

  // False while no root is chosen.
  bool Load() {
    if (RootDir().empty()) return false;
    std::string p = DevPath("eeprom.bin");
    if (p == path) return true;
    std::memset(bytes, 0xFF, sizeof bytes);
    if (FILE* f = std::fopen(p.c_str(), "rb")) {
      size_t n = std::fread(bytes, 1, sizeof bytes, f);
      (void)n;  // a short image keeps the rest blank
      std::fclose(f);
    }
    path = p;
    pointer[0] = pointer[1] = 0;
    return true;
  }
  // Written over in place: a file truncated and written again is flushed to
  // the disk when closed, which made every setting stored cost milliseconds.
  void Save() {
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (f && (std::fseek(f, 0, SEEK_END) != 0 || std::ftell(f) != long(sizeof bytes))) {
      std::fclose(f);  // not an image of ours: written anew
      f = nullptr;
    }
    if (f) std::rewind(f);
    else f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes, 1, sizeof bytes, f);
    std::fclose(f);
  }
};

Eeprom& E() {
  static Eeprom e;  // built on first use, safe during static initialisation
  return e;
}
}  // namespace

int I2cOpen(const char*) { return E().openFails ? -1 : kHandle; }
void I2cClose(int) {}

bool I2cTransfer(int handle, uint8_t device, const uint8_t* wr, int nw, uint8_t* rd, int nr) {
  Eeprom& e = E();
  if (handle != kHandle || e.transfersFail) return false;
  if (device < kFirstDevice || device >= kFirstDevice + kDevices) return false;  // no answer
  if (nw < 0 || nr < 0 || (nw > 0 && !wr) || (nr > 0 && !rd)) return false;
  std::lock_guard<std::mutex> lock(e.mu);
  if (!e.Load()) return false;
  const int dev = device - kFirstDevice;
  uint8_t* mem = e.bytes + dev * kDeviceBytes;
  uint8_t& at = e.pointer[dev];
  if (nw > 0) {
    at = wr[0];
    for (int i = 1; i < nw; ++i) mem[at++] = wr[i];  // the address wraps inside the device
    if (nw > 1) e.Save();
  }
  for (int i = 0; i < nr; ++i) rd[i] = mem[at++];
  ++e.transfers;
  return true;
}

void SimI2cOpenFails(bool fails) { E().openFails = fails; }
void SimI2cTransfersFail(bool fails) { E().transfersFail = fails; }
int SimI2cTransferCount() { return E().transfers; }

std::vector<uint8_t> SimEepromImage() {
  Eeprom& e = E();
  std::lock_guard<std::mutex> lock(e.mu);
  if (!e.Load()) return std::vector<uint8_t>(sizeof e.bytes, 0xFF);
  return std::vector<uint8_t>(e.bytes, e.bytes + sizeof e.bytes);
}

void SimEepromSetImage(const std::vector<uint8_t>& image) {
  Eeprom& e = E();
  std::lock_guard<std::mutex> lock(e.mu);
  if (!e.Load()) return;
  std::memset(e.bytes, 0xFF, sizeof e.bytes);
  std::memcpy(e.bytes, image.data(), std::min(image.size(), sizeof e.bytes));
  e.Save();
}

}  // namespace plat
