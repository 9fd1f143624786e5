#include "system/storage/storage_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/devices/disk.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/devices/usb.h"

namespace {
constexpr const char* kInternal[2] = {"Data/Storage/Set", "Data/Storage/Wave"};
constexpr const char* kUsb[2] = {"/udisk/KOLV/Set", "/udisk/KOLV/Wave"};
constexpr const char* kUsbCustomer[2] = {"/udisk/Storage/Set", "/udisk/Storage/Wave"};

bool NameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.';
}

std::string Host(const std::string& folder, const std::string& name) { return plat::MapPath(folder + "/" + name); }
}  // namespace

bool StorageNameOk(const std::string& name) {
  if (name.empty() || name.size() > size_t(kStorageNameMax) || name[0] == '.') return false;
  for (char c : name)
    if (!NameChar(c)) return false;
  return name.find("..") == std::string::npos;
}

std::string StorageFolder(StorageKind kind, int disk) {
  if (disk == kDiskInternal) return kInternal[kind];
  if (disk != kDiskUsb && disk != kDiskUsbCsv) return "";
  const bool customer = SystemResource.runStatus && SystemResource.runStatus->GetCustomerFlag() == 1;
  return (customer ? kUsbCustomer : kUsb)[kind];
}

void StorageMakeFolder(const std::string& folder) {
  struct stat st;
  if (stat(plat::MapPath(folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  plat::ShellSystem(("mkdir -p " + folder).c_str());  // one of the folders above, no outside text
  plat::ShellSystem("sync");
}

StorageFileWriter::StorageFileWriter(const std::string& folder, const std::string& name) {
  if (StorageNameOk(name)) file_ = std::make_unique<plat::DiskFileWriter>(Host(folder, name));
}

StorageFileWriter::~StorageFileWriter() = default;

bool StorageFileWriter::Ok() const { return file_ && file_->Ok(); }

bool StorageFileWriter::Write(const void* data, size_t n) { return file_ && file_->Write(data, n); }

bool StorageFileWriter::Finish() { return file_ && file_->Finish(); }

bool StorageWriteFile(const std::string& folder, const std::string& name, const uint8_t* data, size_t n) {
  StorageFileWriter out(folder, name);
  return out.Write(data, n) && out.Finish();
}

bool StorageReadFile(const std::string& folder, const std::string& name, size_t max, std::vector<uint8_t>* out) {
  if (!out || !StorageNameOk(name)) return false;
  const int fd = ::open(Host(folder, name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 && size_t(st.st_size) <= max;
  if (ok) {
    out->assign(size_t(st.st_size), 0);
    size_t got = 0;
    while (got < out->size()) {
      const ssize_t r = ::read(fd, out->data() + got, out->size() - got);
      if (r <= 0) break;
      got += size_t(r);
    }
    ok = got == out->size();
  }
  ::close(fd);
  return ok;
}

// The run state's status, or the disk itself: a disk that was in before
// start-up cleared the run state is still there.
bool StorageUsbIn() {
  return (SystemResource.runStatus && SystemResource.runStatus->GetUsbInsertStatus() != 0) || plat::UsbDiskPresent();
}
