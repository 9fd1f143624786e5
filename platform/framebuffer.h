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

}  // namespace plat
