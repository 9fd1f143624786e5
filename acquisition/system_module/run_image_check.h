// The check of a run-state image that comes from outside: the "TASK-SYSTEM"
// block of a setup file or upload, and the image a waveform file carries.
// Every setting is an index into its table, every count fits its array, and
// every stored physical value (sample periods, rates, points per column,
// record positions, volts per division) is a finite number inside what the
// instrument can hold, so no arithmetic on it can overflow. An image that
// fails is refused whole; one that passes has its derived values recomputed
// from its indices when it is applied (SystemAllParaReSet).
#pragma once
#include "core/state/sys_run_info_layout.h"

// Null when the image may be taken; else what is wrong with it.
const char* RunImageFault(const _SysRunInfo& image);
