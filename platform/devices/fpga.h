// Transport of the board-control layer to the acquisition FPGA: the SPI port
// for 4-byte control-word frames and register reads, and the local-bus device
// for block reads by selector, the mapped window, the bus reconfiguration and
// the finished-acquisition signal (SIGIO on the board). On the PC the simulated
// FPGA (platform/sim/fpga/sim_fpga.h) stands behind it.
//
// Handles are descriptors: any value >= 0 is valid (0 included), -1 is "none".
// None of these calls takes the board-control semaphore; the caller does.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

int FpgaOpenLocalBus(const char* path);   // handle >= 0, or -1
int FpgaOpenSpi(const char* path);        // handle >= 0, or -1
void FpgaCloseSpi(int spi);
void FpgaClose();                          // closes both devices

// SPI set-up: `s` holds the wanted mode, bits per word and speed and receives
// what the device reports back.
struct SpiSettings {
  uint32_t mode;
  uint32_t bits;
  uint32_t speedHz;
};
enum class SpiStep { kOk, kGetMode, kSetWriteBits, kSetReadBits, kSetSpeed, kGetSpeed };
// Returns kOk, or the step that failed.
SpiStep FpgaSpiConfigure(int spi, SpiSettings* s);

// One control-word frame: word low, word high, value low, value high.
bool FpgaSpiWrite(int spi, const uint8_t frame[4]);
// Full-duplex 4-byte transfer (register reads).
bool FpgaSpiTransfer(int spi, const uint8_t tx[4], uint8_t rx[4]);

// Local-bus read request {1, 4, 0, 0, selector, length, dest, length}: fills
// `dest` with `length` bytes of the block the selector names; the driver also
// leaves them at the start of the mapped window. Returns the bytes read or -1.
long FpgaLocalBusRead(int lb, uint32_t selector, uint8_t* dest, size_t length);
// Local-bus command block of eight words (the bus reconfiguration).
bool FpgaLocalBusWrite(int lb, const uint32_t block[8]);
// The mapped window (`length` bytes at `offset` of the device); null on failure.
uint8_t* FpgaMapWindow(int lb, size_t length, size_t offset);

// The finished-acquisition signal of the local-bus device: `handler` runs (as
// a signal handler would: set a flag and return) each time the FPGA reports a
// finished acquisition. False without the device.
bool FpgaSetFinishedHandler(int lb, void (*handler)());

}  // namespace plat
