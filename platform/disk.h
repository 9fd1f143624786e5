// Writes of the instrument's stored files (setups, waveforms) to the internal
// memory and the USB disk. On the board they go straight to the file; the
// simulated board can also run out of room, as a full disk does.
#pragma once
#include <cstddef>

namespace plat {

// Writes all `n` bytes to `fd`; false (errno set) when fewer went out.
bool DiskWriteAll(int fd, const void* data, size_t n);

}  // namespace plat
