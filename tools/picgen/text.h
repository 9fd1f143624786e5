// Labels on pictures, anti-aliased from DejaVu through FreeType.
#pragma once
#include <cstdint>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "canvas.h"

enum class Face { Sans, Bold, CondensedBold };

class Text {
 public:
  Text() = default;
  ~Text();
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  bool Open(const std::string& fontDir);
  int Width(const std::string& s, int px, Face face);
  // Draws with the baseline at row `baseline`, starting at column x.
  void Draw(Canvas& c, int x, int baseline, const std::string& s, int px, Face face,
            uint32_t colour);
  // Centres the text's capitals on (cx, cy).
  void Centre(Canvas& c, double cx, double cy, const std::string& s, int px, Face face,
              uint32_t colour);

 private:
  FT_Face Select(Face face, int px);
  FT_Library lib_ = nullptr;
  FT_Face faces_[3] = {};
};
