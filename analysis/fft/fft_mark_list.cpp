// The FFT mark list: its panel picture (Data/PicResource/Math/FFTMarkList.bmp)
// drawn opaque or blended by the display's transparency, left of the soft
// menu, with eight rows of marks from the list's start and the scroll mark.
#include <cstdio>

#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_display.h"
#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_marks.h"
#include "analysis/fft/fft_span.h"
#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/state/sys_run_info.h"
#include "ui/draw/picture.h"
#include "ui/screen/qel_draw.h"

using namespace fft_kit;

namespace {
constexpr int kHeaderText = 4, kFirstRowText = 25, kRowStep = 19;
constexpr int kNoColumn = 6, kFreqColumn = 34, kAmpColumn = 106;
constexpr int kScrollTop = 127, kScrollSpan = 136, kScrollColumn = 166, kScrollWidth = 5, kScrollHeight = 10;
constexpr int kPanelFill = 0x1E2128, kFrame = 0x828282, kText = 0xC8C8AF, kScroll = 0xFFFFFF;
constexpr int kListFont = 1;
enum : int { kPicList = 0, kPictures = 1 };
const PicPath kListPictures[kPictures + 1] = {
    {0, "Data/PicResource/Math/FFTMarkList.bmp", -1, -1},
    {0xFFFF, "", -1, -1},
};

// Draws into the composer's current page with the list's own picture store.
class ListDraw final : public Draw {
 public:
  uint32_t* GetDrawAddr(short kind) override { return QelDraw.GetDrawAddr(kind); }
  bool Panel(bool blend) {
    if (!loaded_) {
      pictures_.LoadPicture(kListPictures);
      SetPicturePointer(&pictures_);
      loaded_ = true;
    }
    const PicInfo* p = pictures_.GetPictureMsg(kPicList);
    if (!p || !p->pixels) return false;
    if (blend)
      DrawPictrueTransparent(kFftListRow, kFftListColumn, kPicList, DRAW_CURRENT);
    else
      DrawPictrue(kFftListRow, kFftListColumn, kPicList, DRAW_CURRENT);
    return true;
  }

 private:
  Picture pictures_;
  bool loaded_ = false;
};
ListDraw g_list;
}  // namespace

namespace {
// The unit letter of the FFT source's channel (volts, amperes, ...).
constexpr int kUnitLetters = 4;
int UnitOfSource() {
  const int u = Vertical.GetChUnit(Fft().source == 1 ? 1 : 0);
  return u >= 0 && u < kUnitLetters ? u : 0;
}
}  // namespace

void FftValueText(float code, char* out, int size) {
  const double v = FftCodeValue(code);
  if (Item(kMathItemFftVertical) == 1)
    std::snprintf(out, size_t(size), "%3.2fdb", v);
  else
    std::snprintf(out, size_t(size), "%.2lf %s", v, chVerticalUnit[UnitOfSource()]);
}

void DetectionMarkDisplayList() {
  if (!GetMarkListOnOff() || !GetMarkTypeSel() || GetMarkFunc() == kMarkManual) return;
  const int count = FftMarkCount();
  const int start = SetMarkListStartNo(GetMarkListStartNo());
  const bool blend = SysRunStatus.GetTransparent() != 0;
  if (!g_list.Panel(blend)) {
    // Without its picture the panel is a framed box of the same size.
    if (blend)
      QelDraw.FillRectTransparent(kFftListRow, kFftListColumn, kFftListWidth, kFftListHeight, kPanelFill, DRAW_CURRENT);
    else
      QelDraw.FillRect(kFftListRow, kFftListColumn, kFftListWidth, kFftListHeight, kPanelFill, DRAW_CURRENT);
    QelDraw.DrawRect(kFftListRow, kFftListColumn, kFftListWidth - 1, kFftListHeight - 1, kFrame, DRAW_CURRENT);
  }
  if (count > kFftMarkListRows) {
    const int at = kScrollTop + start * kScrollSpan / (count - kFftMarkListRows);
    QelDraw.FillRect(at, kFftListColumn + kScrollColumn, kScrollWidth, kScrollHeight, kScroll, DRAW_CURRENT);
  }
  if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(kListFont);
  const int top = kFftListRow, left = kFftListColumn;
  QelDraw.DrawString(top + kHeaderText, left + kNoColumn, "No.", kText, DRAW_CURRENT);
  QelDraw.DrawString(top + kHeaderText, left + kFreqColumn, "Freq", kText, DRAW_CURRENT);
  QelDraw.DrawString(top + kHeaderText, left + kAmpColumn, Item(kMathItemFftVertical) == 1 ? "dbVrms" : "Vrms",
                     kText, DRAW_CURRENT);
  for (int i = 0; i < kFftMarkListRows && start + i < count; ++i) {
    const int n = start + i, row = top + kFirstRowText + kRowStep * i;
    char no[12], freq[24], amp[24];
    std::snprintf(no, sizeof no, "%d", n + 1);
    FftHzText(FftColumnHz(FftMarkColumn(n)), freq, sizeof freq);
    FftValueText(FftMarkCode(n), amp, sizeof amp);
    QelDraw.DrawString(row, left + kNoColumn, no, kText, DRAW_CURRENT);
    QelDraw.DrawString(row, left + kFreqColumn, freq, kText, DRAW_CURRENT);
    QelDraw.DrawString(row, left + kAmpColumn, amp, kText, DRAW_CURRENT);
  }
}
