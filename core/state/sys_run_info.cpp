#include "core/state/sys_run_info.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"

_SysRunInfo SysRunInfo;
_SysRunInfoOp SysRunStatus(&SysRunInfo);

namespace {
constexpr int kMaxAcqMode = 3;
constexpr int kMaxAverageIndex = 12;
constexpr int kMaxMathType = 4;
constexpr int kMathHoldFirst = 6, kMathHoldLast = 7;

bool IsChannel(int ch) { return ch == 0 || ch == 1; }

// Bounded copy into a fixed text field, always terminated.
void CopyText(char* dst, size_t size, const char* src) {
  size_t n = strnlen(src, size - 1);
  std::memcpy(dst, src, n);
  std::memset(dst + n, 0, size - n);
}
}  // namespace

int _SysRunInfoOp::SetAcquireStatus(int ch, int v) {
  if (!IsChannel(ch)) return -1;
  if (IsIndependTimeBase()) {
    info_->acqStatus[ch] = uint16_t(v);
  } else {
    info_->acqStatus[0] = info_->acqStatus[1] = uint16_t(v);
  }
  return 0;
}

int _SysRunInfoOp::GetAcquireStatus(int ch) const { return IsChannel(ch) ? info_->acqStatus[ch] : -1; }

int _SysRunInfoOp::SetChStatus(int mask) { return info_->sourceOn = uint16_t(mask); }

int _SysRunInfoOp::SetMathHoldChannel(int n) {
  if (n < kMathHoldFirst || n > kMathHoldLast) return -1;
  return info_->sourceOn |= uint16_t(1u << n);
}

int _SysRunInfoOp::ClearMathHoldChannel(int n) {
  if (n < kMathHoldFirst || n > kMathHoldLast) return -1;
  return info_->sourceOn &= uint16_t(~(1u << n));
}

int _SysRunInfoOp::SetTaskDisplayWaveBit(int bits) { return info_->taskWaveBits |= uint16_t(bits); }
int _SysRunInfoOp::ClearTaskDisplayWaveBit(int bits) { return info_->taskWaveBits &= uint16_t(~bits); }
int _SysRunInfoOp::SetActivCh(int ch) { return info_->activeCh = int16_t(ch); }

int _SysRunInfoOp::SetAcquireMode(int mode) {
  if (mode >= 0 && mode <= kMaxAcqMode) info_->acqMode = uint16_t(mode);
  return info_->acqMode;
}

int _SysRunInfoOp::GetMemDepth(double* points) const {
  int index = info_->memDepthIndex;
  if (points) {
    double p = index <= kMemDepthMaxIndex ? MemDepthSize[index] : MemDepthSize[1];
    if (index == kMemDepthMaxIndex && (info_->funcBits & kFunc70MDepth)) p = MemDepthSize[7];
    *points = p;
  }
  return index;
}

int _SysRunInfoOp::SetMemDepth(int index) {
  if (index < 0 || index > kMemDepthMaxIndex) return -1;
  return info_->memDepthIndex = uint16_t(index);
}

double _SysRunInfoOp::GetAutoMemDepthPoints(int ch) const {
  return IsChannel(ch) ? info_->horizontal[ch].autoDepth : 0.0;
}

int _SysRunInfoOp::GetAcquireAverage(int* index) const {
  if (!index) return -1;
  return *index = info_->averageIndex;
}

int _SysRunInfoOp::SetAcquireAverage(int index) {
  if (index >= 0 && index <= kMaxAverageIndex) info_->averageIndex = uint16_t(index);
  return info_->averageIndex;
}

int _SysRunInfoOp::SetTimeBaseType(int type) { return info_->timeBaseType = uint16_t(type); }
int _SysRunInfoOp::GetTimeBase(int ch) const { return IsChannel(ch) ? info_->horizontal[ch].timeBase : -1; }
int _SysRunInfoOp::GetRealTimeBase(int ch) const {
  return IsChannel(ch) ? info_->horizontal[ch].realTimeBase : -1;
}
int _SysRunInfoOp::SetIndependTimeBaseSplit(int v) { return info_->independentSplit = uint16_t(v & 1); }

int _SysRunInfoOp::SetTimeBaseAdjFlag(int v) {
  if (v != 0 && v != 1) return -1;
  if (v == 1) plat::WallTime(&info_->timeBaseAdjTime.sec, &info_->timeBaseAdjTime.usec);
  return info_->timeBaseAdjFlag = uint16_t(v);
}

int _SysRunInfoOp::SetGuidance(int v) {
  if (v < 0 || v > 1) return -1;
  return info_->guidance = uint16_t(v);
}

int _SysRunInfoOp::SetWaveType(int type) {
  if (type != 1 && type != 2) return -1;
  return info_->waveType = uint16_t(type);
}

int _SysRunInfoOp::SetWaveDisplayInfor(int slot, int row, int height) {
  if (slot < 0 || slot >= kWaveSlots || row < 0 || height < 0 || row > 0xFFFF || height > 0xFFFF) return -1;
  info_->waveSlot[slot].row = uint16_t(row);
  info_->waveSlot[slot].height = uint16_t(height);
  return 0;
}

int _SysRunInfoOp::GetWaveDisplayInfor(int slot, int* row, int* height) const {
  if (slot < 0 || slot >= kWaveSlots) return -1;
  if (row) *row = info_->waveSlot[slot].row;
  if (height) *height = info_->waveSlot[slot].height;
  return 0;
}

int _SysRunInfoOp::SetTestWaveSel(int v) { return info_->testWaveSel = uint16_t(v); }

int _SysRunInfoOp::MenuOnOff() { return info_->menuShown = info_->menuShown ? 0 : 1; }
int _SysRunInfoOp::SetMenuDisplayTimeS(int code) { return info_->menuTimeCode = uint16_t(code); }
void _SysRunInfoOp::RefreshMenuTime() { plat::WallTime(&info_->menuTime.sec, &info_->menuTime.usec); }

int _SysRunInfoOp::IsMenuTimeOver() const {
  static const int kHideAfterS[3] = {5, 10, 20};
  const int code = info_->menuTimeCode;
  if (code > 2) return 0;  // 3 and unknown codes: never
  int32_t now = 0;
  plat::WallTime(&now, nullptr);
  return int64_t(now) - info_->menuTime.sec >= kHideAfterS[code] ? 1 : 0;
}

int _SysRunInfoOp::GetTriggerSourceCode(int slot) const {
  return IsChannel(slot) ? int(info_->sourceCode[slot]) : -1;
}

int _SysRunInfoOp::SetTriggerSourceCode(int slot, uint32_t code) {
  if (!IsChannel(slot)) return -1;
  info_->sourceCode[slot] = code;
  return 0;
}

int _SysRunInfoOp::SetTrigLevelLowHigh(int v) {
  if (v < 0 || v > 2) return -1;
  return info_->trigLevelSel = int16_t(v);
}

int _SysRunInfoOp::SetTransparent(int v) { return info_->transparent = uint16_t(v); }
int _SysRunInfoOp::SetPrintScreenFormat(int v) { return info_->printScreenFormat = uint16_t(v); }

int _SysRunInfoOp::SetCursorEnable(int v) {
  if (v != 0 && v != 1) return -1;
  return info_->cursorOn = uint16_t(v);
}
int _SysRunInfoOp::SetCursorType(int v) { return info_->cursorType = uint16_t(v); }
int _SysRunInfoOp::SetMeaMasterSource(int v) { return info_->measureMasterSource = uint16_t(v); }

int _SysRunInfoOp::SetMathType(int v) {
  if (v < 0 || v > kMaxMathType) return -1;
  return info_->mathType = uint16_t(v);
}

int _SysRunInfoOp::SetMathVoltage(const char* text) {
  if (!text) return -1;
  CopyText(info_->mathVoltage, sizeof info_->mathVoltage, text);
  return 0;
}

int _SysRunInfoOp::GetMathVoltage(char* out) const {
  if (!out) return -1;
  std::memcpy(out, info_->mathVoltage, sizeof info_->mathVoltage);
  out[sizeof info_->mathVoltage - 1] = 0;
  return 0;
}

int _SysRunInfoOp::SetMathExpression(const char* text) {
  if (!text) return -1;
  CopyText(info_->mathExpression, sizeof info_->mathExpression, text);
  return 0;
}

int _SysRunInfoOp::GetMathExpression(char* out) const {
  if (!out) return -1;
  std::memcpy(out, info_->mathExpression, sizeof info_->mathExpression);
  out[sizeof info_->mathExpression - 1] = 0;
  return 0;
}

int _SysRunInfoOp::SetFFTSource(int v) {
  if (v < 0 || v > 1) return -1;
  return info_->fft.source = uint16_t(v);
}

void _SysRunInfoOp::SetInterruptFlag() {
  info_->newAcquisition = 1;
  ++info_->acquisitionCount;
  plat::WallTime(&info_->lastSignalTime.sec, &info_->lastSignalTime.usec);
}

int _SysRunInfoOp::SetTemperatureOnOff(int v) { return info_->temperatureShown = uint16_t(v & 1); }
int _SysRunInfoOp::TemperatureEnable(int on) { return info_->temperatureComp = uint16_t(on & 1); }

int _SysRunInfoOp::SetCymometerOnOff(int v) { return info_->cymometerOn = uint16_t(v & 1); }

double _SysRunInfoOp::GetCymometer(int n) const {
  return n >= 0 && n < kCymometers ? info_->cymometerValue[n] : 0.0;
}

const char* _SysRunInfoOp::GetCymometerResult(int n) const {
  return n >= 0 && n < kCymometers ? info_->cymometerText[n] : "";
}

int _SysRunInfoOp::SetCymometerResult(int n, double value, const FloatElement& element) {
  static const char* const kFreqUnit[] = {"Hz", "KHz", "MHz", "GHz"};
  if (n < 0 || n >= kCymometers) return -1;
  info_->cymometerValue[n] = value;
  info_->cymometerElement[n] = element;
  const int prefix = element.unit - kFHz;
  const char* unit = prefix >= 0 && prefix < 4 ? kFreqUnit[prefix] : "";
  std::snprintf(info_->cymometerText[n], sizeof info_->cymometerText[n], "%.3f%s", element.mantissa, unit);
  return 0;
}

int _SysRunInfoOp::SetDebugMsgOnOff(int v) { return info_->debugMsg = uint16_t(v & 1); }
int _SysRunInfoOp::SetDebugPrintQelOnOff(int v) { return info_->debugPrint = uint16_t(v & 1); }
int _SysRunInfoOp::SetDebugSoftPicOnOff(int v) { return info_->debugPicture = uint16_t(v & 1); }

int _SysRunInfoOp::SetRecordTotal(int n) {
  if (n < 1) return -1;
  return info_->recordTotal = n;
}

int _SysRunInfoOp::SetCustomerFlag(int v) { return info_->customerFlag = uint16_t(v & 1); }

void _SysRunInfoOp::SetAdcPhaseInformation(int a, int b, int c, int d) {
  const int v[4] = {a, b, c, d};
  for (int i = 0; i < 4; ++i) info_->adcPhase[i] = uint16_t(v[i]);
}

void _SysRunInfoOp::GetAdcPhaseInformation(int16_t* a, int16_t* b, int16_t* c, int16_t* d) const {
  int16_t* out[4] = {a, b, c, d};
  for (int i = 0; i < 4; ++i)
    if (out[i]) *out[i] = int16_t(info_->adcPhase[i]);
}
