// A file written whole through a temporary file and a rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/devices/disk.h"

namespace plat {
namespace {
constexpr mode_t kFileMode = 0644;
}  // namespace

DiskFileWriter::DiskFileWriter(const std::string& hostPath) : target_(hostPath), temp_(hostPath + kDiskTempSuffix) {
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
  if (fd_ < 0) std::printf("Disk: cannot create %s\n", temp_.c_str());
}

DiskFileWriter::~DiskFileWriter() { Abandon(); }

void DiskFileWriter::Abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  std::printf("Disk: writing %s failed\n", target_.c_str());
  ::unlink(temp_.c_str());
}

bool DiskFileWriter::Write(const void* data, size_t n) {
  if (fd_ < 0) return false;
  if (DiskWriteAll(fd_, data, n)) return true;
  Abandon();
  return false;
}

bool DiskFileWriter::Finish() {
  if (fd_ < 0) return false;
  bool ok = ::fsync(fd_) == 0;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    std::printf("Disk: writing %s failed\n", target_.c_str());
    ::unlink(temp_.c_str());
  }
  return ok;
}

bool DiskWriteWhole(const std::string& hostPath, const void* data, size_t n) {
  DiskFileWriter out(hostPath);
  return out.Write(data, n) && out.Finish();
}

}  // namespace plat
