#include "system/storage/screenshot_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/root.h"

namespace {
constexpr int kWidth = 800, kHeight = 480;
constexpr int kHeaderBytes = 54, kRowBytes = kWidth * 3;
constexpr long kFileBytes = kHeaderBytes + long(kRowBytes) * kHeight;  // 1,152,054
constexpr int kWidthAt = 18, kHeightAt = 22, kBitsAt = 28, kBits = 24;
constexpr size_t kNameMax = 100;

std::unique_ptr<uint32_t[]> PrtScBuffer;

int32_t Le32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}
}  // namespace

const uint32_t* ScreenshotPixels() { return PrtScBuffer.get(); }

bool ReadScreenshot(const char* name) {
  if (!name || !*name || std::strlen(name) >= kNameMax || std::strchr(name, '/') ||
      std::strcmp(name, "..") == 0)
    return false;
  char path[sizeof kScreenshotFolder + kNameMax];
  std::snprintf(path, sizeof path, "%s%s", kScreenshotFolder, name);
  FILE* f = std::fopen(plat::MapPath(path).c_str(), "rb");
  if (!f) {
    std::printf("Open %s failed!\n", path);
    return false;
  }
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[kFileBytes + 1]);
  const size_t n = bytes ? std::fread(bytes.get(), 1, kFileBytes + 1, f) : 0;
  std::fclose(f);
  const uint8_t* b = bytes.get();
  if (n != size_t(kFileBytes) || b[0] != 'B' || b[1] != 'M' || Le32(b + kWidthAt) != kWidth ||
      Le32(b + kHeightAt) != kHeight || (b[kBitsAt] | b[kBitsAt + 1] << 8) != kBits)
    return false;
  if (!PrtScBuffer) PrtScBuffer.reset(new (std::nothrow) uint32_t[size_t(kWidth) * kHeight]);
  if (!PrtScBuffer) return false;
  for (int row = 0; row < kHeight; ++row) {
    const uint8_t* src = b + kHeaderBytes + size_t(kHeight - 1 - row) * kRowBytes;
    uint32_t* dst = PrtScBuffer.get() + size_t(row) * kWidth;
    for (int c = 0; c < kWidth; ++c)
      dst[c] = uint32_t(src[3 * c + 2]) << 16 | uint32_t(src[3 * c + 1]) << 8 | src[3 * c];
  }
  return true;
}
