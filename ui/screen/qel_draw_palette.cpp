// The composer's colour tables: grid grey, trace intensity palettes and the
// colour-grading and waterfall palettes taken from their pictures.
#include <algorithm>
#include <cmath>

#include "ui/screen/qel_draw.h"

namespace {
// Copies the first pixels of a picture (at most 256) into a palette.
void PaletteFromPicture(const Picture* store, int id, int* palette) {
  const PicInfo* pic = store ? store->GetPictureMsg(id) : nullptr;
  if (!pic || !pic->pixels) return;
  const int n = std::min(256, int(pic->width) * int(pic->height));
  for (int i = 0; i < n; ++i) palette[i] = int(pic->pixels[i]);
}
}  // namespace

void qel_draw::SetGrayScale(int v) {
  const int level = 2 * v;
  if (level < 1)
    gridColour_ = 0;
  else if (level >= 255)
    gridColour_ = 0xFFFFFF;
  else
    gridColour_ = v * 0x020202;
}

void qel_draw::SetWaveBright(int b) {
  if (b < 0 || b > 100) return;
  double scale = 1.0;
  int offset = 0;
  if (b == 100) {
    offset = int(49 * 5.12);
    scale = (256 - offset) / 256.0;
  } else if (b > 50) {
    offset = int((b - 50) * 5.12);
    scale = (256 - offset) / 256.0;
  } else if (b > 5 && b < 50) {
    scale = std::trunc(256 - (50 - b) * 5.12) / 256.0;
  } else if (b <= 5) {
    scale = 25 / 256.0;
  }
  static const int kIncrement[4] = {0x000101, 0x010100, 0x000100, 0x010001};
  for (int slot = 0; slot < 4; ++slot)
    for (int i = 0; i < 256; ++i) palette_[slot][i] = (int(i * scale) + offset) * kIncrement[slot];
}

void qel_draw::SetColorTemp(int invert, int /*level*/) {
  for (int slot = 0; slot < 4; ++slot)
    PaletteFromPicture(GetPicturePointer(), invert ? 123 : 122, palette_[slot]);
}

void qel_draw::SetFFTWaterFallGrayScale() { PaletteFromPicture(GetPicturePointer(), 122, waterfall_); }
