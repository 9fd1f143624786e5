// The math drawing object: the logic threshold line, the expression keypad
// and the merge of its panel into the page.
#include "analysis/math/math_draw.h"

#include <algorithm>

#include "acquisition/models/y_system.h"
#include "analysis/math/math_expr.h"
#include "analysis/measure/measure_draw.h"
#include "analysis/math/task_math.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "ui/screen/qel_draw.h"

_math_draw mathDraw;
Picture MathPictuer;
std::atomic<int64_t> MathDrawLastT{0};
int64_t MathDrawCurrT = 0;
int64_t MathDrawInterval = 0;

namespace {
const PicPath MathPicList[kMathPictures + 1] = {
    {0, "Data/PicResource/Math/Advance.bmp", -1, -1},
    {0xFFFF, "", -1, -1},
};

// Threshold line.
constexpr int kLineColour = 0x00C70000;
constexpr int kLineDash = 5;
constexpr int kLineLeft = 35, kLineRight = 725;
constexpr int kCentreCode = 127;
constexpr int kCentreRow = 233, kPixelsPerCode = 2, kOffsetMax = 200;
constexpr int kZoomCentreRow = 305, kZoomPixelsPerDiv = 35, kCodesPerDiv = 25, kZoomOffsetMax = 140;
constexpr int kThresholdStepCodes = 8, kThresholdSteps = 200;  // 200 steps are 8 divisions

// Keypad.
constexpr int kPanelRow = 150, kPanelColumn = 100;
constexpr int kPanelWidth = 560, kPanelHeight = 140;  // without its picture
constexpr int kPanelFill = 0x1E2128, kPanelFrame = 0x5A6270;
constexpr int kKeypadFont = 1;
constexpr int kKeyColour = 0x00C8C8AF, kDimColour = 0x00005555, kUnderlineColour = 0x00C70000;
constexpr int kKeysLeft = 185;
constexpr int kTextRow = 183, kTextColumn = 197;
// The three rows of keys: first key, name row, underline row, cell width.
struct KeyRow {
  int first, row, underline, cell;
};
constexpr KeyRow kKeyRows[] = {{0, 208, 226, 48}, {2, 233, 251, 48}, {10, 258, 276, 32}, {kAdvanceKeys, 0, 0, 0}};

// The row of key `code` and its place in that row.
const KeyRow& RowOf(int code, int* place) {
  int r = 0;
  while (code >= kKeyRows[r + 1].first) ++r;
  *place = code - kKeyRows[r].first;
  return kKeyRows[r];
}
}  // namespace

_math_draw::_math_draw() : buffer_(new uint32_t[size_t(kWidth) * kHeight]()) {}

Picture& _math_draw::Pictures() {
  if (!picturesLoaded_) {
    MathPictuer.LoadPicture(MathPicList);
    picturesLoaded_ = true;
    SetPicturePointer(&MathPictuer);
  }
  return MathPictuer;
}

void _math_draw::SetPictureInfo(int index, const _PicPos* pos) {
  if (index != kMathPicAdvance || !pos) {
    placedRow_ = placedCol_ = placedWidth_ = placedHeight_ = 0;
    return;
  }
  placedRow_ = pos->y;
  placedCol_ = pos->x;
  placedWidth_ = pos->width;
  placedHeight_ = pos->height;
}

void _math_draw::PictureInfo(int* row, int* col, int* width, int* height) const {
  if (row) *row = placedRow_;
  if (col) *col = placedCol_;
  if (width) *width = placedWidth_;
  if (height) *height = placedHeight_;
}

void _math_draw::DrawThreshold(short which) {
  if (which == kMathDrawThreshold1) {
    SetMathDrawFlag(kMathDrawThreshold1);
    ResetMathDrawFlag(kMathDrawThreshold2);
  } else if (which == kMathDrawThreshold2) {
    SetMathDrawFlag(kMathDrawThreshold2);
    ResetMathDrawFlag(kMathDrawThreshold1);
  } else {
    return;
  }
  MathDrawLastT.store(plat::MonoUs());
}

void _math_draw::DrawLogicThreshold() {
  const uint16_t flag = GetMathDrawFlag();
  if (!(flag & (kMathDrawThreshold1 | kMathDrawThreshold2))) return;
  const uint16_t bit = flag & kMathDrawThreshold1 ? kMathDrawThreshold1 : kMathDrawThreshold2;
  MathDrawCurrT = plat::MonoUs();
  MathDrawInterval = MathDrawCurrT - MathDrawLastT.load();
  if (MathDrawInterval >= kMathThresholdShowUs) {
    ResetMathDrawFlag(short(bit));
    return;
  }
  const bool first = bit == kMathDrawThreshold1;
  const Menu& m = TaskMath.TaskMenu;
  const int threshold = int(uint16_t(m.GetMenuItem(first ? kMathItemThreshold1 : kMathItemThreshold2)));
  const int source = MathSourceOf(int(uint16_t(m.GetMenuItem(first ? kMathItemLogicSrc1 : kMathItemLogicSrc2))));
  const int position = Vertical.GetRealYposition(source);
  int row = 0;
  if (SysRunStatus.GetTimeBaseType() == 1) {
    const int offset = (kCentreCode - position) * kZoomPixelsPerDiv / kCodesPerDiv +
                       (kMathThresholdCentre - threshold) * kThresholdStepCodes * kZoomPixelsPerDiv / kThresholdSteps;
    row = kZoomCentreRow + std::clamp(offset, -kZoomOffsetMax, kZoomOffsetMax);
  } else {
    const int offset = (kCentreCode - position) * kPixelsPerCode + (kMathThresholdCentre - threshold) * kPixelsPerCode;
    row = kCentreRow + std::clamp(offset, -kOffsetMax, kOffsetMax);
  }
  QelDraw.DrawBrokenLine(row, kLineLeft, row, kLineRight, kLineColour, kLineDash, DRAW_CURRENT);
}

void _math_draw::DrawAdvance() {
  if (!GetUserFontPointer()) SetUserFontPointer(QelDraw.GetUserFontPointer());
  MeaFontScope font(kKeypadFont);
  const PicInfo* info = Pictures().GetPictureMsg(kMathPicAdvance);
  _PicPos pos{int16_t(kPanelColumn), int16_t(kPanelRow), int16_t(kPanelWidth), int16_t(kPanelHeight)};
  if (info && info->pixels) {
    pos.width = info->width;
    pos.height = info->height;
    DrawPictrue(kPanelRow, kPanelColumn, kMathPicAdvance, DRAW_CURRENT);
  } else {
    FillRect(kPanelRow, kPanelColumn, kPanelWidth, kPanelHeight, kPanelFill, DRAW_CURRENT);
    DrawRect(kPanelRow, kPanelColumn, kPanelWidth, kPanelHeight, kPanelFrame, DRAW_CURRENT);
  }
  const uint32_t valid = TaskMath.GetAdvanceItemValid();
  for (int n = 0; n < kAdvanceKeys; ++n) {
    int place = 0;
    const KeyRow& r = RowOf(n, &place);
    const int left = kKeysLeft + r.cell * place;
    const int width = Stringlen(kFontAscii, advanceItem[n]);
    DrawString(r.row, left + (r.cell - width) / 2, advanceItem[n], valid >> n & 1 ? kKeyColour : kDimColour,
               DRAW_CURRENT);
  }
  const int selected = TaskMath.GetAdvanceIndex();
  if (selected >= 0 && selected < kAdvanceKeys) {
    int place = 0;
    const KeyRow& r = RowOf(selected, &place);
    const int left = kKeysLeft + r.cell * place;
    DrawLine(r.underline, left, r.underline, left + r.cell, kUnderlineColour, DRAW_CURRENT);
  }
  AdvanceData d;
  TaskMath.GetAdvData(&d);
  d.text[kAdvanceText - 1] = 0;
  DrawString(kTextRow, kTextColumn, d.text, kKeyColour, DRAW_CURRENT);
  SetPictureInfo(kMathPicAdvance, &pos);
  DrawBuffSync(QelDraw.GetDrawAddr(DRAW_CURRENT), 0);
}

void _math_draw::DrawBuffSync(uint32_t* page, short mode) {
  if (!page) return;
  const int r0 = std::max(0, placedRow_), c0 = std::max(0, placedCol_);
  const int r1 = std::min<int>(kHeight, placedRow_ + placedHeight_);
  const int c1 = std::min<int>(kWidth, placedCol_ + placedWidth_);
  if (r0 >= r1 || c0 >= c1) return;
  const uint32_t* from = buffer_.get();
  for (int r = r0; r < r1; ++r) {
    const size_t at = size_t(r) * kWidth;
    if (mode != 1) {
      std::copy(from + at + c0, from + at + c1, page + at + c0);
      continue;
    }
    for (int c = c0; c < c1; ++c) {
      const uint32_t p = from[at + size_t(c)], q = page[at + size_t(c)];
      if (p == MASK_COLOR_MATH) continue;
      uint32_t out = 0;
      for (int b = 0; b < 3; ++b) {
        const uint32_t pageByte = q >> (8 * b) & 0xFF, panelByte = p >> (8 * b) & 0xFF;
        out |= (((pageByte * 23) >> 7) + ((panelByte * 210) >> 8)) << (8 * b);
      }
      page[at + size_t(c)] = out;
    }
  }
}
