// Start-up's clean-up of what writes cut short by a kill or a power loss
// left behind: the temporary "<name>.part" files of the storage writer, the
// decode export and the screenshot writer, and the intermediates of a video
// conversion.
#include "app/startup.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/devices/disk.h"
#include "platform/root.h"
#include "platform/devices/usb.h"
#include "system/recorder/recorder_pages.h"

namespace {
// The folders the instrument writes through a temporary file; a user's own
// ".part" files elsewhere on the disk are left alone.
constexpr const char* kInternalFolders[] = {"Data/Storage/Set", "Data/Storage/Wave"};
constexpr const char* kDiskFolders[] = {
    "/udisk/KOLV/Set",       "/udisk/KOLV/Wave", "/udisk/Storage/Set", "/udisk/Storage/Wave",
    "/udisk/Storage/Decode", "/udisk/QelPrtSc",  "/udisk/FilyLine"};

bool TempName(const char* name) {
  const size_t n = std::strlen(name), s = std::strlen(plat::kDiskTempSuffix);
  return n > s && std::strcmp(name + n - s, plat::kDiskTempSuffix) == 0;
}

void RemoveTempFiles(const char* folder) {
  const std::string host = plat::MapPath(folder);
  DIR* d = opendir(host.c_str());
  if (!d) return;
  while (const dirent* e = readdir(d)) {
    if (!TempName(e->d_name)) continue;
    const std::string path = host + "/" + e->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (unlink(path.c_str()) == 0)
      std::printf("Removed %s/%s, left by a write cut short\n", folder, e->d_name);
  }
  closedir(d);
}
}  // namespace

void RemoveWriteLeftovers() {
  for (const char* folder : kInternalFolders) RemoveTempFiles(folder);
  if (plat::UsbDiskPresent())
    for (const char* folder : kDiskFolders) RemoveTempFiles(folder);
  RecordToVideoLeftovers();
}
