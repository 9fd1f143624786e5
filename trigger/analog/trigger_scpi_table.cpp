// The trigger module's SCPI command table, in the order the engine matches
// it: the TRIGGER key and the TRIGger rows, the serial-bus rows (bit patterns
// first), the decode key. Filled before start-up registers the table.
#include "trigger/analog/task_trigger.h"
#include "trigger/analog/trigger_scpi.h"
#include "trigger/bus/trigger_sbus_scpi.h"
#include "trigger/bus/trigger_sbus_scpi_kit.h"

namespace {
constexpr int kRowsMax = 320;  // every row and the end row
}  // namespace

instr TaskTriggerInstrStandard[kRowsMax];

namespace {
// Appends `rows` (up to their end row) at `n`; the rows that do not fit are
// left out, and the last row always stays the end row.
int Append(const instr* rows, int n) {
  for (; rows[0].pattern[0] && n < kRowsMax - 1; ++rows, ++n) TaskTriggerInstrStandard[n] = rows[0];
  return n;
}

struct Assemble {
  Assemble() {
    int n = Append(TriggerScpiHeadRows, 0);
    // A command may stop before a row's last level, so the bit-pattern rows
    // (SBUS:CAN:ID) come before their longer siblings (SBUS:CAN:ID:MODE).
    n = Append(kTriggerSbusPatternRows, n);
    n = Append(kTriggerSbusRows, n);
    n = Append(TriggerScpiTailRows, n);
    TaskTriggerInstrStandard[n] = instr{"", nullptr};
  }
} assemble;
}  // namespace
