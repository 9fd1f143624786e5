// Math expressions as they come from outside: a remote text split into keypad
// tokens, checked, applied and evaluated over the channels' traces (first
// byte 0), or a math block of a setup file loaded as the storage module loads
// it and then evaluated (any other first byte).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "tests/bench/bench.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  if (size == 0) return 0;
  if (data[0] == 0) {
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    uint8_t tokens[kAdvanceTokens];
    char joined[kAdvanceText];
    if (text.size() < size_t(kAdvanceMaxText) &&
        AdvanceParseText(text.c_str(), tokens, kAdvanceTokens, joined, sizeof joined) >= 0) {
      TaskMath.SetAdvanceBuff(tokens);
      TaskMath.SetAdvanceExpression(joined);
      TaskMath.ApplyExpression();
    }
  } else {
    std::vector<uint8_t> block(data + 1, data + size);
    int32_t status = 0;
    RunSetupStorage(TaskMath, 1, &block, int(block.size()), 0, &status);
  }
  math.Advance();
  math.AdvanceUnit();
  return 0;
}
