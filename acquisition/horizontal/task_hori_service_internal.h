// State and helpers the service-page files of the horizontal module share.
#pragma once
#include <cstdint>

#include "acquisition/horizontal/task_hori_internal.h"
#include "acquisition/horizontal/task_hori_service.h"

namespace hori {

// The ageing table: per channel the pass and fail counts of the sweep and of
// the middle test, and the run's start, mode and result.
struct AgeingTable {
  int32_t pass[2];
  int32_t fail[2];
  int32_t centrePass;
  int32_t centreFail;
  int32_t offset[2];  // flyline offsets found by the sweep
  int64_t startUs;    // monotonic start of the run
  int32_t mode;       // 0 none, 1 ageing, 2 QC
  int32_t passFail;   // 1 passed, 0 failed or not judged
};

struct Service {
  // Guidance run.
  int64_t guideSteps = 0;
  int64_t guideLastUs = 0;
  int guideDirection = 0;  // the direction in force (0 or 1)
  // Key record and playback: one handle each where the design has one
  // (`KeyRecHandle`), so a recording and a playback never share an offset;
  // playback reads the file in order, its offset standing for `KeyRecIndex`.
  int recHandle = -1;
  int playHandle = -1;
  int64_t playLastUs = 0;
  // ADC ageing test.
  AgeingTable age{};
  int ageSweep[2] = {};       // the channel positions of the sweep
  bool ageMiddle = false;     // the middle test runs
  int ageRounds = 0;
  int64_t ageLastUs = 0;
  bool ageNoPhaseCheck = false;  // a middle round found no clean ADC phase
  // Two test bytes of item 46.
  int testByte[2] = {0x66, 0x67};
  int testByteSel = 0;
  uint32_t ageCounter = 0;
  bool phaseResultShown = false;
  // A line on screen for a service function this board cannot run, and
  // until when it stays (monotonic microseconds).
  const char* note = nullptr;
  int64_t noteUntilUs = 0;
};

Service& Svc();

void ShowPage(int page);
// Shows `text` on screen for a few seconds (a function the board lacks).
void ServiceNote(const char* text);
// A select-knob step of an item (76 up, 77 down, by the knob step); 0 for
// another key.
int KnobStep(keypara k);

// Guidance, key record and ageing (their own files).
void GuidanceProcess();
void Guidance_Stop();
// The module's own guidance start (`TaskForHori::GuidanceStart` in the design):
// a free function here, as the run's state lives with the service pages.
void GuidanceStart();
void GuidanceDisplay();
void KeyRecProcess();
void KeyRecClose();
void KeyPlayClose();
void AdTestingPorcess();
// The ageing table's test mode (0 none, 1 ageing, 2 QC), result and start.
void SetAdcTestMode(int mode);
int GetAdcTestMode();
void SetAdcPassFailFlag(int passed);
void AdcTestingTimeStart();
void AgeingDisplay();
bool AgeingRunning();

}  // namespace hori
