// The acquire function module behind the ACQUIRE key: one menu page of the
// acquisition mode, the averaging count and the memory depth, handed to the
// time-base model through the acquisition request; it also opens the utility
// module's waveform recorder. It draws nothing of its own.
#pragma once
#include <cstdint>

#include "core/state/ids.h"
#include "core/state/task.h"

struct instr;

// Item numbers (page 0).
enum AcquireItem : int {
  kAcqMode = 0,      // 0 normal, 1 peak detect, 2 high resolution, 3 average
  kAcqAverage = 1,   // the averaging count itself, 2 ... 8192
  kAcqMemDepth = 2,  // 0 auto, 1 7K, 2 70K, 3 700K, 4 7M, 5 35M, 6 56M
  kAcqFastAcq = 3,   // opens the waveform recorder
  kAcqWaveType = 4,  // disabled
};
constexpr int kAcqModeAverage = 3;
constexpr int kAcqMemDepthLast = 6;
constexpr int kAcqMemDepthDefault = 1;  // 7K: the depth of an unreadable setting
constexpr int kAverageEntries = 13;
constexpr uint32_t kAcqItemDisabled = 0x8;  // attribute bit: the item is off (and not drawn)

class TaskForAcquire : public task {
 public:
  // Averaging table: selection -> count.
  static constexpr int16_t Average[kAverageEntries] = {2,   4,    8,    16,   32,   64,  128,
                                                       256, 512, 1024, 2048, 4096, 8192};

  int Default() override;
  int Initialize() override;
  // Setup-file block "TASK-ACQUIRE", CR LF, the menu image, CR LF.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override { return 0; }
  int Display() override { return 0; }
  int FunctionOnOff(int) override { return 0; }
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse* r, taskresponse* arg) override;
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override { return 0; }

  // Loads the menu texts of the current language: 0 with the values stored in
  // the EEPROM, 1 keeping the values; -1 for another value.
  int LoadLanguage(int reload);

  int GetAverageSel() const { return AverageSel; }
  // Takes selection `sel` (0-12; others -1, nothing changed).
  int SetAverageSel(int sel);
  // Index of the first of list[from..count) equal to value; -1 when none or
  // `from` is not below `count`.
  static int ScanMark(const int16_t* list, int from, int16_t value, int count);

  // Presses of the disabled "WaveType" item: low and high half of the count.
  uint16_t WaveTypePress[2] = {0, 0};

 private:
  int AverageSel = 0;  // index into Average, kept in EEPROM byte 119
  int Reserved = 0;
};

extern TaskForAcquire TaskAcquire;
extern instr TaskAcquireInstrStandard[];
extern menu TaskAcquireMenu;

// Copies the items into the run state (the average index is the selection).
void AcquireSyncRunState();
// Enables item 1 for any `t` but 8, which disables it.
void Acqure_SetAverageMenuType(int16_t t);
// Re-applies every setting after a setup block was loaded.
void AcquireParaReSet();
// Puts stored values that lie outside their item's range to the factory value.
void AcquireLimitItems();

// Item handlers and the page handler.
int Acqure_Mode(keypara k);
int Acqure_Average(keypara k);
int Acqure_MemDepth(keypara k);
int Acqure_FastAcq(keypara k);
int Acqure_WaveType(keypara k);
int AcquireMenuOp(keypara k);
