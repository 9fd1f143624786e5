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
  graded_ = false;
  static const int kIncrement[4] = {0x000101, 0x010100, 0x000100, 0x010001};
  for (int slot = 0; slot < 4; ++slot)
    for (int i = 0; i < 256; ++i) palette_[slot][i] = (int(i * scale) + offset) * kIncrement[slot];
}

void qel_draw::SetColorTemp(int invert, int /*level*/) {
  graded_ = true;
  for (int slot = 0; slot < 4; ++slot)
    PaletteFromPicture(GetPicturePointer(), invert ? 123 : 122, palette_[slot]);
}

void qel_draw::SetFFTWaterFallGrayScale() { PaletteFromPicture(GetPicturePointer(), 122, waterfall_); }

// The palette entry a drawn trace stands for: an intensity level of 102, whose
// entry 2L is the trace colour itself at the factory brightness (50).
constexpr int kTraceEntry = 204;

int qel_draw::TraceColour(int channel, int colour) const {
  if (channel < 0 || channel > 1) return colour;
  const int entry = palette_[channel][kTraceEntry];
  if (graded_) return entry;
  // The brightness palette's level at the entry, applied to each component.
  const int level = std::max({(entry >> 16) & 0xFF, (entry >> 8) & 0xFF, entry & 0xFF});
  int out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int c = std::min(0xFF, ((colour >> shift) & 0xFF) * level / kTraceEntry);
    out |= c << shift;
  }
  return out;
}
