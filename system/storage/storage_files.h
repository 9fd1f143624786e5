// The files of the storage module: their folders on the internal memory and
// the USB disk, the names allowed in them, and writes that never leave a
// half-written file behind (a temporary file renamed over the old one once
// every byte and the sync went through).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {
class DiskFileWriter;
}

enum StorageKind { kStoreSet, kStoreWave };
enum StorageDisk : int { kDiskInternal = 0, kDiskUsb = 1, kDiskUsbCsv = 2 };

// The longest file name (with its extension) a storage command takes.
constexpr int kStorageNameMax = 47;

// A plain file name: 1..47 characters of letters, digits, '_', '-' and '.',
// not starting with '.' ("..", "/", absolute paths and shell characters are
// refused).
bool StorageNameOk(const std::string& name);

// The folder of `kind` on `disk` ("Data/Storage/Set", "/udisk/KOLV/Wave",
// "/udisk/Storage/Set" with the customer flag, ...); "" for another disk.
std::string StorageFolder(StorageKind kind, int disk);

// Creates a USB folder the way the instrument does ("mkdir -p", "sync").
void StorageMakeFolder(const std::string& folder);

// Writes `n` bytes as `folder`/`name`: a temporary file in the folder,
// every write checked, fsync, then renamed over `name`. On any failure the
// temporary file is removed, a file of that name stays as it was, and
// false is returned.
bool StorageWriteFile(const std::string& folder, const std::string& name, const uint8_t* data, size_t n);

// The same, piece by piece (see plat::DiskFileWriter); a refused name
// writes nothing.
class StorageFileWriter {
 public:
  StorageFileWriter(const std::string& folder, const std::string& name);
  ~StorageFileWriter();
  StorageFileWriter(const StorageFileWriter&) = delete;
  StorageFileWriter& operator=(const StorageFileWriter&) = delete;
  bool Ok() const;
  bool Write(const void* data, size_t n);
  bool Finish();

 private:
  std::unique_ptr<plat::DiskFileWriter> file_;  // none for a refused name
};

// Reads the whole of `folder`/`name` when it is a regular file of at most
// `max` bytes; false otherwise.
bool StorageReadFile(const std::string& folder, const std::string& name, size_t max, std::vector<uint8_t>* out);

// True when a USB disk is in.
bool StorageUsbIn();
