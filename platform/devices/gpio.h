// The processor's GPIO register blocks, reached through physical memory.
// On the board the memory device is opened and the block mapped; registers
// are 32-bit words at byte offsets of the block. On the PC nothing of the host
// is opened or mapped: GPIO bank 5 is wired to the simulated FPGA's
// configuration port (platform/sim/fpga/sim_fpga_config.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

struct GpioBlock;

// The physical-memory device: a handle >= 0, or -1 when it cannot be opened.
int MemOpen();
void MemClose(int mem);

// Maps `length` bytes of registers at physical address `physBase`; null on
// failure (unknown block, bad length, or a mapping the board refuses).
GpioBlock* GpioMap(int mem, uint32_t physBase, size_t length);
void GpioUnmap(GpioBlock* block);

// One 32-bit register access at byte offset `offset` (word-aligned, inside the
// mapped length; anything else reads 0 and writes nothing).
uint32_t GpioRead(GpioBlock* block, uint32_t offset);
void GpioWrite(GpioBlock* block, uint32_t offset, uint32_t value);

}  // namespace plat
