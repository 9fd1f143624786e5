// Board control: devices, control-word frames, batches, timed words, register
// and block reads, sampling restarts, LEDs and the beeper.
#include "core/board/control.h"
#include "core/board/fpga_words.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/devices/fpga.h"
#include "platform/devices/panel.h"
#include "platform/shell.h"

control QelControl;

namespace {
constexpr uint32_t kSpiMode = 3;
constexpr uint32_t kSpiBits = 8;
constexpr uint32_t kSpiSpeedHz = 10000000;
constexpr size_t kPageBytes = 4096;
constexpr int64_t kTimedSettleUs = 900000;
constexpr int kMaxBatchConfig = 1024;  // a list without its end marker stops here

enum Selector { kRaster = 0, kWave = 64, kRollCh1 = 128, kRollCh2 = 192, kRasterDebug = 2048 };

const char* const kBeeperSetup[] = {
    "echo 0 >\t/sys/class/pwm/pwmchip4/export",
    "echo 1000000 >/sys/class/pwm/pwmchip4/pwm0/period",
    "echo 500000 >/sys/class/pwm/pwmchip4/pwm0/duty_cycle",
    "echo 0 > /sys/class/pwm/pwmchip4/pwm0/enable",
};

std::atomic<uint32_t> g_finishedSignals{0};

// The FPGA's finished-acquisition signal only raises the run state's flag
// (and counts itself).
void OnAcquisitionFinished() {
  ++g_finishedSignals;
  SysRunStatus.SetInterruptFlag();
  plat::WakeIdle();  // an idle main loop takes the acquisition at once
}
}  // namespace

uint32_t control::FinishedSignals() { return g_finishedSignals; }

control::control() : sem_(kSharedSemKey) { timedUs_ = freqRefreshUs_ = freqStartUs_ = plat::MonoUs(); }

// --- devices ---

int control::InitDriver(const char* localbus, const char* spi) {
  TansBuffClear();
  {
    std::lock_guard<std::mutex> lock(listMu_);
    timedCount_ = 0;
  }
  for (const char* cmd : kBeeperSetup) plat::ShellSystem(cmd);

  localBus_ = plat::FpgaOpenLocalBus(localbus);
  if (localBus_ < 0) {
    std::printf("Open %s failed!!!\n", localbus);
  } else {
    std::printf("Open %s Ok! \n", localbus);
    windowBytes_ = kWindowBytes / kPageBytes * kPageBytes;
    window_ = plat::FpgaMapWindow(localBus_, windowBytes_, kWindowBytes);
    if (!window_) std::printf("FPGA mmap Err !");
    plat::FpgaSetFinishedHandler(localBus_, OnAcquisitionFinished);
  }

  spi_ = plat::FpgaOpenSpi(spi);
  if (spi_ < 0) return 0;
  plat::SpiSettings s{kSpiMode, kSpiBits, kSpiSpeedHz};
  const char* failure = nullptr;
  switch (plat::FpgaSpiConfigure(spi_, &s)) {
    case plat::SpiStep::kOk: break;
    case plat::SpiStep::kGetMode: failure = "can't get spi mode "; break;
    case plat::SpiStep::kSetWriteBits: failure = "can't set Write bits per word"; break;
    case plat::SpiStep::kSetReadBits: failure = "can't set Read bits per word"; break;
    case plat::SpiStep::kSetSpeed: failure = "can't set max speed hz"; break;
    case plat::SpiStep::kGetSpeed: failure = "can't get max speed hz"; break;
  }
  if (failure) {
    std::printf("%s", failure);
    plat::FpgaCloseSpi(spi_);
    spi_ = -1;
    return 0;
  }
  std::printf("spi mode: 0x%x\n", s.mode);
  std::printf("bits per word: %d\n", int(s.bits));
  std::printf("max speed: %d Hz (%d kHz)\n", int(s.speedHz), int(s.speedHz / 1000));
  return 0;
}

// --- frames ---

bool control::FrameHeld(int word, int value) {
  if (spi_ < 0) return false;
  if (word == fpga::kPause && recordHolds_ > 0) {
    pauseKeptBack_ = value;
    if (value == 0) return true;
  }
  if (word == fpga::kReset && value == 1) resets_.fetch_add(1, std::memory_order_acq_rel);
  const uint8_t frame[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(value), uint8_t(value >> 8)};
  return plat::FpgaSpiWrite(spi_, frame);
}

bool control::Frame(int word, int value) {
  if (spi_ < 0) return false;
  SemLock lock(sem_);
  return FrameHeld(word, value);
}

int control::SendSequence(const Pair* list, int n) {
  if (spi_ < 0) return -1;
  SemLock lock(sem_);
  bool ok = true;
  for (int i = 0; i < n; ++i) ok = FrameHeld(list[i].word, list[i].value) && ok;
  return ok ? 0 : -1;
}

int control::SendRealControl(int word, int value) { return Frame(word, value) ? 0 : -1; }

void control::HoldRecord() {
  SemLock lock(sem_);
  if (recordHolds_++ == 0) pauseKeptBack_ = -1;
}

void control::ReleaseRecord() {
  SemLock lock(sem_);
  if (recordHolds_ <= 0 || --recordHolds_ > 0) return;
  const bool resume = pauseKeptBack_ == 0;
  pauseKeptBack_ = -1;
  if (resume) FrameHeld(fpga::kPause, 0);
}

int control::AddControlWrod(int word, int value) {
  Pair full[kListSize];
  int n = 0;
  {
    std::lock_guard<std::mutex> lock(listMu_);
    if (batchCount_ >= kListSize) {
      n = batchCount_;
      std::copy(batch_, batch_ + n, full);
      batchCount_ = 0;
    }
    batch_[batchCount_++] = {uint16_t(word), uint16_t(value)};
  }
  for (int i = 0; i < n; ++i) Frame(full[i].word, full[i].value);
  return 0;
}

int control::SendAllControl() {
  Pair list[kListSize];
  int n;
  {
    std::lock_guard<std::mutex> lock(listMu_);
    n = batchCount_;
    std::copy(batch_, batch_ + n, list);
    batchCount_ = 0;
  }
  if (spi_ < 0) return -1;
  for (int i = 0; i < n; ++i) Frame(list[i].word, list[i].value);
  return 0;
}

void control::TansBuffClear() {
  std::lock_guard<std::mutex> lock(listMu_);
  batchCount_ = 0;
}

int control::AddTimingControlWrod(int word, int value) {
  std::lock_guard<std::mutex> lock(listMu_);
  int i = 0;
  while (i < timedCount_ && timed_[i].word != uint16_t(word)) ++i;
  if (i < timedCount_) {
    timed_[i].value = uint16_t(value);
    std::printf("1 Set TimingCmdIndex = %d \n", i);
  } else {
    if (timedCount_ >= kListSize) return -1;
    timed_[timedCount_++] = {uint16_t(word), uint16_t(value)};
    std::printf("2 SET TimingCmdIndex = %d  addr = %d  data = %d \n", i, word, value);
  }
  timedUs_ = plat::MonoUs();
  return 0;
}

// Sent once the last change is 0.9 s old (elapsed time, whole seconds included).
int control::SendTimingControl() {
  Pair list[kListSize];
  int n;
  {
    std::lock_guard<std::mutex> lock(listMu_);
    if (timedCount_ == 0 || plat::MonoUs() - timedUs_ < kTimedSettleUs) return -1;
    n = timedCount_;
    std::copy(timed_, timed_ + n, list);
    timedCount_ = 0;
  }
  SendTimedList(list, n);
  return 0;
}

void control::SendTimedList(const Pair* list, int n) {
  std::printf("SendTimingControl ...");
  for (int i = 0; i < n; ++i) {
    std::printf("i = %d  add = 0x%x data = 0x%x\n", i, list[i].word, list[i].value);
    Frame(list[i].word, list[i].value);
  }
}

int control::SendBatchConfig(const int (*list)[2]) {
  if (!list) return -1;
  for (int i = 0; i < kMaxBatchConfig && list[i][0] != -1; ++i) Frame(list[i][0], list[i][1]);
  return 0;
}

// --- registers and blocks ---

int control::ReadHeld(int reg) {
  if (spi_ < 0) return -1;
  const uint8_t tx[4] = {uint8_t(reg), uint8_t(reg >> 8), 0, 0};
  uint8_t rx[4] = {};
  if (!plat::FpgaSpiTransfer(spi_, tx, rx)) {
    std::printf("can't send spi message ");
    return -1;
  }
  return rx[2] * 256 + rx[3];
}

int control::ReadAnyReg(int reg) {
  if (spi_ < 0) return -1;
  SemLock lock(sem_);
  return ReadHeld(reg);
}

uint32_t control::ReadPair(int lowReg) {
  if (spi_ < 0) return 0;
  SemLock lock(sem_);
  int lo = ReadHeld(lowReg), hi = ReadHeld(lowReg + 2);
  if (lo < 0 || hi < 0) return 0;
  return uint32_t(lo) | uint32_t(hi) << 16;
}

int control::ReadFIFO(int selector, uint8_t* dest, int length) {
  if (localBus_ < 0 || !dest || length <= 0) return -1;
  SemLock lock(sem_);
  return int(plat::FpgaLocalBusRead(localBus_, uint32_t(selector), dest, size_t(length)));
}

// The block is read through the driver and copied from the mapped window, both
// under one hold so another read cannot replace the window in between. Without
// the device or the window nothing is copied; the copy never runs past the window.
int control::ReadThroughWindow(int selector, uint8_t* buffer, int length) {
  if (localBus_ < 0 || !window_ || !buffer || length <= 0) return -1;
  size_t n = std::min(size_t(length), windowBytes_);
  SemLock lock(sem_);
  if (plat::FpgaLocalBusRead(localBus_, uint32_t(selector), buffer, n) < 0) return -1;
  std::memcpy(buffer, window_, n);
  return int(n);
}

int control::ReadWaveData(int, uint8_t* buffer, int length) { return ReadFIFO(kWave, buffer, length); }

int control::ReadRollWaveData(int ch, uint8_t* buffer, int length) {
  if (ch != 0 && ch != 1) return -1;
  return ReadThroughWindow(ch == 0 ? kRollCh1 : kRollCh2, buffer, length);
}

int control::ReadDecodeData(uint8_t* buffer, int selector, int length) {
  if (!buffer || length <= 0) return -1;
  return ReadThroughWindow(selector, buffer, length);
}

int control::ReadQel(uint8_t* buffer) { return ReadFIFO(kRaster, buffer, kRasterBytes) < 0 ? -1 : 0; }

int control::ReadQelPrintk(uint8_t* buffer) {
  return ReadFIFO(kRasterDebug, buffer, kRasterBytes) < 0 ? -1 : 0;
}

int control::ReadQelTest(int, uint8_t* buffer) {
  SendRealControl(fpga::kRasterRead, 1);
  int n = ReadThroughWindow(kRaster, buffer, kRasterBytes);
  SendRealControl(fpga::kPause, 0);
  SendRealControl(fpga::kRasterRead, 0);
  std::printf("ReadQelTest 0x80 ");
  return n < 0 ? -1 : 0;
}

int control::ReFpgeConfig(int mode) {
  const uint32_t block[8] = {2, 4, 0, 0, 1, mode == 1 ? 1008u : 1023u, 1, 0};
  std::printf("Bushandle = %d Independ Offset = 0x%x \n", localBus_, block[5]);
  if (localBus_ < 0) return -1;
  SemLock lock(sem_);
  return plat::FpgaLocalBusWrite(localBus_, block) ? 0 : -1;
}

int control::GetCurrAcquStatus() { return ReadAnyReg(fpga::kAcqStatus); }

// --- sampling ---

int control::SysSample() {
  static const Pair kRestart[] = {{fpga::kReset, 0}, {fpga::kReset, 1}, {fpga::kPause, 0}, {fpga::kReset, 0}, {fpga::kReadArm, 0}};
  int rc = 0;
  for (const Pair& p : kRestart) rc |= SendRealControl(p.word, p.value);
  resetFlag_ = 0;
  return rc;
}

int control::FPGAResetEnable() {
  int rc = SendRealControl(fpga::kReset, 1) | SendRealControl(fpga::kPause, 1);
  resetFlag_ = 1;
  return rc;
}

int control::FPGAResetDisable() {
  int rc = SendRealControl(fpga::kReset, 0) | SendRealControl(fpga::kPause, 0);
  resetFlag_ = 0;
  return rc;
}

int control::AcquirePause() { return SendRealControl(fpga::kPause, 1); }
int control::AcquireStart() { return SendRealControl(fpga::kPause, 0); }

namespace {
int DrawingCode(int reg820) { return reg820 < 0 ? -1 : (reg820 >> 8) & 15; }
}  // namespace

int control::WaitingDrawingIdle() {
  for (int i = 0; i < 100; ++i) {
    if (DrawingCode(ReadAnyReg(fpga::kDrawStatus)) == 5) return 0;
    plat::SleepMs(1);
  }
  std::printf("Wait Drawing TimeOut ");
  return -1;
}

bool control::GetDrawingStatus() {
  int code = DrawingCode(ReadAnyReg(fpga::kDrawStatus));
  return code == 5 || code == 2;
}

int control::PassFailOutput() { return SendRealControl(fpga::kPassFailOut, 0) | SendRealControl(fpga::kPassFailOut, 1); }

int control::TriggerDetect(int microseconds) {
  SendRealControl(fpga::kComparatorArm, 0);
  SendRealControl(fpga::kComparatorArm, 1);
  plat::SleepUs(microseconds);
  return ReadAnyReg(fpga::kComparator);
}

// --- LEDs ---

int control::LedWord(int sourceMask, int activeCh, int acqStatus) {
  static const struct {
    int source, onBit;
  } kLeds[] = {{0, 4}, {1, 16}, {5, 64}};  // CH1, CH2, math
  int w = 0;
  for (const auto& led : kLeds)
    if (sourceMask & (1 << led.source)) w |= led.onBit;
  if (w && activeCh >= 0 && activeCh <= 5) {
    int group = activeCh == 0 ? 12 : activeCh == 1 ? 48 : 192;
    int selected = activeCh == 0 ? 8 : activeCh == 1 ? 32 : 128;
    w = (w & ~group) | selected;
  }
  return w | (acqStatus != 4 ? 1 : 2);
}

int control::LedCtrl(int sourceMask, int activeCh, int acqStatus) {
  return SendRealControl(fpga::kLeds, LedWord(sourceMask, activeCh, acqStatus));
}

int control::LedCtrl(_SysRunInfo* run) {
  if (!run) return -1;
  _SysRunInfoOp op(run);
  return LedCtrl(op.GetChStatus(), op.GetActivCh(), op.GetAcquireStatus(0));
}

// --- beeper ---

void control::BeeOn() { plat::ShellSystem("echo 1 > /sys/class/pwm/pwmchip4/pwm0/enable"); }
void control::BeeOff() { plat::ShellSystem("echo 0 > /sys/class/pwm/pwmchip4/pwm0/enable"); }

void control::Bee() {
  BeeOn();
  plat::SleepMs(10);
  BeeOff();
}

void Bee() { QelControl.Bee(); }
