// The waveform recorder: the FPGA keeps successive acquisitions (frames) in its
// sample memory while recording and shows them again one by one on playback.
// It is driven from the utility module's record pages (system/recorder/recorder_pages.h)
// and polled once per main-loop pass from that module's DataProcess. All its
// functions run on the main thread.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"
#include "system/recorder/recorder_pages.h"

// The recorder's record.
struct RecData {
  uint8_t enabled;
  uint16_t recordState;     // kRecIdle, kRecRecording, kRecRecorded
  uint32_t framesRecorded;  // as the FPGA reports them; 1 after a clear
  uint32_t endFrame;        // frames to record
  uint32_t maxFrame;        // largest frame count for the memory depth
  uint32_t interval;        // ticks of 4 ns between frames
  uint16_t mode;            // kPlayNone, kPlayPlaying, kPlayPaused, kPlayVideo
  uint32_t currentFrame;    // the frame shown (1-based)
  uint32_t total;           // frames available for playback
  uint32_t playDelay;       // ticks of 4 ns between played frames
  uint32_t playIndex;       // next frame to show (1-based)
  uint16_t chMask;          // channels on when the recording started
};
enum : uint16_t { kPlayNone = 0, kPlayPlaying = 1, kPlayPaused = 2, kPlayVideo = 3 };

extern RecData recData;

// Run-state function bits of the recorder.
constexpr uint64_t kFuncRecording = 0x100;    // the front-panel knobs are refused
constexpr uint64_t kFuncRecorded = 0x200;     // recorded frames exist
constexpr uint64_t kFuncPlaying = 0x400;
constexpr uint64_t kFuncRecorderBusy = kFuncRecording | kFuncRecorded | kFuncPlaying;
// Utility menu items the recorder reads and writes.
enum RecItem : int {
  kItemRecPlay = 35,
  kItemRecStop = 36,
  kItemRecRecord = 37,
  kItemFastRec = 38,
  kItemRecNext = 39,
  kItemRecSet = 40,
  kItemRecExit = 41,
  kItemRecBack = 44,
  kItemInterval = 45,
  kItemEndFrame = 46,
  kItemPlayDelay = 47,
  kItemMaxFrame = 48,
  kItemRecSetBack = 49,
};

constexpr uint32_t kRecDefaultInterval = 250;
constexpr uint32_t kRecDefaultPlayDelay = 5000000;

// Rec_Init clears the record, then sets the default interval and play delay
// and the frame counts of the memory depth, into the record and items 45-48.
// GetMaxFrame is 0 when the depth is unknown. (Declared in recorder_pages.h.)
void Rec_Clear();
void Rec_Record();
void Rec_Play();
void Rec_Off();
void Rec_Back();
// Shows FPGA frame `frame` (0-based).
void Rec_PlayOneFrame(int frame);
// Knob right (76) and left (77) step the played frame.
void Rec_PlayAdjFrame(keypara key);
// Rec_GetWaveNum, once per main-loop pass, follows a recording and paces
// playback. RecordToVideo converts recorder frames first..last (1-based) into
// "/udisk/<name>.mp4" through an AVI at `fps` frames a second; -1 on an early
// failure, 0 when the video was written, 1 when the conversion failed.
