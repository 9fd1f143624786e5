// Screen images to PNG: the frame-buffer file and BMP screenshots.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <fstream>

#include "platform/devices/framebuffer.h"
#include "platform/root.h"
#include "tests/bench/bench.h"
#include "tools/screenpng/png_writer.h"

namespace {
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// A 24-bit bottom-up BMP with row padding, 3 x 2 pixels.
std::vector<uint8_t> SmallBmp() {
  std::vector<uint8_t> f = {'B', 'M'};
  const uint32_t stride = 12, size = 54 + stride * 2;
  Put32(f, size);
  Put32(f, 0);
  Put32(f, 54);
  Put32(f, 40);
  Put32(f, 3);
  Put32(f, 2);
  f.push_back(1), f.push_back(0), f.push_back(24), f.push_back(0);
  for (int i = 0; i < 6; ++i) Put32(f, 0);
  const uint32_t bottom[3] = {0x0000FF, 0x00FF00, 0xFF0000}, top[3] = {0x123456, 0xABCDEF, 0x010203};
  for (const uint32_t* row : {bottom, top}) {
    for (int x = 0; x < 3; ++x) f.push_back(uint8_t(row[x])), f.push_back(uint8_t(row[x] >> 8)), f.push_back(uint8_t(row[x] >> 16));
    for (int p = 0; p < 3; ++p) f.push_back(0);
  }
  return f;
}

bool ReadPngSize(const std::string& path, png_uint_32* w, png_uint_32* h) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool ok = false;
  if (!setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_read_info(png, info);
    *w = png_get_image_width(png, info);
    *h = png_get_image_height(png, info);
    ok = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return ok;
}
}  // namespace

TEST(ScreenPng, BmpRowsAreBottomUpWithPadding) {
  Bench bench;
  std::ofstream("shot.bmp", std::ios::binary).write(reinterpret_cast<const char*>(SmallBmp().data()), long(SmallBmp().size()));
  std::vector<uint32_t> px;
  int w, h;
  std::string err;
  ASSERT_TRUE(screenpng::LoadScreen("shot.bmp", &px, &w, &h, &err)) << err;
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(px[0], 0x123456u);  // top row first
  EXPECT_EQ(px[4], 0x00FF00u);
}

TEST(ScreenPng, TruncatedBmpIsRefused) {
  Bench bench;
  auto f = SmallBmp();
  f.resize(60);
  std::ofstream("short.bmp", std::ios::binary).write(reinterpret_cast<const char*>(f.data()), long(f.size()));
  std::vector<uint32_t> px;
  int w, h;
  std::string err;
  EXPECT_FALSE(screenpng::LoadScreen("short.bmp", &px, &w, &h, &err));
  EXPECT_FALSE(err.empty());
}

TEST(ScreenPng, FrameBufferFileBecomesAPng) {
  Bench bench;
  uint32_t* fb = plat::FrameBufferMap();
  ASSERT_NE(fb, nullptr);
  fb[0] = 0x00CCCC;
  std::vector<uint32_t> px;
  int w, h;
  std::string err;
  ASSERT_TRUE(screenpng::LoadScreen(plat::DevPath("fb0"), &px, &w, &h, &err)) << err;
  EXPECT_EQ(w, 800);
  EXPECT_EQ(px[0], 0x00CCCCu);
  ASSERT_TRUE(bench.WriteScreenPng("screen.png"));
  png_uint_32 pw = 0, ph = 0;
  ASSERT_TRUE(ReadPngSize("screen.png", &pw, &ph));
  EXPECT_EQ(pw, 800u);
  EXPECT_EQ(ph, 480u);
}
