// The EEPROM of the persistent settings (two 256-byte devices on the I2C bus).
// Words are stored big-endian; floats in memory order.
#pragma once
#include <cstdint>

class I2C {
 public:
  I2C();
  int I2C_Init();
  uint8_t I2C_WriteU8(int address, uint8_t value);
  uint16_t I2C_WriteU16(int address, uint16_t value);
  uint32_t I2C_WriteU32(int address, uint32_t value);
  float I2C_WriteF32(int address, float value);
  uint8_t I2C_ReadU8(int address);
  int16_t I2C_ReadU16(int address);
  uint32_t I2C_ReadU32(int address);
  float I2C_ReadF32(int address);
  // Reads one byte and says whether the bus answered (a failed read is not a
  // blank EEPROM).
  bool I2C_TryReadU8(int address, uint8_t* value);
  bool IsOpen() const { return fd_ > 0; }

 private:
  bool Write(int address, const uint8_t* bytes, int n);
  bool Read(int address, uint8_t* bytes, int n);
  int fd_ = -1;
};

extern I2C I2cStorage;
