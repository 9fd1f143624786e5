// The LCD frame buffer: 800 x 480 pixels of 32 bits (0x00RRGGBB), mapped shared.
// On the simulated board it is the file "<root>/dev/fb0", which anyone can map
// or turn into a PNG (tools/screenpng).
#pragma once
#include <cstdint>

namespace plat {

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 480;
constexpr int kScreenBytes = kScreenWidth * kScreenHeight * 4;

// Maps the frame buffer; null when it cannot be opened or mapped.
uint32_t* FrameBufferMap();
void FrameBufferUnmap();
// A new frame went to the LCD. The simulated board counts them in the file
// "<root>/dev/frames" (one 64-bit count, native order), so a benchmark can
// tell frames a second from outside; the board's own does nothing.
void FrameBufferShown();

}  // namespace plat
