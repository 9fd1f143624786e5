// The display module's SCPI command table: the DISPLAY key and its lock, the
// display settings, the persistence clear, the screen picture (plain and
// LZO-compressed BMP), then the waveform read-out rows. Setters write the
// item and rerun its handler with no key, as a panel change would.
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ui/readout/wave_scpi.h"
#include "core/state/ids.h"
#include "core/messages/mymutex.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/codec/lzo_compress.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_key.h"
#include "remote/scpi/scpi_kit.h"
#include "ui/screen/qel_draw.h"
#include "ui/display/task_display.h"
#include "ui/display/task_display_scpi.h"

namespace {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr int kStorageTaskId = 17;
constexpr uint16_t kStorageClearRequest = 1, kStorageClearArgument = 2, kStorageClearValue = 14;
constexpr uint8_t kZbmpMarker[4] = {0x89, 0xAB, 0xCD, 0xEF};
constexpr size_t kZbmpPad = 4;
constexpr size_t kPadPeriod = 512, kPadStart = 487;

const scpipara kTraceTypes[] = {{"VECTors ", 0}, {"DOTS ", 1}, {"", -1}};
const scpipara kOnOff[] = {{"OFF", 0}, {"ON", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kPersist[] = {{"MINimum", 0}, {"50MS", 1}, {"100MS", 2}, {"200MS", 3},  {"500MS", 4},
                             {"1S", 5},      {"2S", 6},   {"5S", 7},    {"10S", 8},    {"20S", 9},
                             {"INFinite", 10}, {"", -1}};
const scpipara kMenuTimes[] = {{"5S", 0}, {"10S", 1}, {"20S", 2}, {"INFinite", 3}, {"0", 0},
                               {"1", 1},  {"2", 2},   {"3", 3},   {"", -1}};

Menu& M() { return TaskDisplay.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
void Refresh() { SystemResource.runStatus->SetDrawRefresh(); }

// The pattern of the row whose value is `v`, "" when none.
const char* KeywordOf(const scpipara* words, int v) {
  for (int i = 0; words[i].pattern[0]; ++i)
    if (words[i].value == v) return words[i].pattern;
  return "";
}

// The leading decimal number, limited to lo..hi.
int Bounded(const char* p, int lo, int hi) { return int(std::clamp(std::strtol(p, nullptr, 10), long(lo), long(hi))); }

// A setting stored in item `n` and applied by its handler.
void Apply(int n, int v, MenuHandler handler) {
  M().SetMenuItem(n, uint64_t(v));
  handler(kNoKey);
  Refresh();
}

void SetKeyword(const char* p, const scpipara* words, int n, MenuHandler handler) {
  const int v = ScpiKeyword(words, p);
  if (v >= 0) Apply(n, v, handler);
}

void SetBright(const char* p, int n, MenuHandler handler) {
  if (!ScpiMissing(p)) Apply(n, Bounded(p, 1, 100), handler);
}

void Scpi_Key_Display(scpi_para*, char*) { ScpiQueueKey("Display", kKeyDisplay); }
void Scpi_Key_DisplayLock(scpi_para*, char* p) { ScpiKeyLock(kKeyDisplay, p); }
void Scpi_Key_DisplayLockAsk(scpi_para*, char*) { ScpiKeyLockAsk(kKeyDisplay); }

void DisplayCtrlType(scpi_para*, char* p) {
  std::printf("Run Func:  Display_Format() \n");
  SetKeyword(p, kTraceTypes, kDispType, Display_Type);
}
void DisplayGetType(scpi_para*, char*) { ScpiAnswer(KeywordOf(kTraceTypes, Item(kDispType))); }

void DisplayCtrlGrid(scpi_para*, char* p) {
  std::printf("Run Func:  Display_Format() \n");
  SetBright(p, kDispGridBright, Display_GridBright);
}
void DisplayGetGrid(scpi_para*, char*) { ScpiAnswerNumber(Item(kDispGridBright)); }

void DisplayCtrlWave(scpi_para*, char* p) { SetBright(p, kDispWaveBright, Display_WaveBright); }
void DisplayGetWave(scpi_para*, char*) { ScpiAnswerNumber(Item(kDispWaveBright)); }

void DisplayCtrlClear(scpi_para*, char*) {
  SystemResource.draw->ClearQelPicture();
  taskresponse request{}, reply{};
  request.request = kStorageClearRequest;
  request.words[0] = kStorageClearArgument;
  request.words[1] = kStorageClearValue;
  TaskManage.RequestTaskAssist(kStorageTaskId, &request, &reply);
  Refresh();
}

void Scpi_System_Brightness(scpi_para*, char* p) {
  if (ScpiMissing(p)) return;
  std::printf("BackLight = %d\n", int(std::clamp(std::strtol(p, nullptr, 10), -99999L, 99999L)));
  Apply(kDispBackLight, Bounded(p, 10, 100), Display_BackLight);
}
void Scpi_System_BrightnessAsk(scpi_para*, char*) { ScpiAnswerNumber(Item(kDispBackLight)); }

void DisplayCtrlPersist(scpi_para*, char* p) { SetKeyword(p, kPersist, kDispPersist, Display_Persist); }
void DisplayGetPersist(scpi_para*, char*) { ScpiAnswer(KeywordOf(kPersist, Item(kDispPersist))); }

void DisplayCtrlColor(scpi_para*, char* p) { SetKeyword(p, kOnOff, kDispColor, Display_Color); }
void DisplayGetColor(scpi_para*, char*) { ScpiAnswerNumber(Item(kDispColor)); }

void DisplayCtrlColorInvert(scpi_para*, char* p) { SetKeyword(p, kOnOff, kDispColorInvert, Display_ColorInvert); }
void DisplayGetColorInvert(scpi_para*, char*) { ScpiAnswerNumber(Item(kDispColorInvert)); }

void Scpi_Display_MenuTime(scpi_para*, char* p) {
  const int v = ScpiKeyword(kMenuTimes, p);
  if (v < 0) return;
  std::printf("SetPara = %d \n", v);
  Apply(kDispMenuTime, v, Display_MenuTime);
}
void Scpi_Display_MenuTimeAsk(scpi_para*, char*) { ScpiAnswer(KeywordOf(kMenuTimes, Item(kDispMenuTime))); }

std::vector<uint8_t>& Picture() {
  static std::vector<uint8_t> picture(kBmpFileBytes);
  return picture;
}

void Scpi_Display_DataAsk(scpi_para*, char*) {
  std::vector<uint8_t>& picture = Picture();
  if (CopyFbWithFBmp(picture.data()) != 0) return;
  SystemResource.scpiEngine->WriteResponseDataRaw(reinterpret_cast<const char*>(picture.data()),
                                                  int(picture.size()));
}

void Scpi_Display_ZbmpAsk(scpi_para*, char*) {
  static std::vector<uint8_t> out[2];
  static int toggle = 0;
  std::vector<uint8_t>& buf = out[toggle];
  buf.assign(LzoWorstCase(kBmpFileBytes) + sizeof kZbmpMarker + kZbmpPad, 0);
  std::vector<uint8_t>& picture = Picture();
  pthread_mutex_lock(&mymutex);
  const int copied = CopyFbWithFBmp(picture.data());
  pthread_mutex_unlock(&mymutex);
  if (copied != 0) return;
  size_t n = 0;
  const int r = LzoCompress(picture.data(), picture.size(), buf.data(), &n);
  if (r != kLzoDone && r != kLzoIncompressible) return;  // no block of undefined length
  std::memcpy(buf.data() + n, kZbmpMarker, sizeof kZbmpMarker);
  SystemResource.scpiEngine->WriteResponseDataRaw(reinterpret_cast<const char*>(buf.data()),
                                                  int(ZbmpBlockLength(n)));
  toggle ^= 1;
}
}  // namespace

size_t ZbmpBlockLength(size_t n) {
  bool pad = n % kPadPeriod == kPadStart;
  if (n >= kPadStart) {
    const size_t r = (n - kPadStart) % kPadPeriod;
    pad = pad || r >= kPadPeriod - 3;
  }
  return n + sizeof kZbmpMarker + (pad ? kZbmpPad : 0);
}

int CopyFbWithFBmp(uint8_t* out) {
  const uint32_t* screen = SystemResource.draw ? SystemResource.draw->GetScreenBMP() : nullptr;
  if (!screen || !out) return -1;
  std::memcpy(out, BMP_HEAD, sizeof BMP_HEAD);
  uint8_t* pixels = out + sizeof BMP_HEAD;
  for (int row = 0; row < kBmpHeight; ++row) {
    const uint32_t* src = screen + size_t(kBmpHeight - 1 - row) * kBmpWidth;  // bottom row first
    uint8_t* dst = pixels + size_t(row) * kBmpWidth * 3;
    for (int x = 0; x < kBmpWidth; ++x) {
      dst[3 * x] = uint8_t(src[x]);
      dst[3 * x + 1] = uint8_t(src[x] >> 8);
      dst[3 * x + 2] = uint8_t(src[x] >> 16);
    }
  }
  return 0;
}

instr TaskDisplayInstrStandard[] = {
    {"KEY:DISPlay", Scpi_Key_Display},
    {"KEY:DISPlay:LOCK", Scpi_Key_DisplayLock},
    {"KEY:DISPlay:LOCK?", Scpi_Key_DisplayLockAsk},
    {"DISPlay:FORMat", DisplayCtrlType},
    {"DISPlay:FORMat?", DisplayGetType},
    {"DISPlay:GRID:BRIGhtness", DisplayCtrlGrid},
    {"DISPlay:GRID:BRIGhtness?", DisplayGetGrid},
    {"DISPlay:WAVE:BRIGhtness", DisplayCtrlWave},
    {"DISPlay:WAVE:BRIGhtness?", DisplayGetWave},
    {"DISPlay:CLEar", DisplayCtrlClear},
    {"SYSTem:BRIGhtness", Scpi_System_Brightness},
    {"SYSTem:BRIGhtness?", Scpi_System_BrightnessAsk},
    {"DISPlay:GRAD:TIME", DisplayCtrlPersist},
    {"DISPlay:GRAD:TIME?", DisplayGetPersist},
    {"DISPlay:COLOR", DisplayCtrlColor},
    {"DISPlay:COLOR?", DisplayGetColor},
    {"DISPlay:COLOR:INVERt", DisplayCtrlColorInvert},
    {"DISPlay:COLOR:INVERt?", DisplayGetColorInvert},
    {"SYSTem:MNUDisplay", Scpi_Display_MenuTime},
    {"SYSTem:MNUDisplay?", Scpi_Display_MenuTimeAsk},
    {"DISPlay:ZBMP?", Scpi_Display_ZbmpAsk},
    {"DISPlay:DATA?", Scpi_Display_DataAsk},
    {"WAVeform:MODE", Scpi_Waveform_Mode},
    {"WAVeform:MODE?", Scpi_Waveform_ModeAsk},
    {"WAVeform:FORMat", Scpi_Waveform_Format},
    {"WAVeform:FORMat?", Scpi_Waveform_FormatAsk},
    {"WAVeform:STARt", Scpi_Waveform_Start},
    {"WAVeform:STARt?", Scpi_Waveform_StartAsk},
    {"WAVeform:STOP", Scpi_Waveform_Stop},
    {"WAVeform:STOP?", Scpi_Waveform_StopAsk},
    {"WAVeform:SOURce", Scpi_Waveform_Source},
    {"WAVeform:SOURce?", Scpi_Waveform_SourceAsk},
    {"WAVeform:POINts", Scpi_Waveform_Points},
    {"WAVeform:POINts?", Scpi_Waveform_PointsAsk},
    {"WAVeform:DATA?", Scpi_Waveform_DataAsk},
    {"WAVeform:PREamble?", Scpi_Waveform_PreambleAsk},
    {"WAVeform:XINCrement?", Scpi_Waveform_XIncrementAsk},
    {"WAVeform:XORigin?", Scpi_Waveform_XOriginAsk},
    {"WAVeform:XREFerence?", Scpi_Waveform_XReferenceAsk},
    {"WAVeform:YINCrement?", Scpi_Waveform_YIncrementAsk},
    {"WAVeform:YORigin?", Scpi_Waveform_YOriginAsk},
    {"WAVeform:YREFerence?", Scpi_Waveform_YReferenceAsk},
    {"Waveform1:DAT?", Scpi_Waveform_TransmitData1},
    {"Waveform2:DAT?", Scpi_Waveform_TransmitData2},
    {"Frame?", Scpi_Waveform_Frame},
    {"FrameStart?", Scpi_Waveform_FrameStart},
    {"FrameColor?", Scpi_Waveform_FrameColor},
    {"FrameEnd?", Scpi_Waveform_FrameEnd},
    {"", nullptr},
};
