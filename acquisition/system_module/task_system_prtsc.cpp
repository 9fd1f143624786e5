// Screenshots: the screen last shown as an 800 x 480, 24-bit BMP on the USB
// disk, in one of four colour formats (as shown, ink saving, grey, inverted
// grey). A screenshot without a name never overwrites a file: it takes the
// first unused number.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/system_module/task_system.h"
#include "acquisition/system_module/task_system_internal.h"
#include "core/menu/draw_hooks.h"
#include "core/state/sys_run_info.h"
#include "platform/devices/disk.h"
#include "platform/root.h"
#include "platform/shell.h"

using namespace sysmod;

namespace {
constexpr char kDiskDir[] = "/udisk/";
constexpr char kShotDir[] = "/udisk/QelPrtSc/";
constexpr int kWidth = 800, kHeight = 480;
constexpr int kRowBytes = kWidth * 3;
constexpr int kPixelBytes = kRowBytes * kHeight;  // 1,152,000
constexpr int kHeadBytes = 54;
constexpr int kFileBytes = kHeadBytes + kPixelBytes;
constexpr int kPixelsPerMetre = 2834;
constexpr int kMaxNumber = 9999;

enum Format { kOriginal = 0, kSaveInk = 1, kGrayScale = 2, kInkGray = 3 };

void Put16(uint8_t* at, uint16_t v) {
  at[0] = uint8_t(v);
  at[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

// BMP_HEAD: file header and the 40-byte info header, little-endian.
void WriteHead(uint8_t* h) {
  std::memset(h, 0, kHeadBytes);
  h[0] = 'B';
  h[1] = 'M';
  Put32(h + 2, kFileBytes);
  Put32(h + 10, kHeadBytes);
  Put32(h + 14, 40);
  Put32(h + 18, kWidth);
  Put32(h + 22, kHeight);
  Put16(h + 26, 1);
  Put16(h + 28, 24);
  Put32(h + 34, kPixelBytes);
  Put32(h + 38, kPixelsPerMetre);
  Put32(h + 42, kPixelsPerMetre);
}

// One pixel's blue, green and red bytes in the format.
void Convert(uint32_t p, int format, uint8_t* out) {
  const uint8_t b = uint8_t(p), g = uint8_t(p >> 8), r = uint8_t(p >> 16);
  switch (format) {
    case kSaveInk:
      out[0] = uint8_t(255 - b);
      out[1] = uint8_t(255 - g);
      out[2] = uint8_t(255 - r);
      return;
    case kGrayScale: {
      const uint8_t v = uint8_t(0.587 * g + 0.299 * r + 0.114 * b);
      out[0] = out[1] = out[2] = v;
      return;
    }
    case kInkGray: {
      const uint8_t v = uint8_t((587 * (255 - g) + 299 * (255 - r) + 114 * (255 - b)) / 1000);
      out[0] = out[1] = out[2] = v;
      return;
    }
    default:
      out[0] = b;
      out[1] = g;
      out[2] = r;
      return;
  }
}

bool DirOpens(const std::string& hostPath) {
  DIR* d = opendir(hostPath.c_str());
  if (!d) return false;
  closedir(d);
  return true;
}

std::string NumberedName(const std::string& dir, int n) {
  char name[32];
  std::snprintf(name, sizeof name, n <= 9 ? "QelPrtsc-00%d.bmp" : "QelPrtsc-0%d.bmp", n);
  return dir + name;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(plat::MapPath(path).c_str(), &st) == 0;
}

// The picture written whole under a temporary name and then renamed, so the
// file's name never shows a torn picture. False when any step fails.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& file) {
  const bool ok = plat::DiskWriteWhole(plat::MapPath(path), file.data(), file.size());
  plat::ShellSystem("sync");
  return ok;
}

// A name is one file name inside its folder.
bool SafeName(const char* name) {
  return std::strchr(name, '/') == nullptr && std::strcmp(name, "..") != 0 && std::strcmp(name, ".") != 0;
}
}  // namespace

std::vector<uint8_t> ScreenBmp(const uint32_t* page, int format) {
  std::vector<uint8_t> file(kFileBytes);
  WriteHead(file.data());
  uint8_t* pixels = file.data() + kHeadBytes;
  for (int row = 0; row < kHeight; ++row) {
    const uint32_t* from = page + size_t(row) * kWidth;
    uint8_t* to = pixels + size_t(kHeight - 1 - row) * kRowBytes;  // bottom row first
    for (int col = 0; col < kWidth; ++col) Convert(from[col], format, to + 3 * col);
  }
  return file;
}

int PrintScreen(const char* dir, const char* name) {
  const bool named = name && *name;
  if (!Run().GetUsbInsertStatus() || !DirOpens(plat::MapPath(kDiskDir))) {
    std::printf("can't open %s\n", kDiskDir);
    if (!named) Message(kMsgNoUsb);
    return -1;
  }
  std::string target = dir && *dir ? dir : kShotDir;
  if (target.back() != '/') target += '/';
  const std::string hostDir = plat::MapPath(target);
  auto fail = [named](const char* line, const std::string& what) {
    std::printf(line, what.c_str());
    if (!named) Message(kMsgPrintFailed);
    return -1;
  };
  if (!DirOpens(hostDir) && mkdir(hostDir.c_str(), 0775) != 0) return fail("Create %s Fail...\n", target);
  if (!DirOpens(hostDir)) return fail("Open %s Fail!!!\n", target);

  std::string path;
  if (named) {
    if (!SafeName(name)) return fail("Open %s file failed!\n", name);
    path = target + name + ".bmp";
  } else {
    // The first unused number: a write that failed left nothing, so its
    // number is taken again.
    int n = 1;
    while (n <= kMaxNumber && Exists(NumberedName(target, n))) ++n;
    path = NumberedName(target, n);
  }
  const uint32_t* page = Draw().shownPage();
  if (!page) return -1;
  const std::vector<uint8_t> file = ScreenBmp(page, Run().GetPrintScreenFormat());
  if (!WriteWhole(path, file)) return fail("Write %s failed!\n", path);
  std::printf("Print screen: %s\n", path.c_str());
  if (!named) Message(kMsgPrintDone);
  return 0;
}
