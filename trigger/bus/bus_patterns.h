// The serial-bus trigger patterns: one byte per bit, 0, 1 or 2 for a bit
// that does not matter, as the pattern editors keep them, and their packing
// into the value and mask words the run state carries.
#pragma once
#include <cstdint>
#include <mutex>

constexpr int kSpiBits = 128, kCanIdBits = 29, kFrameDataBits = 64, kLinIdBits = 8, kI2cPatternBytes = 5;
constexpr char kBitAny = 2;  // the bit does not matter

extern char SPI_bin_data[kSpiBits];
extern char CANID_bin_data[kCanIdBits];
extern char CANDATA_bin_data[kFrameDataBits];
extern char LINID_bin_data[kLinIdBits];
extern char LINDATA_bin_data[kFrameDataBits];
extern char CANIDMASK_bin_data[kCanIdBits];
extern char CANDATAMASK_bin_data[kFrameDataBits];
extern char LINIDMASK_bin_data[kLinIdBits];
extern char LINDATAMASK_bin_data[kFrameDataBits];
extern uint8_t I2cDataHex[kI2cPatternBytes];
extern uint8_t I2cDataMask[kI2cPatternBytes];
extern uint8_t I2c_addr_Hex[2];  // high byte, low byte of the address

// Guards the patterns and their editors: the main loop's editors, drawing and
// trigger refresh, and the SCPI worker's pattern commands take it.
std::recursive_mutex& BusPatternLock();

// 128 bits into 8 words, entry 0 of a group into bit 15; order 0 reverses
// each `width`-bit word first (LSB-first transmission). A 2 leaves its bit 0.
void bindata2hex(const char* bits, short* out, char order, int width);
// The first `count` entries' don't-care bits (1 where the entry is 2), packed the same way.
void bindata2Mask(const char* bits, short* out, short count, char order, int width);
// mask[i] = 1 where bits[i] is 2, for i < count (at most 64).
void CANbindata2Mask(const char* bits, char* mask, short count);
// 64 entries into 8 bytes, entry 0 into bit 7; `asMask` takes 0/1 mask
// entries, otherwise a 2 counts as 1.
void PackPatternBytes(const char* bits, uint8_t* out, bool asMask);
