// The utility function module. Built so far: the device information
// (`Data/Information`), the serial number (`SN.txt`), the pending-dialog bits
// and the waveform recorder with its pages (system/recorder*.h); the other
// pages of its menu are not built yet.
#pragma once
#include "core/task.h"

struct instr;

constexpr int kInfoRows = 19;
constexpr int kInfoChars = 30;  // one row, its end mark included
// Rows of the device information.
enum InfoRow : int {
  kInfoFactory = 0,
  kInfoModel = 1,
  kInfoHardware = 2,
  kInfoSoftware = 3,
  kInfoLogic = 4,
  kInfoDate = 5,
  kInfoChannel = 6,
  kInfoSerial = 13,
  kInfoDef = 17,
};
extern char SysInformation[kInfoRows][kInfoChars];

class TaskForUtility : public TaskNotBuilt {
 public:
  // Loads the menu, clears the recorder and reads the device information and
  // the serial number.
  int Initialize() override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override;
  int Display() override;
  int FunctionOnOff(int on) override;
  // Kind 1, value 2: a recording to video (name in `area`, words 2-4 the
  // rate, first and last frame); kind 3, value 41: the recorder closed.
  int Assist(taskresponse* request, taskresponse* reply) override;
  int LoadLanguage();

  // Pending-dialog bits (the recorder's frame counter 0x4, the number pad 0x100, ...).
  void SetFuncBits(uint32_t bits);
  void ClearFuncBits(uint32_t bits) { FuncBits &= ~bits; }
  void ClearAllFuncBits() { FuncBits = 0; }
  uint32_t GetFunBits() const { return FuncBits; }

  // Rows from "Data/Information" ("[KEY] value" lines); 0, or -1 without the file.
  int LoadSysInformation();
  // Row 13 from "SN.txt"; 0, or -1 without the file or its key.
  int GetSerialNumber();
  // Writes "[SERIAL] <text>" to "SN.txt"; 0, or -1 when it cannot.
  int SetSerialNumber(const char* text, int length);
  int isSerialNumberFileExist();

 private:
  uint32_t FuncBits = 0;
};

// The assist request that converts a recording to video: kind, value, then
// the numbers in `words` and the file name (without extension) in `area`.
enum : uint16_t { kAssistUtilityInfo = 1, kAssistRecordToVideo = 2, kAssistFunctionOff = 3 };
enum : uint16_t { kAssistRecorderClose = 41 };
enum AssistWord : int { kAssistKind = 0, kAssistValue = 1, kAssistRate = 2, kAssistFirst = 3, kAssistLast = 4 };

extern TaskForUtility TaskUtility;
extern instr TaskUtilityInstrStandard[];
extern menu TaskUtilityMenu;
