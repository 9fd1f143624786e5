// The SCPI commands of the channel modules: the CH key and its lock, and the
// channel settings. Setters write the menu item and rerun its handler with
// the no-key code, as a front-panel change would; queries answer from the
// menu items. Both channels share the commands; each has its own table.
#pragma once

struct instr;

constexpr int kChScpiRows = 22;

// Fills `table` (kChScpiRows rows and the end row) with the commands of
// channel `ch` (0 CH1, 1 CH2): "KEY:CH1...", "CHANnel1:...".
void BuildChannelInstr(instr* table, int ch);
