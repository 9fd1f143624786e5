// Transport of the board-control layer to the acquisition FPGA: the SPI port
// for 4-byte control-word frames and register reads, and the local-bus device
// for block reads by selector, the mapped window, the bus reconfiguration and
// the finished-acquisition signal (SIGIO on the board). On the PC the simulated
// FPGA (platform/sim/sim_fpga.h) stands behind it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

int FpgaOpenLocalBus(const char* path);   // handle > 0, or -1
int FpgaOpenSpi(const char* path);        // handle > 0, or -1
void FpgaClose();

// One control-word frame: word low, word high, value low, value high.
bool FpgaSpiWrite(int spi, const uint8_t frame[4]);
// Full-duplex 4-byte transfer (register reads).
bool FpgaSpiTransfer(int spi, const uint8_t tx[4], uint8_t rx[4]);

// Local-bus read request {1, 4, 0, 0, selector, length, ...}: fills `dest` with
// `length` bytes of the block the selector names. Returns the bytes read or -1.
long FpgaLocalBusRead(int lb, uint32_t selector, uint8_t* dest, size_t length);
// Local-bus command block of eight words (the bus reconfiguration).
bool FpgaLocalBusWrite(int lb, const uint32_t block[8]);
// The mapped window (`length` bytes at `offset` of the device); null on failure.
uint8_t* FpgaMapWindow(int lb, size_t length, size_t offset);

// Called (from the simulated FPGA's thread) when an acquisition finished.
void FpgaSetFinishedHandler(void (*handler)());

}  // namespace plat
