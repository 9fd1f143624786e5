// Draws the instrument's 140 system pictures as 24-bit BMP files under
// <factory>/Data/PicResource/ and the power-off logo as
// <factory>/home/user/Logo/Logo.bmp.
//
//   picgen <factory dir> <font dir>
#include <cstdio>
#include <filesystem>
#include <set>

#include "pictures.h"

uint32_t BarShade(int row) { return Mix(0x2C2C2C, 0x161616, row / 33.0); }

uint32_t ItemShade(int row) { return Mix(0x2A2A2A, 0x1A1A1A, row / 79.0); }

uint32_t Readable(uint32_t fill) {
  const double luma = 0.299 * ((fill >> 16) & 0xFF) + 0.587 * ((fill >> 8) & 0xFF) + 0.114 * (fill & 0xFF);
  return luma > 110 ? 0x000000 : 0xF0F0F0;
}

namespace {

constexpr int kSystemPictures = 140;

bool Write(const Canvas& c, const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (!c.WriteBmp(path.string())) {
    std::fprintf(stderr, "picgen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: picgen <factory dir> <font dir>\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  Text text;
  if (!text.Open(argv[2])) return 1;

  std::vector<PicDef> defs;
  StatusPictures(defs);
  MenuPictures(defs);
  DialogPictures(defs);
  const size_t systemCount = defs.size();
  ModulePictures(defs);
  std::set<std::string> names;
  bool ok = true;
  for (const PicDef& d : defs) {
    if (!names.insert(d.path).second) {
      std::fprintf(stderr, "picgen: %s drawn twice\n", d.path.c_str());
      ok = false;
    }
    Canvas c(d.w, d.h);
    d.draw(c, text);
    // The loader reads the key colour at (keyRow, keyColumn), rows counted
    // from the bottom; it must be the background, or shapes turn transparent.
    if (d.keyed && c.Get(d.keyColumn, d.h - 1 - d.keyRow) != kKey) {
      std::fprintf(stderr, "picgen: %s: key pixel is not the background\n", d.path.c_str());
      ok = false;
    }
    ok = Write(c, out / "Data/PicResource" / d.path) && ok;
  }
  if (systemCount != size_t(kSystemPictures)) {
    std::fprintf(stderr, "picgen: %zu system pictures drawn, %d expected\n", systemCount, kSystemPictures);
    ok = false;
  }
  Canvas logo(800, 480);
  DrawLogo(logo, text);
  ok = Write(logo, out / "home/user/Logo/Logo.bmp") && ok;
  std::printf("picgen: %zu pictures and the logo\n", defs.size());
  return ok ? 0 : 1;
}
