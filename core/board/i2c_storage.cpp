#include "core/board/i2c_storage.h"

#include <cstdio>
#include <cstring>

#include "platform/devices/devices.h"
#include "platform/devices/i2c.h"

I2C I2cStorage;

namespace {
constexpr const char* kBus = plat::kEepromBusDevice;

// Device and byte address of an EEPROM address: 0..255 on the first device,
// 256..510 at byte (address - 255) of the second.
void Locate(int address, uint8_t* device, uint8_t* at) {
  if (address < kEepromDeviceBytes) {
    *device = kEepromFirstDevice;
    *at = uint8_t(address);
  } else {
    *device = kEepromFirstDevice + 1;
    *at = uint8_t(address - (kEepromDeviceBytes - 1));
  }
}

bool InRange(int address, int n) { return address >= 0 && n > 0 && address + n - 1 <= kEepromLastAddress; }

iic_item Item(int16_t type, int address) {
  iic_item it;
  std::memset(&it, 0, sizeof it);
  it.type = type;
  it.address = int16_t(address);
  return it;
}
}  // namespace

iic_item IicU8(int address, uint8_t v) {
  iic_item it = Item(kEeU8, address);
  it.value.u8 = v;
  return it;
}
iic_item IicU16(int address, uint16_t v) {
  iic_item it = Item(kEeU16, address);
  it.value.u16 = v;
  return it;
}
iic_item IicU32(int address, uint32_t v) {
  iic_item it = Item(kEeU32, address);
  it.value.u32 = v;
  return it;
}
iic_item IicF32(int address, float v) {
  iic_item it = Item(kEeF32, address);
  it.value.f32 = v;
  return it;
}
iic_item IicEnd() { return Item(kEeEnd, 0); }

I2C::I2C() { I2C_Init(); }

int I2C::I2C_Init() {
  if (fd_ >= 0) return 0;
  int fd = plat::I2cOpen(kBus);
  if (fd < 0) {
    std::printf("Open %s failed\n", kBus);
    fd_ = -1;
    return -1;
  }
  fd_ = fd;
  std::printf("Open %s Success.\n", kBus);
  return 0;
}

bool I2C::Write(int address, const uint8_t* bytes, int n) {
  if (fd_ < 0 || !InRange(address, n)) return false;
  for (int i = 0; i < n; ++i) {
    uint8_t frame[2];
    uint8_t device;
    Locate(address + i, &device, &frame[0]);
    frame[1] = bytes[i];
    if (!plat::I2cTransfer(fd_, device, frame, 2, nullptr, 0)) return false;
  }
  return true;
}

bool I2C::Read(int address, uint8_t* bytes, int n) {
  if (fd_ < 0 || !InRange(address, n)) return false;
  for (int i = 0; i < n; ++i) {
    uint8_t device, at;
    Locate(address + i, &device, &at);
    if (!plat::I2cTransfer(fd_, device, &at, 1, &bytes[i], 1)) return false;
  }
  return true;
}

uint8_t I2C::I2C_WriteU8(int address, uint8_t value) {
  if (fd_ < 0 || !InRange(address, 1)) return 255;
  Write(address, &value, 1);
  return value;
}

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

bool I2C::I2C_TryReadU8(int address, uint8_t* value) {
  uint8_t v = 0;
  if (!value || !Read(address, &v, 1)) return false;
  *value = v;
  return true;
}

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

int I2C::I2C_BatchWrite(const iic_item* items, int maxItems) {
  if (!items) return 0;
  const int limit = maxItems < 0 || maxItems > kIicBatchMax ? kIicBatchMax : maxItems;
  int n = 0;
  for (; n < limit && items[n].type != kEeEnd; ++n) {
    const iic_item& it = items[n];
    uint8_t raw[4];
    std::memcpy(raw, &it.value, sizeof raw);  // the value's bytes, whatever member was set
    switch (it.type) {
      case kEeU8:
        I2C_WriteU8(it.address, raw[0]);
        break;
      case kEeU16: {
        uint16_t v;
        std::memcpy(&v, raw, 2);
        I2C_WriteU16(it.address, v);
        break;
      }
      case kEeU32: {
        uint32_t v;
        std::memcpy(&v, raw, 4);
        std::printf("IIC_PARA_U32 = %d \n", int(v));
        I2C_WriteU32(it.address, v);
        break;
      }
      case kEeF32: {
        float v;
        std::memcpy(&v, raw, 4);
        I2C_WriteF32(it.address, v);
        break;
      }
      default:
        break;  // unknown types are skipped
    }
  }
  return n;
}
