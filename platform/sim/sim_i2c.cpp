#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/i2c.h"
#include "platform/root.h"

namespace plat {
namespace {
constexpr int kDeviceBytes = 256;
constexpr uint8_t kFirstDevice = 0x50;

struct Eeprom {
  std::mutex mu;
  uint8_t bytes[2 * kDeviceBytes];
  bool loaded = false;
  std::atomic<bool> openFails{false}, transfersFail{false};

  void Load() {
    if (loaded) return;
    std::memset(bytes, 0xFF, sizeof bytes);
    if (FILE* f = std::fopen(DevPath("eeprom.bin").c_str(), "rb")) {
      size_t n = std::fread(bytes, 1, sizeof bytes, f);
      (void)n;  // a short image keeps the rest blank
      std::fclose(f);
    }
    loaded = true;
  }
  void Save() {
    if (FILE* f = std::fopen(DevPath("eeprom.bin").c_str(), "wb")) {
      std::fwrite(bytes, 1, sizeof bytes, f);
      std::fclose(f);
    }
  }
  // The current byte address of each device (set by a write of one byte).
  uint8_t pointer[2] = {0, 0};
};

Eeprom& E() {
  static Eeprom e;
  return e;
}
}  // namespace

int I2cOpen(const char*) { return E().openFails ? -1 : 5; }
void I2cClose(int) {}

bool I2cTransfer(int handle, uint8_t device, const uint8_t* wr, int nw, uint8_t* rd, int nr) {
  Eeprom& e = E();
  if (handle <= 0 || e.transfersFail) return false;
  if (device < kFirstDevice || device > kFirstDevice + 1) return false;
  std::lock_guard<std::mutex> lock(e.mu);
  e.Load();
  const int dev = device - kFirstDevice;
  uint8_t* mem = e.bytes + dev * kDeviceBytes;
  if (nw > 0 && wr) {
    e.pointer[dev] = wr[0];
    if (nw > 1) {
      for (int i = 1; i < nw; ++i) mem[uint8_t(e.pointer[dev] + i - 1)] = wr[i];
      e.Save();
    }
  }
  for (int i = 0; i < nr && rd; ++i) rd[i] = mem[uint8_t(e.pointer[dev] + i)];
  return true;
}

void SimI2cOpenFails(bool fails) { E().openFails = fails; }
void SimI2cTransfersFail(bool fails) { E().transfersFail = fails; }

std::vector<uint8_t> SimEepromImage() {
  Eeprom& e = E();
  std::lock_guard<std::mutex> lock(e.mu);
  e.Load();
  return std::vector<uint8_t>(e.bytes, e.bytes + sizeof e.bytes);
}

void SimEepromSetImage(const std::vector<uint8_t>& image) {
  Eeprom& e = E();
  std::lock_guard<std::mutex> lock(e.mu);
  std::memset(e.bytes, 0xFF, sizeof e.bytes);
  std::memcpy(e.bytes, image.data(), std::min(image.size(), sizeof e.bytes));
  e.loaded = true;
  e.Save();
}

}  // namespace plat
