// Writing 800 x 480 screen images (0x00RRGGBB pixels) as PNG files, and
// reading the screen images the instrument writes (the frame-buffer file and
// 24/32-bit BMP screenshots).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace screenpng {

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height);

// Loads a raw frame buffer (width x height x 4 bytes, 0x00RRGGBB little-endian)
// or a BMP; false with `error` set when the file is neither.
bool LoadScreen(const std::string& path, std::vector<uint32_t>* pixels, int* width, int* height,
                std::string* error);

}  // namespace screenpng
