// A small RGB canvas (x = column, y = row from the top) with the shapes the
// instrument's pictures are drawn from, and a 24-bit BMP writer.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

uint32_t Mix(uint32_t a, uint32_t b, double t);  // a..b, t in 0..1

class Canvas {
 public:
  Canvas(int w, int h, uint32_t fill = 0);
  int W() const { return w_; }
  int H() const { return h_; }
  uint32_t Get(int x, int y) const;
  void Set(int x, int y, uint32_t c);                 // clipped
  void Blend(int x, int y, uint32_t c, double alpha);  // clipped

  void FillRect(int x, int y, int w, int h, uint32_t c);
  void Frame(int x, int y, int w, int h, uint32_t c);
  void HLine(int x0, int x1, int y, uint32_t c);
  void VLine(int x, int y0, int y1, uint32_t c);
  void VGradient(int x, int y, int w, int h, uint32_t top, uint32_t bottom);
  // Rounded rectangles with hard edges (corner radius r), filled or outlined.
  void RoundRect(int x, int y, int w, int h, int r, uint32_t c);
  void RoundFrame(int x, int y, int w, int h, int r, uint32_t c);
  void Line(int x0, int y0, int x1, int y1, uint32_t c);
  // A filled polygon (hard edges); points are pixel centres.
  void Polygon(const std::vector<std::pair<double, double>>& pts, uint32_t c);
  void Disc(double cx, double cy, double r, uint32_t c);
  void Ring(double cx, double cy, double r, double thickness, uint32_t c);

  // Writes an uncompressed 24-bit BMP, rows bottom first, padded to 4 bytes.
  bool WriteBmp(const std::string& path) const;

 private:
  bool RoundInside(int px, int py, int x, int y, int w, int h, int r) const;
  int w_, h_;
  std::vector<uint32_t> px_;
};
