// A picture file (24-bit BMP) loaded into a picture store as start-up loads
// the system pictures; the input is the file of the first keyed picture, so
// the transparent-colour pixel is looked up too.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tests/fuzz/fuzz_instrument.h"
#include "ui/draw/picture.h"

namespace {
const PicPath& KeyedRow() {
  for (const PicPath* row = PicList; row->id != 0xFFFF; ++row)
    if (row->keyRow >= 0 && row->keyColumn >= 0) return *row;
  return PicList[0];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  static const PicPath list[] = {KeyedRow(), PicList[kSystemPictures]};
  FuzzWriteFile(list[0].path, data, size);
  auto store = std::make_unique<Picture>();
  store->LoadPicture(list);
  return 0;
}
