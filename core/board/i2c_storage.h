// The EEPROM of the persistent settings: two 256-byte devices on the I2C bus
// (EEPROM map in core/board/eeprom_map.h). 16- and 32-bit words are stored
// big-endian; a float as its four bytes in memory order. Each byte is one
// complete bus transfer.
#pragma once
#include <cstdint>

#include "core/board/eeprom_map.h"

// One row of a batch write (16 bytes): the type (EeWidth; 255 ends the list),
// the address and the value at byte 8.
struct iic_item {
  int16_t type;
  int16_t address;
  uint8_t spare0[4];
  union {
    uint8_t u8;
    uint16_t u16;
    uint32_t u32;
    float f32;
  } value;
  uint8_t spare1[4];
};
static_assert(sizeof(iic_item) == 16, "batch item");

iic_item IicU8(int address, uint8_t v);
iic_item IicU16(int address, uint16_t v);
iic_item IicU32(int address, uint32_t v);
iic_item IicF32(int address, float v);
iic_item IicEnd();

constexpr int kIicBatchMax = 512;

class I2C {
 public:
  I2C();
  int I2C_Init();
  // Writes return the value, or (U8) 255 without writing when the address
  // lies outside 0..510 or the bus is closed. A multi-byte value that would
  // pass the end of the address range is not written.
  uint8_t I2C_WriteU8(int address, uint8_t value);
  uint16_t I2C_WriteU16(int address, uint16_t value);
  uint32_t I2C_WriteU32(int address, uint32_t value);
  float I2C_WriteF32(int address, float value);
  // Reads give 0 when the bus is closed, the address is out of range or the
  // transfer fails.
  uint8_t I2C_ReadU8(int address);
  int16_t I2C_ReadU16(int address);
  uint32_t I2C_ReadU32(int address);
  float I2C_ReadF32(int address);
  // Reads one byte and says whether the bus answered (a failed read is not a
  // blank EEPROM).
  bool I2C_TryReadU8(int address, uint8_t* value);
  // Writes the items in order until the end mark, `maxItems` items or 512;
  // returns the number of items before the end mark (the number walked when
  // there is none).
  int I2C_BatchWrite(const iic_item* items, int maxItems = kIicBatchMax);
  bool IsOpen() const { return fd_ >= 0; }

 private:
  bool Write(int address, const uint8_t* bytes, int n);
  bool Read(int address, uint8_t* bytes, int n);
  int32_t fd_ = -1;
};

extern I2C I2cStorage;
