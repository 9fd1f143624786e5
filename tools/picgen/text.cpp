#include "text.h"

#include <cmath>
#include <cstdio>

namespace {
const char* const kFiles[3] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                               "DejaVuSansCondensed-Bold.ttf"};
constexpr double kCapHeight = 0.729;  // DejaVu capitals, in ems
}  // namespace

Text::~Text() {
  for (FT_Face f : faces_)
    if (f) FT_Done_Face(f);
  if (lib_) FT_Done_FreeType(lib_);
}

bool Text::Open(const std::string& fontDir) {
  if (FT_Init_FreeType(&lib_)) return false;
  for (int i = 0; i < 3; ++i) {
    const std::string path = fontDir + "/" + kFiles[i];
    if (FT_New_Face(lib_, path.c_str(), 0, &faces_[i])) {
      std::fprintf(stderr, "picgen: cannot open %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

FT_Face Text::Select(Face face, int px) {
  FT_Face f = faces_[int(face)];
  FT_Set_Pixel_Sizes(f, 0, FT_UInt(px));
  return f;
}

int Text::Width(const std::string& s, int px, Face face) {
  FT_Face f = Select(face, px);
  long w = 0;
  for (unsigned char ch : s)
    if (!FT_Load_Char(f, ch, FT_LOAD_DEFAULT)) w += f->glyph->advance.x;
  return int((w + 32) >> 6);
}

void Text::Draw(Canvas& c, int x, int baseline, const std::string& s, int px, Face face,
                uint32_t colour) {
  FT_Face f = Select(face, px);
  long pen = long(x) << 6;
  for (unsigned char ch : s) {
    if (FT_Load_Char(f, ch, FT_LOAD_RENDER)) continue;
    const FT_Bitmap& bm = f->glyph->bitmap;
    const int left = int((pen + 32) >> 6) + f->glyph->bitmap_left;
    const int top = baseline - f->glyph->bitmap_top;
    for (unsigned y = 0; y < bm.rows; ++y)
      for (unsigned xx = 0; xx < bm.width; ++xx)
        c.Blend(left + int(xx), top + int(y), colour, bm.buffer[int(y) * bm.pitch + int(xx)] / 255.0);
    pen += f->glyph->advance.x;
  }
}

void Text::Centre(Canvas& c, double cx, double cy, const std::string& s, int px, Face face,
                  uint32_t colour) {
  const int w = Width(s, px, face);
  const int x = int(std::lround(cx - w / 2.0));
  const int baseline = int(std::lround(cy + px * kCapHeight / 2.0));
  Draw(c, x, baseline, s, px, face, colour);
}
