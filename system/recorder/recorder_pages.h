// The waveform recorder as the utility module reaches it: the recorder's
// life-cycle calls, its state, the handlers of the Record-Op and Record-Set
// pages (items 35-49 of the utility menu), the frame counter drawn while it
// works and the conversion of a screen recording to video, defined by the
// recorder's files (system/recorder*.cpp; the record itself in recorder.h).
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"

// Recorder states.
constexpr int kRecIdle = 0, kRecRecording = 1, kRecRecorded = 2;

int Rec_Init();
int Rec_Close();
int Rec_Stop();
int Rec_GetWaveNum();           // once per main-loop pass
uint32_t GetMaxFrame();         // frames the sample memory holds at the current depth
void Rec_SetMaxFrame(uint32_t frames);
int Rec_GetState();             // kRecIdle, kRecRecording, kRecRecorded
int Rec_GetMode();              // 0 none, 1 playing, 2 paused, 3 converting
void Rec_Enable(bool on);
bool Get_Rec_Enabled();
void Rec_PlayOneFrame(int frame);  // shows recorded frame `frame` (0-based)
int Rec_GetCurrentFrame();         // the frame shown (1-based)
int Rec_GetRecordedFrames();

// Page handlers and items of the recorder pages.
int Utility_RecMenuOp(keypara key);
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

// Measures the frame memory for the memory depth; lowers the end frame to it.
void FrameSet();

// The frame counter (utility dialog bit 0x4).
void Utility_DrawRecWaveNum();
// The settings' number pad (utility dialog bit 0x100 with UtilityAdjType 1):
// open, closed, and drawn while open.
bool RecorderNumPadOpen();
void RecorderNumPadClose();
void RecorderNumPadDraw();

// Converts the recorded frames `first`..`last` to the video `name` at `fps`.
int RecordToVideo(const char* name, int fps, int unused, int first, int last);
// At start-up: what a conversion killed mid-way left on the USB disk goes
// (the AVI it wrote, or a torn MP4 when ffmpeg was cut short).
void RecordToVideoLeftovers();
