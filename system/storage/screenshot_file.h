// Screenshots on the USB disk ("/udisk/QelPrtSc/*.bmp") as the storage and
// utility modules' viewers show them: one picture buffer for both, filled
// only from a file of exactly the screen's size and shape.
#pragma once
#include <cstdint>

constexpr char kScreenshotFolder[] = "/udisk/QelPrtSc/";

// The shown screenshot's 800 x 480 pixels (0x00RRGGBB), null before the
// first file was read.
const uint32_t* ScreenshotPixels();

// Reads `name` of the screenshot folder into the picture buffer: only an
// uncompressed 24-bit BMP of 800 x 480 pixels, 1,152,054 bytes long, whose
// bottom-up rows are copied top row first. False (the buffer as it was)
// for any other file.
bool ReadScreenshot(const char* name);
