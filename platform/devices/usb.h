// USB disk: presence of the disk mounted at /udisk and its hot-plug events
// (in place of the kernel's netlink uevents). On the simulated board the disk
// is the root's folder "udisk/": present when the folder exists.
#pragma once
#include <cstdint>
#include <string>

namespace plat {

bool UsbDiskPresent();
std::string UsbDiskFileSystem();   // "FAT32" (default) or "FAT16"; "<root>/dev/udisk_fs"

// Bytes free for an ordinary user on the disk (statfs: available blocks x
// block size); -1 without the disk. The simulated board answers
// "<root>/dev/udisk_free" when a test wrote a byte count there.
int64_t UsbDiskFreeBytes();
// Opens the hot-plug event source; false when it cannot (the watcher ends).
bool UsbEventsOpen();
// Waits up to `timeoutMs` for an event; returns the bytes of its text put in
// `buf` (at most `max`), 0 on time-out, -1 when the source is closed.
int UsbEventWait(int timeoutMs, char* buf, int max);

}  // namespace plat
