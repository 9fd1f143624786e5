// Self-calibration: the offset-DAC codes that put a grounded input at the
// screen codes 127, 202 and 52 on every range of both channels, the external
// trigger comparator's zero, and the channel calibration file they go into.
// A page of the utility module; runs synchronously on the main loop.
#pragma once
#include <cstdint>

struct keypara;

// Confirm: the whole procedure (or only the ADC phase search on an
// instrument whose phases were never found).
int Utili_SelfCali_Sure(keypara key);
int Utili_SelfCali_Cancel(keypara key);
int Utili_SelfCaliMenuOp(keypara key);

// Steps each masked channel's offset DAC on `range` until its average sample
// code is `target`; the codes reached in dac[0..1]. 0, or -1 on a time-out,
// a failed average or a channel that does not settle.
int CaliChannelOffset(short mask, short range, short target, short* dac);
// Calibrates the trigger comparator of `source` (4: the external input) on
// `range`; 0, or -1 when a coupling found no crossing in three attempts.
int TriggerCali(short source, short range, short slope);
// One rising and one falling search of the comparator from the record's code
// for `coupling`; the two crossing codes. 0, or -1 when one is missing.
int StartOnceTriggerCali(short slot, short range, short coupling, int* rising, int* falling);

// What the dialog shows: the prompt, the run starting (busy) or its progress.
enum SelfCaliState : short { kSelfCaliPrompt = 0, kSelfCaliBusy = 2, kSelfCaliProgress = 3 };
constexpr short kSelfCaliProgressFull = 40;

// 0 to 40: the ranges done by the running calibration (for the dialog).
int SelfCaliProgress();
short SelfCaliShownState();
// Draws the dialog into the page being composed: its box, title and text,
// and in state 2 the busy indicator, in state 3 the progress bar filled to
// `progress` (0-40) below the text.
void Utili_DrawSelfCali(short state, short progress);
