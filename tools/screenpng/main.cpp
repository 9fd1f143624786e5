// scope-screen-png: turns the instrument's frame buffer ("<root>/dev/fb0") or a
// screen image it wrote (a BMP screenshot) into a PNG.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/screenpng/png_writer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: scope-screen-png <root/dev/fb0 | screenshot.bmp> <out.png>\n");
    return 2;
  }
  std::vector<uint32_t> pixels;
  int w = 0, h = 0;
  std::string error;
  if (!screenpng::LoadScreen(argv[1], &pixels, &w, &h, &error)) {
    std::fprintf(stderr, "scope-screen-png: %s\n", error.c_str());
    return 1;
  }
  if (!screenpng::WritePng(argv[2], pixels.data(), w, h)) {
    std::fprintf(stderr, "scope-screen-png: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
