// The USB mouse: presence (hot-plug) and its input-event device. On the board
// the mouse is present while "/sys/bus/usb/devices/1-1" exists and its events
// come from "/dev/input/event1". On the simulated board the mouse is the
// root's "dev/mouse" (a FIFO, or a file) taking native input-event records:
// present while it exists.
#pragma once
#include <cstddef>

namespace plat {

bool MousePresent();
// Opens the event device read-write, non-blocking; a descriptor, or -1.
int MouseOpen();
// Reads up to `max` bytes of event records; 0 when none are waiting, -1 on error.
int MouseRead(int fd, void* buf, size_t max);
void MouseClose(int fd);

// Simulation: plug (creates the FIFO) or unplug (removes it) the mouse, and
// write event records into it; false when no reader has it open.
void SimMousePlug(bool present);
bool SimMouseSend(const void* records, size_t bytes);

}  // namespace plat
