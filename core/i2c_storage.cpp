#include "core/i2c_storage.h"

#include <cstdio>
#include <cstring>

#include "platform/i2c.h"

I2C I2cStorage;

namespace {
constexpr const char* kBus = "/dev/i2c-1";
constexpr int kLastAddress = 511;
}  // namespace

I2C::I2C() { I2C_Init(); }

int I2C::I2C_Init() {
  if (fd_ > 0) return 0;
  fd_ = plat::I2cOpen(kBus);
  if (fd_ <= 0) {
    std::printf("Open %s failed\n", kBus);
    fd_ = -1;
    return -1;
  }
  std::printf("Open %s Success.\n", kBus);
  return 0;
}

bool I2C::Write(int address, const uint8_t* bytes, int n) {
  if (fd_ <= 0 || address < 0 || address + n - 1 > kLastAddress) return false;
  for (int i = 0; i < n; ++i) {
    int a = address + i;
    uint8_t frame[2] = {uint8_t(a & 0xFF), bytes[i]};
    if (!plat::I2cTransfer(fd_, uint8_t(0x50 + (a >> 8)), frame, 2, nullptr, 0)) return false;
  }
  return true;
}

bool I2C::Read(int address, uint8_t* bytes, int n) {
  if (fd_ <= 0 || address < 0 || address + n - 1 > kLastAddress) return false;
  for (int i = 0; i < n; ++i) {
    int a = address + i;
    uint8_t at = uint8_t(a & 0xFF);
    if (!plat::I2cTransfer(fd_, uint8_t(0x50 + (a >> 8)), &at, 1, &bytes[i], 1)) return false;
  }
  return true;
}

uint8_t I2C::I2C_WriteU8(int address, uint8_t value) { return Write(address, &value, 1) ? value : 255; }

uint16_t I2C::I2C_WriteU16(int address, uint16_t value) {
  uint8_t b[2] = {uint8_t(value >> 8), uint8_t(value)};
  Write(address, b, 2);
  return value;
}

uint32_t I2C::I2C_WriteU32(int address, uint32_t value) {
  uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  Write(address, b, 4);
  return value;
}

float I2C::I2C_WriteF32(int address, float value) {
  uint8_t b[4];
  std::memcpy(b, &value, 4);
  Write(address, b, 4);
  return value;
}

uint8_t I2C::I2C_ReadU8(int address) {
  uint8_t v = 0;
  return Read(address, &v, 1) ? v : 0;
}

bool I2C::I2C_TryReadU8(int address, uint8_t* value) { return Read(address, value, 1); }

int16_t I2C::I2C_ReadU16(int address) {
  uint8_t b[2] = {0, 0};
  if (!Read(address, b, 2)) return 0;
  return int16_t(uint16_t(b[0] << 8 | b[1]));
}

uint32_t I2C::I2C_ReadU32(int address) {
  uint8_t b[4] = {0, 0, 0, 0};
  if (!Read(address, b, 4)) return 0;
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

float I2C::I2C_ReadF32(int address) {
  uint8_t b[4] = {0, 0, 0, 0};
  float v = 0;
  if (Read(address, b, 4)) std::memcpy(&v, b, 4);
  return v;
}
