#include "tests/bench/screen_text.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "tests/bench/bench.h"
#include "ui/draw/draw.h"
#include "ui/draw/font.h"

namespace {
// Text drawn by the drawing engine into a blank buffer of its own.
class Scratch final : public Draw {
 public:
  Scratch() : buf_(new uint32_t[size_t(kWidth) * kHeight]()) { SetUserFontPointer(&QelFont); }
  uint32_t* GetDrawAddr(short) override { return buf_.get(); }
  uint32_t At(int r, int c) const { return buf_[size_t(r) * kWidth + size_t(c)]; }
  void Clear(int r, int c) { buf_[size_t(r) * kWidth + size_t(c)] = 0; }

 private:
  std::unique_ptr<uint32_t[]> buf_;
};

constexpr uint32_t kMark = 0xABCDEF;
constexpr int kTextRows = 64;  // below a text's row: taller than any font

// Whether the strokes `draw` puts at the scratch's top-left corner are on the
// screen in the rectangle, in one colour, with other colours around them.
bool Shows(const Bench& b, const std::function<void(Scratch&)>& draw, int r0, int c0, int r1, int c1) {
  Scratch s;
  draw(s);
  std::vector<std::pair<int, int>> on;
  int h = 0, w = 0;
  for (int r = 0; r < 40; ++r)
    for (int c = 0; c < 300; ++c)
      if (s.At(r, c) == kMark) on.push_back({r, c}), h = std::max(h, r + 1), w = std::max(w, c + 1);
  if (on.empty()) return false;
  const std::vector<uint32_t> screen = b.Screen();
  auto px = [&screen](int r, int c) { return screen[size_t(r) * 800 + size_t(c)]; };
  for (int r = std::max(r0, 0); r + h <= std::min(r1, Draw::kHeight); ++r)
    for (int c = std::max(c0, 0); c + w <= std::min(c1, Draw::kWidth); ++c) {
      const uint32_t colour = px(r + on[0].first, c + on[0].second);
      bool all = true;
      for (const auto& [dr, dc] : on)
        if (px(r + dr, c + dc) != colour) {
          all = false;
          break;
        }
      if (!all) continue;
      // The pixels around the strokes are another colour: not a plain fill.
      int same = 0;
      for (int dr = 0; dr < h; ++dr)
        for (int dc = 0; dc < w; ++dc) same += s.At(dr, dc) != kMark && px(r + dr, c + dc) == colour;
      if (same * 4 < h * w - int(on.size())) return true;
    }
  return false;
}
}  // namespace

bool ShowsText(const Bench& b, int row, int col, const char* text, int font, uint32_t colour) {
  // One scratch for every call, blanked again where the text went: a page
  // check runs it for each line and font.
  static Scratch s;
  const short before = QelFont.CurrentAsciiFont();
  QelFont.SetCurrFont(short(font));
  s.DrawString(row, col, text, int(colour), 0);
  QelFont.SetCurrFont(before);
  int lit = 0;
  bool all = true;
  for (int r = std::max(row, 0); r < std::min(row + kTextRows, int(Draw::kHeight)); ++r) {
    for (int c = 0; c < Draw::kWidth; ++c) {
      if (s.At(r, c) == 0) continue;
      if (s.At(r, c) == colour) {
        ++lit;
        all = all && b.Pixel(r, c) == colour;
      }
      s.Clear(r, c);
    }
  }
  return all && lit > 0;
}

bool ShowsUnicode(const Bench& b, const std::u16string& text, int r0, int c0, int r1, int c1) {
  std::vector<uint16_t> units(text.begin(), text.end());
  units.push_back(0);
  return Shows(
      b, [&units](Scratch& s) { s.DrawLanguage(0, 0, units.data(), int(kMark), 0); }, r0, c0, r1, c1);
}

bool ShowsAscii(const Bench& b, const char* text, int font, int r0, int c0, int r1, int c1) {
  const auto draw = [text, font](Scratch& s) {
    const short before = QelFont.CurrentAsciiFont();
    QelFont.SetCurrFont(short(font));
    s.DrawString(0, 0, text, int(kMark), 0);
    QelFont.SetCurrFont(before);
  };
  return Shows(b, draw, r0, c0, r1, c1);
}
