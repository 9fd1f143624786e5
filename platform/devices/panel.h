// The front-panel UART: one byte per key or knob event. On the simulated board
// the bytes come from the FIFO "<root>/dev/keys" (write bytes into it from a
// shell) and from the test bench.
#pragma once
#include <cstdint>

namespace plat {

// Opens the port; returns a handle > 0, or -1.
int PanelOpen(const char* device);
// Non-blocking read of up to `max` bytes; 0 when none are waiting.
int PanelRead(int handle, uint8_t* buf, int max);

// Lets an idle main-loop pass wait up to `ms` for a key byte or another wake-up
// (a finished acquisition), so an idle instrument does not spin a core.
void IdleWait(int ms);
void WakeIdle();
// A wake-up for a change another thread made (a setting that needs a redraw):
// from the thread that waits in IdleWait it does nothing, so a pass that
// marks its own work does not keep the loop from sleeping.
void NotifyIdle();

}  // namespace plat
