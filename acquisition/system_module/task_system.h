// The system function module (task id 0): no menu, draws nothing. It takes
// the knobs and their pushes, RUN/STOP, AUTO, menu on/off and print screen,
// keeps the settings in the EEPROM that belong to no menu, stores the whole
// run state as the setup block "TASK-SYSTEM", and holds the two queues of
// knob operations that the main loop replays after each read-out.
#pragma once
#include "core/state/ids.h"
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/state/task.h"

struct instr;
class Menu;
struct taskresponse;

// The services of the layers above that the system module runs: auto-set and
// the ADC calibrations. Start-up installs them; until then they answer -1.
struct SysServiceHooks {
  int (*autoSet)(TaskResource* resource, Menu* menu, bool independTest);
  int (*gainCali50mv)(short channel);
  int (*adjAdcPhase)(taskresponse* reply);
  int (*adcPhaseDetection)(short mode, short* result);
};
void SetSysServiceHooks(const SysServiceHooks* hooks);
// The ADC phase detection through the installed services (-1 without them).
int AdcPhaseDetection(short mode, short* result);

constexpr int kSystemTaskId = 0;

// Key codes the module takes (the key map's names in the comments).
enum SystemKey : uint16_t {
  kSysKeyMenuOnOff = 54,  // KEY_MENU_ONOFF
  kSysKeyPrintScreen = 55,  // PrtSc
  kSysKeyRunStop = 59,    // RUNSTOP
  kSysKeyAuto = 63,       // AUTOSET
  kSysKeyOffsetOk = 73,   // OFFSET_OK
  kSysKeyPreTrigOk = 74,  // PRETIG_OK
  kSysKeyTrigOk = 75,     // TIRGGER_OK
  kSysKeyOffsetR = 78,    // OFFSET_R
  kSysKeyOffsetL = 79,    // OFFSET_L
  kSysKeyPreTrigR = 80,   // PRETIG_R
  kSysKeyPreTrigL = 81,   // PRETIG_L
  kSysKeyTrigR = 82,      // TIRGGER_R
  kSysKeyTrigL = 83,      // TIRGGER_L
  kSysKeyVoltsR = 84,     // VOLTS_R
  kSysKeyVoltsL = 85,     // VOLTS_L
  kSysKeyTbR = 86,        // TB_R
  kSysKeyTbL = 87,        // TB_L
  kSysKeyVoltsOk = 88,    // VOLTS_OK
  kSysKeyTbOk = 89,       // TB_OK
  kSysOpTemperature = 145,  // queued by the temperature thread: re-apply the position
  kSysAssistGainCali = 134,
  kSysAssistAdcPhase = 135,
};

constexpr int kSysQueueEntries = 20;
constexpr uint16_t kSysQueueFree = 255;

// One queued knob operation.
struct SysOpCmd {
  int16_t key = int16_t(kSysQueueFree);
  int16_t channel = 0;
  int16_t step = 0;
  int16_t status = 0;  // status of channel 0 while it is replayed
  int64_t stampUs = 0;
};

class TaskForSystem : public task {
 public:
  TaskForSystem();
  ~TaskForSystem() override;

  int Default() override;
  int Initialize() override;
  // Setup-file block "TASK-SYSTEM", CR LF, the run-state image, CR LF. On
  // save the record's `length` is the capacity of `buffer`.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override;
  int Display() override;
  int FunctionOnOff(int) override { return 0; }
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse*) override { return 0; }
  int TaskBetweenSync(taskresponse*, taskresponse*) override { return 0; }
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override { return 0; }

  // The op queue: replayed whole after the next read-out. Appends and
  // replays may come from the main loop, the temperature thread and the SCPI
  // worker; the queue has its own lock, never held while the models run.
  int AppendOpCmd(int16_t key, int16_t channel, int16_t step, int16_t status);
  int RunAppendOpCmd();
  int16_t IsAppendOpCmd() const;
  // The delayed ring: each entry runs one second after it was queued.
  int DelayRunAppendOpCmd(int16_t key, int16_t channel, int16_t step, int16_t type);
  int RunDelayOpCmd();
  int DelayPending() const;

  // The main loop's names for the queues.
  int IsRunOpCmd() const { return IsAppendOpCmd(); }
  int RunOpCmd();
  int DelayRunOpCmd();

  int AutoSetOp();
  int AutoSetOpTest();

 private:
  struct Queue {
    int32_t write = 0;
    int32_t read = 0;
    int32_t last = -1;  // pending entries - 1
    SysOpCmd entry[kSysQueueEntries];
  };
  // Runs one taken entry on the models; true when it moved a position.
  bool ApplyOp(const SysOpCmd& op);

  int64_t initStampUs_ = 0;
  int64_t appendStampUs_ = 0;
  Queue ops_;
  int32_t delayLast_ = -1;
  SysOpCmd delay_[kSysQueueEntries];
  mutable std::mutex queueMu_;
};

extern TaskForSystem TaskSystem;
extern instr TaskSystemInstrStandard[];

// The knobs; each takes the key event as the main loop delivers it.
int VerticalKnob(keypara k);
int HorizontalKnob(keypara k);
int TriggerKnob(keypara k);
int TriggerToZero();
int SetToZero();
int RunStop();
int RunStopTest();
int MenuOnOff();
// Writes a BMP of the screen last shown: with no name into "/udisk/QelPrtSc/"
// under the first unused "QelPrtsc-0NN.bmp"; with a name as "<dir>/<name>.bmp".
int PrintScreen(const char* dir, const char* name);
// The BMP file of a screen page (800 x 480, 0x00RRGGBB) in print-screen format 0-3.
std::vector<uint8_t> ScreenBmp(const uint32_t* page, int format);
// Re-applies the settings of a loaded run state.
int SystemAllParaReSet();

// The main loop's free names for the queues, and the delayed time-base refresh.
int IsRunOpCmd();
int RunOpCmd();
int DelayRunOpCmd();
int AddrCmd();
