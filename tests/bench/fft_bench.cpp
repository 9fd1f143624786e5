#include "tests/bench/fft_bench.h"

#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "tests/bench/bench.h"

void ShowFftOnDemand(Bench& b) {
  b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  SetWaveTestSettings();
  SysRunInfo.sourceOn = 3;
  b.Key(kKeyMath);
  TaskMath.TaskMenu.SetMenuItem(kMathItemType, kMathFft);
  Math_Type(keypara{KEY_NO_KEY, 0, 0});
}
