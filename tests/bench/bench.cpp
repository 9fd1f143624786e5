#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "acquisition/system_module/task_system.h"
#include "app/hooks.h"
#include "app/startup.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/input/rs232.h"
#include "core/messages/msg.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task.h"
#include "platform/clock.h"
#include "platform/devices/framebuffer.h"
#include "platform/devices/i2c.h"
#include "platform/devices/panel.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "tools/screenpng/png_writer.h"
#include "ui/screen/qel_draw.h"

namespace fs = std::filesystem;

namespace {
constexpr char kBoardBus[] = "/dev/localbus16";
constexpr char kBoardSpi[] = "/dev/spidev3.0";
constexpr size_t kEepromImageBytes = 512;
constexpr uint32_t kBenchHoldOffCounts = 25;  // 100 ns in the hold-off's 4 ns counts
}  // namespace

namespace {
// Roots made by NewTempRoot, removed at process exit.
struct TempRoots {
  std::vector<std::string> paths;
  ~TempRoots() {
    std::error_code ec;
    if (chdir("/tmp") != 0) return;
    for (const std::string& p : paths) fs::remove_all(p, ec);
  }
};
TempRoots& Roots() {
  static TempRoots roots;
  return roots;
}
}  // namespace

std::string NewTempRoot(const std::string& prefix) {
  std::string path = "/tmp/" + prefix + "-XXXXXX";
  if (!mkdtemp(path.data())) return "";
  Roots().paths.push_back(path);
  if (!plat::InitRoot(path)) return "";
  return path;
}

int StartScpiThread() { return plat::StartThread("ScpiThread", ScpiThread, nullptr); }

PostedKeys TakePostedKeys() {
  PostedKeys keys;
  int code, step;
  while (KeyBoard.GetScpiKey(&code, &step) == 0) keys.push_back({code, step});
  return keys;
}

Bench::Bench() {
  // As the instrument's main: a write to a peer that has gone fails with
  // EPIPE and the writer carries on (benchmarks and fuzz targets run here).
  std::signal(SIGPIPE, SIG_IGN);
  char tmpl[] = "/tmp/scope-root-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
  root_ = tmpl;
  plat::ResetStop();  // a bench before this one in the process stopped its threads
  if (!plat::InitRoot(root_)) throw std::runtime_error("InitRoot");
  plat::UseVirtualClock(true);
  // The cases are written against a 1 kHz, 2 Vpp sine on both channels (the
  // board starts CH1 faster, for the first screen a user sees).
  Fpga().SetSignal(plat::kSignalCh1, plat::TestSignal{});
  InstallAppHooks();
}

Bench::~Bench() {
  Stop();
  std::error_code ec;
  if (chdir("/tmp") == 0) fs::remove_all(root_, ec);
}

void Bench::SetEeprom(const std::vector<uint8_t>& image) {
  std::vector<uint8_t> full(kEepromImageBytes, 0xFF);
  for (size_t i = 0; i < image.size() && i < full.size(); ++i) full[i] = image[i];
  plat::SimEepromSetImage(full);
}

void Bench::SetEepromByte(int address, uint8_t value) {
  auto img = plat::SimEepromImage();
  img.at(size_t(address)) = value;
  plat::SimEepromSetImage(img);
}

std::vector<uint8_t> Bench::Eeprom() const { return plat::SimEepromImage(); }
uint8_t Bench::EepromByte(int address) const { return plat::SimEepromImage().at(size_t(address)); }
uint16_t Bench::EepromWord(int address) const {
  auto img = plat::SimEepromImage();
  return uint16_t(img.at(size_t(address)) << 8 | img.at(size_t(address) + 1));
}

uint32_t Bench::EepromU32(int address) const {
  return uint32_t(EepromWord(address)) << 16 | EepromWord(address + 2);
}

namespace {
// The temperature thread's first reading queues a position re-apply of both
// channels for the system module, which the main loop replays in place of
// the next read-out. Tests start from the settled instrument: once the two
// are queued (a few seconds of real time at most, unless the machine is
// loaded), they are replayed here.
void ReplayStartupCorrections() {
  WaitUntil([] { return TaskSystem.IsRunOpCmd() >= 1; });
  TaskSystem.RunOpCmd();
}
}  // namespace

int Bench::Start() {
  const int rc = ScopeStartup();
  if (rc == 0) ReplayStartupCorrections();
  return rc;
}

std::future<int> Bench::StartHalting() {
  auto done = std::async(std::launch::async, [this] {
    plat::UseVirtualClock(true);
    return Start();
  });
  WaitUntil([] { return QelDraw.HardwareCheckShown(); });
  return done;
}

void SetWaveTestSettings() {
  SysRunInfo.acqStatus[0] = SysRunInfo.acqStatus[1] = 0;
  SysRunInfo.trigMode = 0;
  TimeBase.SetRealTimeBase(0, 20);  // 500 us/div
  TimeBase.AdjTimeBase(0, 0);
  TimeBase.SetRealPreTrigDepth(0, x_system::kRecordCentre);
  TimeBase.AdjPreTrigDepth(0, 0);
  for (int ch = 0; ch < 2; ++ch) {
    Vertical.SetChCoupling(ch, 0);
    Vertical.SetYInvert(ch, 0);
    Vertical.SetRealYsensitivity(ch, 11);  // 500 mV/div
    Vertical.AdjYsensitivity(ch, 0);
    Vertical.SetRealYposition(ch, 127);
    Vertical.AdjYPosition(ch, 0);
  }
  Trigger.SetTriggerSource(0);
  Trigger.SetTriggerPos(0, 0, 0);
  Trigger.SetTriggerPos(0, 1, 0);  // the edge type's level
  Trigger.AdjTriggerPosition(0);
  Trigger.SentTriggerConfigPara();
  Vertical.YParaSyncRefresh();  // the display copies, as after an acquisition
  TimeBase.XParaSyncRefresh(0);
  SysRunInfo.waveType = 1;  // the intensity display read from the raster
}

int RunSetupStorage(task& module, int direction, std::vector<uint8_t>* buffer, int length, int used,
                    int32_t* status) {
  taskresponse r{};
  r.key.key = KEY_WORD_STORAGE;
  SetupFileRecord rec{0, direction, length, used, buffer ? buffer->data() : nullptr};
  std::memcpy(r.area, &rec, sizeof rec);
  module.OpResponse(&r);
  std::memcpy(&rec, r.area, sizeof rec);
  *status = rec.status;
  return rec.used;
}

std::vector<uint8_t> FormattedEeprom(int taskId, int page, int active) {
  std::vector<uint8_t> e(kEepromImageBytes, 0xFF);
  e[EE_FORMAT_MARK] = kEepromFormatMark;
  e[EE_TASK_ID] = uint8_t(taskId >> 8);
  e[EE_TASK_ID + 1] = uint8_t(taskId);
  e[EE_TASK_PAGE] = uint8_t(page);
  e[EE_ACTIVE_CH] = uint8_t(active);
  e[EE_RESET_ALL] = 0;
  // The factory's shortest hold-off: blank bytes would read as the longest
  // (10 s), which would hold the board's trigger closed between searches.
  PutEepromU32(&e, ee::kHoriHoldOff, kBenchHoldOffCounts);
  return e;
}

std::vector<uint8_t> MarkedEeprom() {
  std::vector<uint8_t> e(kEepromImageBytes, 0xFF);
  e[EE_FORMAT_MARK] = kEepromFormatMark;
  PutEepromU32(&e, ee::kHoriHoldOff, kBenchHoldOffCounts);
  return e;
}

void PutEepromU16(std::vector<uint8_t>* image, int address, uint16_t value) {
  image->at(size_t(address)) = uint8_t(value >> 8);
  image->at(size_t(address) + 1) = uint8_t(value);
}

void PutEepromU32(std::vector<uint8_t>* image, int address, uint32_t value) {
  PutEepromU16(image, address, uint16_t(value >> 16));
  PutEepromU16(image, address + 2, uint16_t(value));
}

int MenuValue(const task& module, int n) { return int(uint16_t(module.TaskMenu.GetMenuItem(n))); }

void Bench::Pass(int n) {
  for (int i = 0; i < n; ++i) ScopeMainPass();
}

void Bench::PanelByte(uint8_t code) { plat::SimPanelKey(code); }

void Bench::Key(uint8_t code) {
  PanelByte(code);
  Pass();
}

void Bench::AdvanceMs(int64_t ms) { plat::AdvanceUs(ms * 1000); }

void Bench::Choose(uint8_t softKey, int from, int to) {
  Key(softKey);
  for (int i = from; i < to; ++i) Key(kKeySelectLeft);
  for (int i = to; i < from; ++i) Key(kKeySelectRight);
  Key(kKeySelectPush);
}

_SysRunInfo* BootModels(Bench& bench, const std::vector<uint8_t>& eeprom, unsigned models,
                        const std::function<void(_SysRunInfo&)>& before) {
  bench.SetEeprom(eeprom);
  if (QelControl.InitDriver(kBoardBus, kBoardSpi) != 0) return nullptr;
  SysRunStatus.SysRunInit();
  _SysRunInfo* run = SysRunStatus.GetSysRunInfoBaseAddr();
  if (before) before(*run);
  if (models & kBenchTimeBase) TimeBase.LoadXsystem(&SystemResource, run);
  if (models & kBenchTrigger) Trigger.LoadTrigsystem(&ChSelfCaliData, &SystemResource, run);
  QelMsg.ClearMessage();
  plat::Fpga().ClearLog();
  return run;
}

WordLog WrittenWords(uint16_t word) {
  WordLog out;
  for (const auto& e : plat::Fpga().Log())
    if (e.first == word) out.push_back(e);
  return out;
}

bool WordWritten(uint16_t word) { return !WrittenWords(word).empty(); }

int LastWrite(const WordLog& log, uint16_t word) {
  for (int i = int(log.size()) - 1; i >= 0; --i)
    if (log[size_t(i)].first == word) return i;
  return -1;
}

std::vector<uint32_t> Bench::Screen() const {
  const uint32_t* fb = plat::FrameBufferMap();
  if (!fb) return {};
  return std::vector<uint32_t>(fb, fb + plat::kScreenWidth * plat::kScreenHeight);
}

uint32_t Bench::Pixel(int row, int column) const {
  const uint32_t* fb = plat::FrameBufferMap();
  if (!fb || row < 0 || column < 0 || row >= plat::kScreenHeight || column >= plat::kScreenWidth)
    return 0;
  return fb[row * plat::kScreenWidth + column] & 0xFFFFFF;
}

int Bench::CountPixels(int row, int column, int width, int height, uint32_t colour) const {
  int n = 0;
  for (int r = row; r < row + height; ++r)
    for (int c = column; c < column + width; ++c) n += Pixel(r, c) == colour;
  return n;
}

std::set<uint32_t> Bench::PaletteColours(int ch) const {
  std::set<uint32_t> colours;
  int* palette = nullptr;
  if (QelDraw.GetQelGrayscaleInfo(nullptr, short(ch), &palette) != 0 || !palette) return colours;
  for (int i = 0; i < 256; ++i)
    if (palette[i] & 0xFFFFFF) colours.insert(uint32_t(palette[i]) & 0xFFFFFF);
  return colours;
}

bool Bench::WriteScreenPng(const std::string& path) const {
  auto px = Screen();
  return !px.empty() && screenpng::WritePng(path, px.data(), plat::kScreenWidth, plat::kScreenHeight);
}

plat::SimFpga& Bench::Fpga() const { return plat::Fpga(); }

std::vector<std::string> Bench::ShellLog() const { return plat::ShellLog(); }

bool Bench::ShellRan(const std::string& command) const {
  for (const auto& c : plat::ShellLog())
    if (c == command) return true;
  return false;
}

void Bench::Stop() {
  if (stopped_) return;
  stopped_ = true;
  plat::RequestStop();
  plat::JoinAllThreads();
}

void Bench::StopThreads() {
  plat::RequestStop();
  plat::JoinAllThreads();
  plat::ResetStop();
}

void WriteRootFile(const std::string& relative, const std::string& text) {
  fs::path p = fs::path(plat::RootDir()) / relative;
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

bool RootFileExists(const std::string& relative) {
  return fs::exists(fs::path(plat::RootDir()) / relative);
}

std::string ReadRootFile(const std::string& relative) {
  std::ifstream in(fs::path(plat::RootDir()) / relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void RemoveRootFile(const std::string& relative) {
  std::error_code ec;
  fs::remove(fs::path(plat::RootDir()) / relative, ec);
}

int StartOnDemand(Bench& b) {
  b.SetEeprom(FormattedEeprom(kTaskCh1, 0));
  const int rc = b.Start();
  if (rc != 0) return rc;
  b.StopThreads();
  b.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
  return 0;
}
