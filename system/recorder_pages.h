// The recorder's pages of the utility menu: "Record-Op" (pages 7 and 8) and
// "Record-Set" (page 9), their item handlers, the entry checks, the settings
// with their bounds and number pad, and the frame counter drawn while the
// recorder works. The utility module puts the pages into its menu with
// DefineRecorderPages, calls Utility_Record from its "Record" item and
// Utility_DrawRecWaveNum / RecorderNumPadDraw from its Display.
#pragma once
#include <cstdint>

#include "core/keypara.h"
#include "core/menu.h"

// Pages 7, 8 and 9 with items 35-49; page 9 gets `settingsPageOp` as its
// page operation (the utility module's common one).
void DefineRecorderPages(menu* m, MenuHandler settingsPageOp);

// The recorder's entry from the utility menu (page 0 "Record"): refused with
// a message while the time base is too slow, roll, the second window, FFT or
// pass/fail runs; otherwise the frame counts are measured and page 7 opens.
int Utility_Record(keypara key);
// Message number refusing the recorder now, 0 when it may start.
int RecorderRefusal();
// Measures the frame memory for the memory depth; lowers the end frame to it.
void FrameSet();

int Utility_Rec_Op_Play(keypara key);
int Utility_Rec_Op_Stop(keypara key);
int Utility_Rec_Op_Record(keypara key);
int Utility_Rec_FastRecord(keypara key);
int Utility_Rec_Op_Next(keypara key);
int Utility_Rec_Op_Set(keypara key);
int Utility_Rec_Op_Close(keypara key);
int Utility_Rec_Back(keypara key);
int Utility_Rec_Set_Interval(keypara key);
int Utility_Rec_Set_EndFrame(keypara key);
int Utility_Rec_Set_PlayDelay(keypara key);
int Utility_Rec_Set_MaxFrame(keypara key);
int Utility_Rec_Set_Back(keypara key);
// Page operation of pages 7 and 8: UTILITY to page 0, the knob steps frames.
int Utility_RecMenuOp(keypara key);

// The frame counter box on the page being composed.
void Utility_DrawRecWaveNum();
// The settings' number pad: open, and drawn while open.
bool RecorderNumPadOpen();
void RecorderNumPadClose();
void RecorderNumPadDraw();
