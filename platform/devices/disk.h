// Writes of the instrument's stored files (setups, waveforms, pictures,
// exports) to the internal memory and the USB disk. On the board they go
// straight to the file; the simulated board can also run out of room, as a
// full disk does.
#pragma once
#include <cstddef>
#include <string>

namespace plat {

// Writes all `n` bytes to `fd`; false (errno set) when fewer went out.
bool DiskWriteAll(int fd, const void* data, size_t n);

// A file another library wrote on its own (the video writer): false, errno
// ENOSPC, when the disk had no room for the whole of it (on the board: the
// disk was left without a free block).
bool DiskKeptWhole(const std::string& hostPath);

// The suffix of the temporary file a whole-file write goes through; what a
// kill leaves of it is removed at start-up.
constexpr char kDiskTempSuffix[] = ".part";

// A file written whole: pieces go to "<hostPath>.part" (every write
// checked), Finish syncs, closes and renames it to `hostPath`, so the name
// never shows a torn file. A writer destroyed unfinished, or after a failed
// piece, removes its temporary file; a file of that name stays as it was.
class DiskFileWriter {
 public:
  explicit DiskFileWriter(const std::string& hostPath);
  ~DiskFileWriter();
  DiskFileWriter(const DiskFileWriter&) = delete;
  DiskFileWriter& operator=(const DiskFileWriter&) = delete;
  bool Ok() const { return fd_ >= 0; }
  bool Write(const void* data, size_t n);
  bool Finish();

 private:
  void Abandon();
  std::string target_, temp_;
  int fd_ = -1;
};

// `n` bytes written whole to `hostPath`; false when any step failed.
bool DiskWriteWhole(const std::string& hostPath, const void* data, size_t n);

}  // namespace plat
