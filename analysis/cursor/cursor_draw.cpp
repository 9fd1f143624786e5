// The cursor drawing object: the record, the source traces, the panel
// pictures and the merge of the panel buffer into the page.
#include "analysis/cursor/cursor_draw.h"

#include <algorithm>
#include <cmath>

#include "acquisition/engine/wave.h"
#include "acquisition/engine/waveinfor.h"
#include "analysis/math/task_math.h"
#include "analysis/measure/measure_draw.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

_cursor_draw CursorDraw;

namespace {
constexpr int kStartAX = 130, kStartBX = 630, kStartAY = 133, kStartBY = 333;
constexpr int kStartXYX[2] = {135, 205}, kStartXYY[2] = {270, 340}, kStartXYT[2] = {330, 430};
constexpr int kAreaLeft = 30;
constexpr int kColumns = 700;
constexpr int kHighestCode = 254;  // of a trace value

const PicPath CursorPicList[kCursorPictures + 1] = {
    {0, "Data/PicResource/Cursor/time.bmp", -1, -1},
    {0, "Data/PicResource/Cursor/voltage.bmp", -1, -1},
    {0, "Data/PicResource/Cursor/XY-Cursor.bmp", -1, -1},
    {0xFFFF, "", -1, -1},
};

// Asks the waveform engine to make the channels in `mask` current.
void RequestFresh(int mask) {
  if (!SystemResource.wave) return;
  waveinfor info{};
  info.flags = kWaveReqRecordMask;
  info.chMask = uint16_t(mask);
  SystemResource.wave->RequestWaveData(&info);
}
}  // namespace

_cursor_draw::_cursor_draw() : buffer_(new uint32_t[size_t(kWidth) * kHeight]()) { CursorDrawInit(); }

CursorData _cursor_draw::GetCursorData() const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return data_;
}

void _cursor_draw::SetCursorData(const CursorData* data) {
  if (!data) return;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  data_ = *data;
}

void _cursor_draw::CursorDrawInit() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  data_.AX = kStartAX;
  data_.BX = kStartBX;
  data_.AY = kStartAY;
  data_.BY = kStartBY;
  data_.yLayout = kLayoutFull;
  data_.xyXA = kStartXYX[0];
  data_.xyXB = kStartXYX[1];
  data_.xyYA = kStartXYY[0];
  data_.xyYB = kStartXYY[1];
  data_.xyTA = int16_t(kStartXYT[0]);
  data_.xyTB = int16_t(kStartXYT[1]);
}

// ---- source traces ----

void _cursor_draw::GetSourceScreenData() {
  const int source = GetCursorData().source;
  if (source < kCursorSourceMath) RequestFresh(1 << source);
  uint16_t fresh[kCursorTraceValues] = {};
  const _SysRunInfoOp* run = SystemResource.runStatus;
  if (source == kCursorSourceMath && run && run->GetMathType() == kMathFft) {
    // The spectrum is drawn from the FFT's own trace; the math slot holds
    // only its average, when that is on.
    const float* t = TaskMath.MainTrace();
    for (int i = 0; i < kCursorTraceValues; ++i)
      fresh[i] = t[i] >= 1.0f ? uint16_t(std::lround(std::min(t[i], float(kHighestCode)))) : 0;
  } else if (SystemResource.wave) {
    SystemResource.wave->GetWaveSceenDataFor16(source, fresh);
  }
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::copy(fresh, fresh + kCursorTraceValues, trace_);
}

void _cursor_draw::GetSourceScreenDataXY() {
  RequestFresh(3);
  uint16_t fresh[2][kCursorTraceValues] = {};
  for (int ch = 0; ch < 2; ++ch)
    if (SystemResource.wave) SystemResource.wave->GetWaveSceenDataFor16(ch, fresh[ch]);
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (int ch = 0; ch < 2; ++ch) std::copy(fresh[ch], fresh[ch] + kCursorTraceValues, traceXY_[ch]);
}

void _cursor_draw::getScreenWaveData(uint16_t* out) const {
  if (!out) return;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  std::copy(trace_, trace_ + kCursorTraceValues, out);
}

// The trace's upper value under a time line. The line's last position, the
// grid's right edge, is the right edge of the last column and reads it.
int _cursor_draw::ScreenValue(int column) const {
  const int i = column - kAreaLeft;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return i >= 0 && i <= kColumns ? trace_[std::min(i, kColumns - 1)] : 0;
}

int _cursor_draw::XYValue(int ch, int column) const {
  const int i = column - kAreaLeft;
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return ch >= 0 && ch < 2 && i >= 0 && i < kColumns ? traceXY_[ch][i] : 0;
}

// ---- pictures and merge ----

Picture& _cursor_draw::Pictures() {
  if (!pictures_) pictures_.reset(new Picture());
  if (!picturesLoaded_) {
    pictures_->LoadPicture(CursorPicList);
    picturesLoaded_ = true;
    SetPicturePointer(pictures_.get());
  }
  return *pictures_;
}

void _cursor_draw::SetPictureInfo(int index, const _PicPos* pos) {
  if (index < 0 || index >= kCursorPictures || !pos) {
    placedRow_ = placedCol_ = placedWidth_ = placedHeight_ = 0;
    return;
  }
  placedRow_ = pos->y;
  placedCol_ = pos->x;
  placedWidth_ = pos->width;
  placedHeight_ = pos->height;
}

void _cursor_draw::PictureInfo(int* row, int* col, int* width, int* height) const {
  if (row) *row = placedRow_;
  if (col) *col = placedCol_;
  if (width) *width = placedWidth_;
  if (height) *height = placedHeight_;
}

void _cursor_draw::DrawBuffSync(uint32_t* page, short mode) {
  if (!page) return;
  const int r0 = std::max(0, placedRow_), c0 = std::max(0, placedCol_);
  const int r1 = std::min<int>(kHeight, placedRow_ + placedHeight_);
  const int c1 = std::min<int>(kWidth, placedCol_ + placedWidth_);
  if (r0 >= r1 || c0 >= c1) return;
  const bool blend = mode == 1 && GetCursorData().displayFormat == 0;
  const uint32_t* from = buffer_.get();
  for (int r = r0; r < r1; ++r) {
    const size_t at = size_t(r) * kWidth;
    if (!blend) {
      std::copy(from + at + c0, from + at + c1, page + at + c0);
      continue;
    }
    for (int c = c0; c < c1; ++c) {
      const uint32_t p = from[at + size_t(c)], q = page[at + size_t(c)];
      uint32_t out = 0;
      for (int b = 0; b < 3; ++b) {
        const uint32_t pageByte = q >> (8 * b) & 0xFF, panelByte = p >> (8 * b) & 0xFF;
        out |= (((pageByte * 23) >> 7) + ((panelByte * 210) >> 8)) << (8 * b);
      }
      page[at + size_t(c)] = out;
    }
  }
}
