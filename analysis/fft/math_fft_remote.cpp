// The FFT view as the math commands see it: the span of items 66 and 67, the
// waterfall rows, the mark threshold and the marks of the last frame, over
// the view's own files.
#include "analysis/fft/math_fft_remote.h"

#include "analysis/fft/fft_kit.h"
#include "analysis/fft/fft_marks.h"
#include "analysis/fft/fft_span.h"
#include "analysis/fft/fft_view.h"

using namespace fft_kit;

namespace {
constexpr int kItemStartBin = 66, kItemEndBin = 67;
enum MarkType : int { kMarkTypeAuto = 1, kMarkTypeThreshold = 2 };
}  // namespace

void MathFftAdjFreq() {
  FftSetSpan(long(uint32_t(M().GetMenuItem(kItemStartBin))),
             long(uint32_t(M().GetMenuItem(kItemEndBin))));
}
int MathFftWaterFallCnt() { return GetWaterFallCnt(); }
void MathFftSetCurrRecPos(int pos) { SetCurrRecPos(pos); }
void MathFftPutMarkLists(uint64_t autoList, uint64_t thrList) {
  M().SetMenuItem(kMathItemAutoList, autoList);
  M().SetMenuItem(kMathItemThrList, thrList);
  const keypara none{KEY_NO_KEY, 0, 0};
  const int type = Item(kMathItemMarkType);
  if (type == kMarkTypeAuto) Math_FFT_MarkAuto_List(none);
  if (type == kMarkTypeThreshold) Math_FFT_MarkThreShold_List(none);
}
void MathFftSetMarkThreshold(float level) { SetMarkThreShold(level); }
float MathFftMarkThreshold() { return GetMarkThreShold(); }
int MathFftMarkCount() { return FftMarkCount(); }
int MathFftMarkColumn(int n) { return FftMarkColumn(n); }
float MathFftMarkCode(int n) { return FftMarkCode(n); }
