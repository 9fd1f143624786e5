// The utility function module. Its menu is not built yet: it is registered,
// and what other modules read of it already works: the device information
// (`Data/Information`) and the serial number (`SN.txt`).
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
  // Reads the device information and the serial number.
  int Initialize() override;
  // Rows from "Data/Information" ("[KEY] value" lines); 0, or -1 without the file.
  int LoadSysInformation();
  // Row 13 from "SN.txt"; 0, or -1 without the file or its key.
  int GetSerialNumber();
  // Writes "[SERIAL] <text>" to "SN.txt"; 0, or -1 when it cannot.
  int SetSerialNumber(const char* text, int length);
  int isSerialNumberFileExist();
};

extern TaskForUtility TaskUtility;
extern instr TaskUtilityInstrStandard[];
