// What the serial-bus SCPI handlers share (trigger_sbus_scpi.cpp and
// trigger_sbus_scpi_patterns.cpp): item access, the refusal of a switched-off
// pattern, the common tail of a setter and the bit-pattern text.
#pragma once
#include <string>

#include "core/menu/keypara.h"
#include "remote/scpi/scpi_table.h"
#include "trigger/analog/task_trigger.h"

namespace sbus {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

inline int Val(int n) { return int(TaskTrigger.Item(n) & 0xFFFF); }
// True, with the refusal printed, while attribute item `n` is switched off.
bool Forbidden(int n);
// The tail of every bus setter: the page applied (the FPGA reset around it).
void CommonOp();
// "Warning : Line is error ... " for a length below 1.
void LineError();

// The characters of a bit-pattern text: "0", "1" or "X" each.
bool PatternChars(const std::string& text);
// The run of letters and digits after the opening quote, fitted to `width`
// (the last `width` characters, or right-aligned behind "0"s).
std::string PatternRun(const char* p);
std::string Fit(std::string run, int width);
// Bit values of a fitted text: "X" gives 2 where `allowAny`; otherwise an
// "X" raises message 72 and gives false.
bool ToBits(const std::string& text, bool allowAny, char* out);
// The stored bits as "0" / "1" / "X".
std::string BitsText(const char* bits, int n);
}  // namespace sbus

// The bit-pattern rows (trigger_sbus_scpi_patterns.cpp).
extern const instr kTriggerSbusPatternRows[];
