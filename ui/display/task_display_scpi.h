// The screen picture the display commands serve: an 800 x 480, 24-bit BMP,
// the bottom screen row first, pixels as blue, green, red.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kBmpWidth = 800, kBmpHeight = 480;

// The 54-byte BMP file and info headers of the picture.
inline constexpr uint8_t BMP_HEAD[54] = {
    'B', 'M', 0x36, 0x94, 0x11, 0x00, 0, 0, 0, 0, 54, 0, 0, 0,  // file size 1,152,054, data at 54
    40, 0, 0, 0, 0x20, 0x03, 0, 0, 0xE0, 0x01, 0, 0,            // info size, 800 x 480
    1, 0, 24, 0, 0, 0, 0, 0,                                    // 1 plane, 24 bits, no compression
    0x00, 0x94, 0x11, 0x00,                                     // image size 1,152,000
    0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0,                         // 2834 pixels per metre
    0, 0, 0, 0, 0, 0, 0, 0,                                     // colours used, important
};

// Builds the picture of the page shown last in `out` (1,152,054 bytes); -1
// when there is no page.
int CopyFbWithFBmp(uint8_t* out);

// The length of the "DISPlay:ZBMP?" block for `n` compressed bytes: the
// bytes, the 4-byte marker, and 4 zero bytes more when n mod 512 is 487 or
// (n >= 487) (n - 487) mod 512 is 509, 510 or 511.
size_t ZbmpBlockLength(size_t n);
