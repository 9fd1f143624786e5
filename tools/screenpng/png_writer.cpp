#include "tools/screenpng/png_writer.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace screenpng {
namespace {
constexpr int kWidth = 800, kHeight = 480;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool LoadBmp(const std::vector<uint8_t>& f, std::vector<uint32_t>* px, int* w, int* h, std::string* err) {
  if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return *err = "not a BMP", false;
  uint32_t offset = Le32(&f[10]);
  int32_t width = int32_t(Le32(&f[18]));
  int32_t height = int32_t(Le32(&f[22]));
  int bpp = Le16(&f[28]);
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || (bpp != 24 && bpp != 32))
    return *err = "unsupported BMP layout", false;
  size_t stride = (size_t(width) * (bpp / 8) + 3) & ~size_t(3);
  if (offset > f.size() || stride * size_t(height) > f.size() - offset)
    return *err = "BMP shorter than its header says", false;
  px->assign(size_t(width) * size_t(height), 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = &f[offset + stride * size_t(topDown ? y : height - 1 - y)];
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = row + size_t(x) * size_t(bpp / 8);
      (*px)[size_t(y) * size_t(width) + size_t(x)] = uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
    }
  }
  *w = width;
  *h = height;
  return true;
}
}  // namespace

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(size_t(width) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t c = pixels[size_t(y) * size_t(width) + size_t(x)];
      row[size_t(x) * 3] = uint8_t(c >> 16);
      row[size_t(x) * 3 + 1] = uint8_t(c >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(c);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(out) == 0;
}

bool LoadScreen(const std::string& path, std::vector<uint32_t>* pixels, int* width, int* height,
                std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return *error = "cannot open " + path, false;
  std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (f.size() == size_t(kWidth) * kHeight * 4 && !(f[0] == 'B' && f[1] == 'M')) {
    pixels->resize(size_t(kWidth) * kHeight);
    for (size_t i = 0; i < pixels->size(); ++i) (*pixels)[i] = Le32(&f[i * 4]) & 0xFFFFFF;
    *width = kWidth;
    *height = kHeight;
    return true;
  }
  return LoadBmp(f, pixels, width, height, error);
}

}  // namespace screenpng
