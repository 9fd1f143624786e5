#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

uint32_t Mix(uint32_t a, uint32_t b, double t) {
  uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) {
    const double va = (a >> s) & 0xFF, vb = (b >> s) & 0xFF;
    out |= uint32_t(std::lround(va + (vb - va) * t)) << s;
  }
  return out;
}

Canvas::Canvas(int w, int h, uint32_t fill) : w_(w), h_(h), px_(size_t(w) * h, fill) {}

uint32_t Canvas::Get(int x, int y) const {
  return x >= 0 && y >= 0 && x < w_ && y < h_ ? px_[size_t(y) * w_ + x] : 0;
}

void Canvas::Set(int x, int y, uint32_t c) {
  if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[size_t(y) * w_ + x] = c & 0xFFFFFF;
}

void Canvas::Blend(int x, int y, uint32_t c, double alpha) {
  if (alpha <= 0) return;
  Set(x, y, Mix(Get(x, y), c, std::min(alpha, 1.0)));
}

void Canvas::FillRect(int x, int y, int w, int h, uint32_t c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) Set(i, j, c);
}

void Canvas::Frame(int x, int y, int w, int h, uint32_t c) {
  HLine(x, x + w - 1, y, c);
  HLine(x, x + w - 1, y + h - 1, c);
  VLine(x, y, y + h - 1, c);
  VLine(x + w - 1, y, y + h - 1, c);
}

void Canvas::HLine(int x0, int x1, int y, uint32_t c) {
  for (int x = x0; x <= x1; ++x) Set(x, y, c);
}

void Canvas::VLine(int x, int y0, int y1, uint32_t c) {
  for (int y = y0; y <= y1; ++y) Set(x, y, c);
}

void Canvas::VGradient(int x, int y, int w, int h, uint32_t top, uint32_t bottom) {
  for (int j = 0; j < h; ++j) HLine(x, x + w - 1, y + j, Mix(top, bottom, h > 1 ? double(j) / (h - 1) : 0));
}

bool Canvas::RoundInside(int px, int py, int x, int y, int w, int h, int r) const {
  if (px < x || py < y || px >= x + w || py >= y + h) return false;
  const int cx = px < x + r ? x + r : (px >= x + w - r ? x + w - 1 - r : px);
  const int cy = py < y + r ? y + r : (py >= y + h - r ? y + h - 1 - r : py);
  const double dx = px - cx, dy = py - cy;
  return dx * dx + dy * dy <= (r + 0.35) * (r + 0.35);
}

void Canvas::RoundRect(int x, int y, int w, int h, int r, uint32_t c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i)
      if (RoundInside(i, j, x, y, w, h, r)) Set(i, j, c);
}

void Canvas::RoundFrame(int x, int y, int w, int h, int r, uint32_t c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i)
      if (RoundInside(i, j, x, y, w, h, r) &&
          !RoundInside(i, j, x + 1, y + 1, w - 2, h - 2, r > 0 ? r - 1 : 0))
        Set(i, j, c);
}

void Canvas::Line(int x0, int y0, int x1, int y1, uint32_t c) {
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = (dx > dy ? dx : -dy) / 2;
  for (;;) {
    Set(x0, y0, c);
    if (x0 == x1 && y0 == y1) break;
    const int e = err;
    if (e > -dx) err -= dy, x0 += sx;
    if (e < dy) err += dx, y0 += sy;
  }
}

void Canvas::Polygon(const std::vector<std::pair<double, double>>& pts, uint32_t c) {
  for (int y = 0; y < h_; ++y) {
    const double sy = y + 0.0;
    std::vector<double> xs;
    for (size_t i = 0; i < pts.size(); ++i) {
      auto [ax, ay] = pts[i];
      auto [bx, by] = pts[(i + 1) % pts.size()];
      if ((ay <= sy && by > sy) || (by <= sy && ay > sy)) xs.push_back(ax + (sy - ay) * (bx - ax) / (by - ay));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2)
      for (int x = int(std::ceil(xs[i] - 0.5)); x <= int(std::floor(xs[i + 1] + 0.5)); ++x) Set(x, y, c);
  }
  // Vertices and the flat top and bottom rows the scan skips.
  for (size_t i = 0; i < pts.size(); ++i) {
    auto [ax, ay] = pts[i];
    auto [bx, by] = pts[(i + 1) % pts.size()];
    Line(int(std::lround(ax)), int(std::lround(ay)), int(std::lround(bx)), int(std::lround(by)), c);
  }
}

void Canvas::Disc(double cx, double cy, double r, uint32_t c) {
  for (int y = int(cy - r - 1); y <= int(cy + r + 1); ++y)
    for (int x = int(cx - r - 1); x <= int(cx + r + 1); ++x)
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Set(x, y, c);
}

void Canvas::Ring(double cx, double cy, double r, double thickness, uint32_t c) {
  const double in = (r - thickness) * (r - thickness);
  for (int y = int(cy - r - 1); y <= int(cy + r + 1); ++y)
    for (int x = int(cx - r - 1); x <= int(cx + r + 1); ++x) {
      const double d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (d <= r * r && d > in) Set(x, y, c);
    }
}

bool Canvas::WriteBmp(const std::string& path) const {
  const uint32_t stride = (uint32_t(w_) * 24 + 31) / 32 * 4;
  const uint32_t dataSize = stride * uint32_t(h_);
  uint8_t hdr[54] = {'B', 'M'};
  auto put32 = [&hdr](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) hdr[at + i] = uint8_t(v >> (8 * i));
  };
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w_));
  put32(22, uint32_t(h_));
  hdr[26] = 1;
  hdr[28] = 24;
  put32(34, dataSize);
  put32(38, 2835);  // 72 dpi
  put32(42, 2835);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(hdr, 1, sizeof hdr, f) == sizeof hdr;
  std::vector<uint8_t> row(stride, 0);
  for (int y = h_ - 1; y >= 0 && ok; --y) {  // bottom row first
    for (int x = 0; x < w_; ++x) {
      const uint32_t c = px_[size_t(y) * w_ + x];
      row[3 * x] = uint8_t(c);
      row[3 * x + 1] = uint8_t(c >> 8);
      row[3 * x + 2] = uint8_t(c >> 16);
    }
    ok = std::fwrite(row.data(), 1, stride, f) == stride;
  }
  return std::fclose(f) == 0 && ok;
}
