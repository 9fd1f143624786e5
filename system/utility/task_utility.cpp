// The utility module: its task slots, dialog bits and the drawing of the open
// dialogs.
#include "system/utility/task_utility.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/state/setup_block.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "system/utility/ip_config.h"
#include "system/utility/pass_fail.h"
#include "system/recorder/recorder.h"
#include "system/calibration/self_cali.h"
#include "system/utility/task_utility_internal.h"
#include "system/utility/utility_draw.h"
#include "ui/screen/qel_draw.h"

TaskForUtility TaskUtility;

namespace {
constexpr uint64_t kFuncClearedAtStart = 0xF80, kFuncClearedOff = 0xF00;
constexpr int kSyncSources[] = {kTaskSystem, kTaskCh1, kTaskCh2, kTaskMath, kTaskTrigger, kTaskDisplay, kTaskAcquire,
                                kTaskStorage};
constexpr uint16_t kAssistInfo = kUtiAssistInfo, kAssistCali = 2, kAssistSetItem = 3;
constexpr uint16_t kInfoReload = 1, kInfoVideo = kUtiInfoVideo, kCaliConfirm = 129;
constexpr int kMsgFftStopped = 19;
constexpr int kMathFft = 1;
constexpr int kChMath = 0x20;
constexpr uint16_t kRecStopKeys[] = {57, 58, 64, 65, 66, 69, 73, 74, 78, 79, 80, 81, 84, 85, 86, 87, 88, 89};
constexpr char kLabel[] = "TASK-UTILITY";
constexpr uint8_t kByte212Default = 1;
constexpr uint8_t kIpDefault[kIpBytes] = {192, 168, 1, 1};
constexpr uint8_t kMaskDefault[kIpBytes] = {255, 255, 255, 0};
constexpr int kCaliBoxRow = 130, kCaliBoxCol = 200, kBoxPicture = 102, kBoxFont = 4, kBoxColour = 0xC8C8AF;
constexpr int kBoxTitleRow = 133, kBoxTitleCol = 203, kBoxTitleWidth = 394, kBoxTextRow = 170, kBoxTextCol = 230,
              kBoxTextWidth = 350, kBoxLines = 8;
// The self-calibration's busy indicator and progress bar: the frame picture
// and its segment picture, 40 segments 9 columns apart.
constexpr int kCaliBarRow = 380, kCaliBarCol = 215, kBarFramePicture = 118, kBarSegmentPicture = 119;
constexpr int kSegmentRow = 3, kSegmentColumn = 2, kSegmentStep = 9, kBusySegments = 4;

bool SaveBlock(SetupFileRecord* rec) { return SaveMenuBlock(rec, kLabel, TaskUtility.TaskMenu, &TaskUtilityMenu); }

bool CheckBlock(SetupFileRecord* rec) { return CheckMenuBlock(*rec, kLabel, &TaskUtilityMenu); }

bool LoadBlock(SetupFileRecord* rec) {
  if (!LoadMenuBlock(*rec, kLabel, TaskUtility.TaskMenu, &TaskUtilityMenu)) return false;
  TaskUtility.TaskMenu.ClampItems();
  Utility_Language(kUtiNoKey);
  Utility_MenuReset();
  return true;
}

int LineLength(const uint16_t* text) {
  int n = 0;
  while (text[n] != 0 && text[n] != '\r' && text[n] != '\n') ++n;
  return n;
}

// A box with a title and a wrapped text, drawn straight into the page.
void TextBox(const uint16_t* title, const uint16_t* text) {
  qel_draw& d = QelDraw;
  Font* font = d.GetUserFontPointer();
  const short before = font ? font->CurrentAsciiFont() : 0;
  if (font) font->SetCurrFont(kBoxFont);
  d.DrawPictrue(kCaliBoxRow, kCaliBoxCol, kBoxPicture, DRAW_CURRENT);
  if (title) d.DrawUnicodeString(kBoxTitleRow, kBoxTitleCol, title, kBoxTitleWidth, kBoxColour, DRAW_CURRENT);
  if (text)
    d.DrawUnicodeTxt(kBoxTextRow, kBoxTextCol, text, kBoxTextWidth, LineLength(text), 0, kBoxLines, kBoxColour,
                     DRAW_CURRENT);
  if (font) font->SetCurrFont(before);
}

bool IsRecStopKey(uint16_t key) {
  for (uint16_t k : kRecStopKeys)
    if (k == key) return true;
  return false;
}
}  // namespace

void TaskForUtility::SetFuncBits(uint32_t bits) {
  FuncBits |= bits;
  std::printf("func bit = %#x \n", FuncBits);
}

int TaskForUtility::Default() {
  std::printf("TaskForUtility-> Default\n");
  const iic_item batch[] = {IicU8(EepromItemAddress(kEeUtility, kUtiSquare), kUtiSquareDefault),
                            IicU8(EepromItemAddress(kEeUtility, kUtiCymometer), kUtiCymometerDefault),
                            IicU8(EepromItemAddress(kEeUtility, kUtiOutputSel), 0),
                            IicU8(EepromItemAddress(kEeUtility, kUtiIpType), kUtiIpTypeDefault),
                            IicU8(EE_IP_ADDRESS + 0, kIpDefault[0]),
                            IicU8(EE_IP_ADDRESS + 1, kIpDefault[1]),
                            IicU8(EE_IP_ADDRESS + 2, kIpDefault[2]),
                            IicU8(EE_IP_ADDRESS + 3, kIpDefault[3]),
                            IicU8(EE_NET_MASK + 0, kMaskDefault[0]),
                            IicU8(EE_NET_MASK + 1, kMaskDefault[1]),
                            IicU8(EE_NET_MASK + 2, kMaskDefault[2]),
                            IicU8(EE_NET_MASK + 3, kMaskDefault[3]),
                            IicU8(EepromItemAddress(kEeUtility, kUtiSaveInk), 0),
                            IicU8(EepromItemAddress(kEeUtility, kUtiSaveInk) + 1, kByte212Default),
                            IicEnd()};
  Sys().eeprom->I2C_BatchWrite(batch);
  Run().Set_passFail_flag(0);
  return 0;
}

int TaskForUtility::Initialize() {
  if (LoadLanguage(0) < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskUtilityMenu);
  TaskMenu.ClampItems();
  UtilityMenu = &TaskUtilityMenu;
  Utility_MenuInit();
  Rec_Init();
  control& board = *Sys().board;
  board.SendRealControl(fpga::kRecFast, 0);
  board.SendRealControl(fpga::kRecStopPlay, 1);
  Rec_Close();
  TaskMenu.MenuPopDisable();
  LogicMVer = int16_t(board.ReadAnyReg(fpga::kLogicVersion));
  LogicSVer = int16_t(board.ReadAnyReg(fpga::kLogicSubVersion));
  std::printf("LogicMVer = %#x, LogicSVer = %#x\n", unsigned(uint16_t(LogicMVer)), unsigned(uint16_t(LogicSVer)));
  LoadSysInformation();
  GetSerialNumber();
  Run().ClearFuncBit(kFuncClearedAtStart);
  PassFail_Operate(kUtiNoKey);
  for (int from : kSyncSources) Manager().AddTaskBetweenSync(from, kTaskUtility);
  ipConfig.ReadIpFormIIC();
  return 0;
}

int TaskForUtility::Stroage(taskresponse* r) {
  return RunSetupBlock(r, SaveBlock, LoadBlock, CheckBlock);
}

int TaskForUtility::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  if (r->key.key == kKeyScpiIp) return Utility_IpConf_Sure(kUtiNoKey);
  if (r->key.key == kKeyScpiSelfCal) {
    Utility_SelfCali(kUtiNoKey);
    Run().SetDrawRefresh();
    QelDraw.MainDisplay();
    return Utili_SelfCali_Sure(kUtiNoKey);
  }
  return TaskMenu.MenuOp(r->key);
}

int TaskForUtility::DataProcess() { return Rec_GetWaveNum(); }

int TaskForUtility::Display() {
  if (FuncBits & kUtiDlgSelfCali) Utility_DrawSelfCali();
  if (FuncBits & kUtiDlgVersion) UtilityDraw.DrawVersion();
  if (FuncBits & kUtiDlgIp) {
    UtilityDraw.ShowIpAddr();
    UtilityDraw.ShowIpTwinkleOne();
  }
  if (FuncBits & kUtiDlgPrtSc) Utility_DrawPrintScreen();
  if (FuncBits & kUtiDlgPassFail) Utility_DrawPassFail();
  if (FuncBits & kUtiDlgRecorder) Utility_DrawRecWaveNum();
  if (FuncBits & kUtiDlgNumPad) RecorderNumPadDraw();
  if (FuncBits & kUtiDlgClearData) Utility_DrawClearData();
  if (FuncBits & kUtiDlgTime) {
    UtilityDraw.ShowTime();
    UtilityDraw.ShowTimeTwinkle();
  }
  return 0;
}

int TaskForUtility::FunctionOnOff(int on) {
  if ((on & ~2) != 0) return 0;
  TaskMenu.SetMenuItem(kUtiVersion, 0);
  TaskMenu.SetMenuItem(kUtiPfEnable, 0);
  TaskMenu.SetMenuItem(kUtiPfOperate, 0);
  PassFail_Operate(kUtiNoKey);
  TaskMenu.SetItemAttribute(kUtiPfSource, uint32_t(TaskMenu.GetItemAttribute(kUtiPfSource)) & ~MENU_ATTR_FROZEN);
  ClearFuncBits(kUtiDlgTime | kUtiDlgIp);
  UtiPage(kUtiPageUtility3);
  Rec_Close();
  ClearFuncBits(kUtiDlgRecorder | kUtiDlgPassFail);
  Run().ClearFuncBit(kFuncClearedOff);
  Manager().DelUserTaskProcess(kTaskUtility);
  Manager().DelUserTaskDisplay(kTaskUtility);
  Sys().board->BeeOff();
  return 0;
}

int TaskForUtility::Assist(taskresponse* request, taskresponse*) {
  if (!request) return 0;
  const uint16_t kind = request->request, value = request->words[0];
  if (kind == kAssistInfo && value == kInfoReload) {
    LoadSysInformation();
    GetSerialNumber();
  } else if (kind == kAssistInfo && value == kInfoVideo) {
    const char* name = nullptr;
    std::memcpy(&name, request->area, sizeof name);
    RecordToVideo(name, request->words[1], request->words[2], request->words[3], request->words[4]);
  } else if (kind == kAssistCali && value == kCaliConfirm) {
    Utili_SelfCali_Sure(keypara{kCaliConfirm, 1, 0});
  } else if (kind == kAssistSetItem && value == kUtiCymometer) {
    TaskMenu.SetMenuItem(kUtiCymometer, 0);
    Utility_Cymometer(kUtiNoKey);
  } else if (kind == kAssistSetItem && value == kUtiRecFast) {
    Manager().SetWorkTaskbyId(kTaskUtility);
    TaskMenu.SetMenuItem(kUtiRecFast, 1);
    TaskMenu.SetMenuItem(kUtiRecInterval, 2);
    TaskMenu.MenuPopDisable();
    Utility_Record(kUtiNoKey);
  } else if (kind == kAssistSetItem && value == kUtiRecExit) {
    Rec_Close();
    UtiPage(kUtiPageUtility1);
  } else if (kind == kAssistSetItem && value == kUtiPfEnable) {
    TaskMenu.SetMenuItem(kUtiPfEnable, 0);
    PassFail_Enable(kUtiNoKey);
  }
  return 0;
}

int TaskForUtility::TaskControlHandover(taskresponse*) {
  DisableFunc();
  TaskMenu.MenuPopDisable();
  return 0;
}

int TaskForUtility::TaskBetweenSync(taskresponse* r, taskresponse*) {
  if (!r) return 0;
  const uint16_t key = r->key.key;
  if (!(Run().GetFuncBits() & kFuncRecorderBusy)) TaskMenu.SetMenuItem(kUtiRecEndFrame, GetMaxFrame());
  const int mode = Rec_GetState();
  if ((mode == kRecRecording || mode == kRecRecorded) && (Run().GetFuncBits() & kFuncRecording) &&
      IsRecStopKey(key)) {
    Rec_Stop();
    return 0;
  }
  if (Rec_GetState() == kRecRecorded && key == kKeyRunStop) {
    Rec_Close();
    UtiMessage(kUtiMsgRecorderClosed);
  }
  if (Run().GetMathType() == kMathFft && (Run().GetChStatus() & kChMath) && UtiItem(kUtiPfOperate) == 1) {
    PassFail_Return(kUtiNoKey);
    UtiMessage(kMsgFftStopped);
  }
  return 0;
}

int TaskForUtility::TaskBackgroundResponse(taskresponse* r, taskresponse*) {
  if (r && r->key.key == kKeyMenuOnOff) return DisableFunc();
  return 0;
}

int TaskForUtility::DisableFunc() {
  const uint32_t open = FuncBits;
  if (open & kUtiDlgSelfCali) UtiPage(kUtiPageUtility1);
  if (open & kUtiDlgVersion) TaskMenu.SetMenuItem(kUtiVersion, 0);
  if (open & kUtiDlgPrtSc) {
    TaskMenu.SetMenuItem(kUtiPrintView, 0);
    Utility_PrintScreen_View(kUtiNoKey);
  }
  if (open & (kUtiDlgTime | kUtiDlgClearData)) UtiPage(kUtiPageUtility3);
  ClearFuncBits(kUtiDlgSelfCali | kUtiDlgVersion | kUtiDlgClearData | kUtiDlgIp | kUtiDlgTime);
  uint32_t closed = open & (kUtiDlgSelfCali | kUtiDlgVersion | kUtiDlgPrtSc | kUtiDlgTime | kUtiDlgClearData |
                            kUtiDlgIp);
  if ((open & kUtiDlgNumPad) && UtilityAdjType == 1) {
    UtilityAdjType = 0;
    ClearFuncBits(kUtiDlgNumPad);
    closed |= kUtiDlgNumPad;
  }
  if (!closed) return 0;
  // A running pass/fail test or recorder keeps its box on the screen.
  if (!(FuncBits & (kUtiDlgPassFail | kUtiDlgRecorder))) Manager().DelUserTaskDisplay(kTaskUtility);
  Run().SetDrawRefresh();
  return 1;
}

void Utility_DrawClearData() { TextBox(Utili_ClearDataTitle, Utili_ClearDataTxt); }
void Utility_DrawSelfCali() { Utili_DrawSelfCali(SelfCaliShownState(), short(SelfCaliProgress())); }

void Utili_DrawSelfCali(short state, short progress) {
  TextBox(Utili_SelfCaliTitle, Utili_SelfCaliTxt);
  if (state != kSelfCaliBusy && state != kSelfCaliProgress) return;
  // The bar's frame and its segments, one per 40th of the run; while busy a
  // short run of segments travels along it from frame to frame.
  static int busyPhase = 0;
  qel_draw& d = QelDraw;
  d.DrawPictrue(kCaliBarRow, kCaliBarCol, kBarFramePicture, DRAW_CURRENT);
  int first = 0, count = std::clamp<int>(progress, 0, kSelfCaliProgressFull);
  if (state == kSelfCaliBusy) {
    first = busyPhase++ % (kSelfCaliProgressFull - kBusySegments + 1);
    count = kBusySegments;
  }
  for (int i = first; i < first + count; ++i)
    d.DrawPictrue(kCaliBarRow + kSegmentRow, kCaliBarCol + kSegmentColumn + kSegmentStep * i, kBarSegmentPicture,
                  DRAW_CURRENT);
}
