// The utility module behind the UTILITY key: self-calibration, the version
// and device-information box, the menu language, the recorder and pass/fail
// entries, the square-wave output, the frequency counter, the output
// selector, clearing stored data, the date and time and network address
// editors, the power-on behaviour and the screenshot viewer. Its dialogs are
// the bits of `FuncBits`; `Display` draws those that are open.
#pragma once
#include <cstdint>
#include <vector>

#include "core/state/ids.h"
#include "core/state/task.h"

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
  kInfoProtocol = 7,
  kInfoSerial = 13,
  kInfoManufacturer = 14,
  kInfoWeb = 15,
  kInfoDef = 17,
  kInfoCh500uV = 18,
};
extern char SysInformation[kInfoRows][kInfoChars];
extern const uint16_t* pInfomation[kInfoRows];

// Menu pages.
enum UtilityPage : int {
  kUtiPageUtility1 = 0,
  kUtiPageUtility2 = 1,
  kUtiPageUtility3 = 2,
  kUtiPageSelfCali = 4,
  kUtiPageTime = 5,
  kUtiPageIp = 6,
  kUtiPageRecOp = 7,
  kUtiPageRecOp2 = 8,
  kUtiPageRecSet = 9,
  kUtiPagePrtSc = 10,
  kUtiPagePf1 = 11,
  kUtiPagePf2 = 12,
  kUtiPagePfStop = 13,
  kUtiPagePfMask = 14,
  kUtiPageClear = 15,
};

// Menu items (page n / 5, slot n % 5).
enum UtilityItem : int {
  kUtiSelfCal = 0,
  kUtiVersion = 1,
  kUtiLanguage = 2,
  kUtiRecord = 3,
  kUtiNext1 = 4,
  kUtiPassFail = 5,
  kUtiSquare = 6,
  kUtiCymometer = 7,
  kUtiOutputSel = 8,
  kUtiNext2 = 9,
  kUtiClearData = 10,
  kUtiSetTime = 11,
  kUtiIpConfig = 12,
  kUtiBootRest = 13,
  kUtiNext3 = 14,
  kUtiCaliSure = 20,
  kUtiCaliCancel = 21,
  kUtiTimeReset = 25,
  kUtiTimeSure = 26,
  kUtiTimeCancel = 29,
  kUtiIpType = 30,
  kUtiIpAddr = 31,
  kUtiSubMask = 32,
  kUtiIpSure = 33,
  kUtiIpCancel = 34,
  kUtiRecPlay = 35,
  kUtiRecStop = 36,
  kUtiRecRecord = 37,
  kUtiRecFast = 38,
  kUtiRecOff = 39,
  kUtiRecSet = 40,
  kUtiRecExit = 41,
  kUtiRecBack = 44,
  kUtiRecInterval = 45,
  kUtiRecEndFrame = 46,
  kUtiRecPlayDelay = 47,
  kUtiRecMaxFrame = 48,
  kUtiRecSetBack = 49,
  kUtiSaveInk = 50,
  kUtiPrintView = 51,
  kUtiViewNext = 52,
  kUtiViewPrevious = 53,
  kUtiPrtScBack = 54,
  kUtiPfEnable = 55,
  kUtiPfOperate = 56,
  kUtiPfOutput = 57,
  kUtiPfSource = 58,
  kUtiPfNext = 59,
  kUtiPfStopSetup = 60,
  kUtiPfMaskSetup = 61,
  kUtiPfReturn = 62,
  kUtiPfBack = 64,
  kUtiPfStopType = 65,
  kUtiPfWhen = 66,
  kUtiPfThreshold = 67,
  kUtiPfStopBack = 69,
  kUtiPfRefChannel = 70,
  kUtiPfHoriMask = 71,
  kUtiPfVertMask = 72,
  kUtiPfMaskBack = 74,
  kUtiClearSure = 75,
  kUtiClearCancel = 76,
};

// Dialog bits of `FuncBits`.
enum : uint32_t {
  kUtiDlgSelfCali = 0x1,
  kUtiDlgVersion = 0x2,
  kUtiDlgRecorder = 0x4,
  kUtiDlgPassFail = 0x8,
  kUtiDlgClearData = 0x10,
  kUtiDlgIp = 0x20,
  kUtiDlgPrtSc = 0x40,
  kUtiDlgTime = 0x80,
  kUtiDlgNumPad = 0x100,
};

// The assist request by which the storage module has recorded frames turned
// into a video: request kUtiAssistInfo, words[0] kUtiInfoVideo, words 1-4 the
// frames a second, seconds, first and last frame (1-based), the name (a
// `const char*`) copied into `area`.
constexpr uint16_t kUtiAssistInfo = 1, kUtiInfoVideo = 2;

class TaskForUtility : public task {
 public:
  int Default() override;
  int Initialize() override;
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override;
  int Display() override;
  int FunctionOnOff(int on) override;
  int Assist(taskresponse* request, taskresponse* answer) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse* r, taskresponse* arg) override;
  int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) override;

  uint32_t GetFunBits() const { return FuncBits; }
  void SetFuncBits(uint32_t bits);
  void ClearFuncBits(uint32_t bits) { FuncBits &= ~bits; }
  void ClearAllFuncBits() { FuncBits = 0; }
  int16_t GetLogicMVer() const { return LogicMVer; }
  int16_t GetLogicSVer() const { return LogicSVer; }
  // Closes every open dialog; 1 when one was open.
  int DisableFunc();

  // Menu, message and dialog texts of the current language; -1 on failure.
  int LoadLanguage(int reload);
  int LoadSelfCaliInfo(const char* path);
  // Rows from "Data/Information" ("[KEY] value" lines); 0, or -1 without the file.
  int LoadSysInformation();
  // Row 13 from "SN.txt"; 0, or -1 without the file or its key.
  int GetSerialNumber();
  // Writes "[SERIAL] <text>" to "SN.txt"; 0, or -1 when it cannot or the
  // text is not a plain serial (printable, no blanks, fits the row).
  int SetSerialNumber(const char* text, int length);
  int isSerialNumberFileExist();

 private:
  uint32_t FuncBits = 0;
  int16_t LogicMVer = 0;
  int16_t LogicSVer = 0;
  std::vector<uint16_t> TextBlock;
};

extern TaskForUtility TaskUtility;
extern instr TaskUtilityInstrStandard[];
extern menu TaskUtilityMenu;
extern menu* UtilityMenu;
extern int UtiliAttrib;
extern int UtilityAdjType;

// Dialog texts of the current language (null until loaded).
extern const uint16_t* Utili_SelfCaliTitle;
extern const uint16_t* Utili_SelfCaliTxt;
extern const uint16_t* Utili_ClearDataTitle;
extern const uint16_t* Utili_ClearDataTxt;
extern const uint16_t* Utili_TimeSetTitle;
extern const uint16_t* Utili_NetworkSetTitle;
extern const uint16_t* Utili_IpAddrTxt;
extern const uint16_t* Utili_NetmaskTxt;
extern const uint16_t* Utili_SysInfo;
extern const uint16_t* Utili_FileSel;

// Menu handlers.
int Utility_MenuOp(keypara key);
int Utility_TimeMenuOp(keypara key);
int Utility_IPMenuOp(keypara key);
int Utili_ClearDataMenuOp(keypara key);
int Utility_Next(keypara key);
int Utility_SelfCali(keypara key);
int Utility_Version(keypara key);
int Utility_Language(keypara key);
int Utility_Record(keypara key);
int Utility_PassFail(keypara key);
int Utility_Square(keypara key);
int Utility_Cymometer(keypara key);
int Utility_OutputSel(keypara key);
int Utility_BootRest(keypara key);
int Utility_ClearData(keypara key);
int Utili_ClearData_Sure(keypara key);
int Utili_ClearData_Cancel(keypara key);
int Utility_SetTime(keypara key);
int Utility_SetTime_Reset(keypara key);
int Utility_SetTime_Sure(keypara key);
int Utility_SetTime_Cancel(keypara key);
int Utility_IPConfig(keypara key);
int Utility_IpConf_IpType(keypara key);
int Utility_IpConf_IpAddr(keypara key);
int Utility_IpConf_SubMask(keypara key);
int Utility_IpConf_Sure(keypara key);
int Utility_IpConf_Cancel(keypara key);
int Utility_PrintScreen(keypara key);
int Utility_PrintScreen_SaveInk(keypara key);
int Utility_PrintScreen_View(keypara key);
int Utility_PrintScreen_ViewNext(keypara key);
int Utility_PrintScreen_ViewPrevious(keypara key);
int Utility_PrintScreen_Back(keypara key);
void Utility_MenuInit();
void Utility_MenuReset();

// Dialog drawing of the module's own boxes.
void Utility_DrawClearData();
void Utility_DrawPrintScreen();
void Utility_DrawSelfCali();
