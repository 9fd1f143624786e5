// The test bench: one instrument on the simulated board per test process.
// A fresh root, chosen signals and EEPROM image, start-up, passes of the main
// loop, keys as the front panel sends them, and a clean end.
#pragma once
#include <cstdint>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/fpga/sim_fpga.h"
#include "tests/bench/wait.h"

class task;

class Bench {
 public:
  // Makes a fresh instrument root and switches the clock to virtual time, so
  // start-up's waits and the main loop's intervals run without delay.
  Bench();
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  const std::string& Root() const { return root_; }

  // EEPROM image before start-up (512 bytes; shorter images are padded 0xFF).
  void SetEeprom(const std::vector<uint8_t>& image);
  void SetEepromByte(int address, uint8_t value);
  std::vector<uint8_t> Eeprom() const;
  uint8_t EepromByte(int address) const;
  uint16_t EepromWord(int address) const;  // big-endian
  uint32_t EepromU32(int address) const;   // big-endian

  int Start();                  // start-up; 0, or -1 when the hardware check halted
  // Start-up that halts (hardware check) runs on its own thread, which then
  // drives the virtual clock; returns once the check box is shown.
  std::future<int> StartHalting();
  void Pass(int n = 1);         // passes of the main loop
  void Key(uint8_t code);       // a front-panel byte, then one pass
  void PanelByte(uint8_t code); // a front-panel byte only
  void AdvanceMs(int64_t ms);   // virtual time
  // A choice from a menu item's list: its soft key opens the list at the
  // value `from`, the knob moves the highlight to `to`, the push takes it.
  void Choose(uint8_t softKey, int from, int to);

  // The frame buffer as shown (800 x 480, 0x00RRGGBB) and a PNG of it.
  std::vector<uint32_t> Screen() const;
  uint32_t Pixel(int row, int column) const;
  // Pixels of `colour` in the area from (row, column), `width` x `height`.
  int CountPixels(int row, int column, int width, int height, uint32_t colour) const;
  // The colours channel ch's palette in force paints the raster with (its
  // non-black entries): a trace's pixels are those of these colours.
  std::set<uint32_t> PaletteColours(int ch) const;
  bool WriteScreenPng(const std::string& path) const;

  plat::SimFpga& Fpga() const;
  std::vector<std::string> ShellLog() const;
  bool ShellRan(const std::string& command) const;  // recorded in the log

  void Stop();  // asks every thread to end and joins them
  // Ends the instrument's threads (USB and network watchers, temperature,
  // SCPI, the simulator's clock) and leaves it running on the test thread:
  // nothing but the test then changes the run state.
  void StopThreads();

 private:
  std::string root_;
  bool stopped_ = false;
};

// The hardware models alone, without start-up: the EEPROM image, the board
// driver, the run state read from the EEPROM, `before` on it, then the models
// chosen; the message line and the FPGA's log start empty.
enum BenchModel : unsigned { kBenchTimeBase = 1, kBenchTrigger = 2 };
struct _SysRunInfo;
_SysRunInfo* BootModels(Bench& bench, const std::vector<uint8_t>& eeprom, unsigned models,
                        const std::function<void(_SysRunInfo&)>& before = {});

// The words written to the simulated FPGA (word, value) in order.
using WordLog = std::vector<std::pair<uint16_t, uint16_t>>;
WordLog WrittenWords(uint16_t word);          // every write of `word` in the log
bool WordWritten(uint16_t word);
int LastWrite(const WordLog& log, uint16_t word);  // its position, -1 when none

// 500 us/div with the trigger at the centre, 500 mV/div, DC, centred
// channels, running, auto sweep, CH1 rising edge at 0 V: set through the
// models, so the words reach the simulated FPGA; wave type 1 (the raster).
void SetWaveTestSettings();

// Runs `module`'s setup-file operation (direction 0 save, 1 load) on
// `buffer` (null: none) of `length` bytes from byte `used`; the bytes used
// after it, and its status in `*status`.
int RunSetupStorage(task& module, int direction, std::vector<uint8_t>* buffer, int length, int used,
                    int32_t* status);

// A formatted EEPROM image that starts on `taskId`, `page`, active channel `active`.
std::vector<uint8_t> FormattedEeprom(int taskId, int page, int active = 0);

// Start-up on the formatted EEPROM of CH1's menu, then the instrument's own
// threads stopped and acquisitions made on demand: 0, or Start's -1.
int StartOnDemand(Bench& b);
// A formatted EEPROM with nothing else stored: the format mark, 0xFF elsewhere.
std::vector<uint8_t> MarkedEeprom();
// Big-endian words into an image, at their EEPROM address.
void PutEepromU16(std::vector<uint8_t>* image, int address, uint16_t value);
void PutEepromU32(std::vector<uint8_t>* image, int address, uint32_t value);

// The value of item `n` of a module's menu (its low 16 bits).
int MenuValue(const task& module, int n);

// A fresh instrument root "/tmp/<prefix>-XXXXXX" made current; removed when the test
// process ends. Empty when it cannot be made.
std::string NewTempRoot(const std::string& prefix);

// Starts the SCPI thread (queue and worker) for commands sent with ScpiQuery; 0 on success.
int StartScpiThread();

// The (code, step) pairs posted to the remote key ring since the last call.
using PostedKeys = std::vector<std::pair<int, int>>;
PostedKeys TakePostedKeys();

// Writes `text` into a file under the root (creating folders).
void WriteRootFile(const std::string& relative, const std::string& text);
bool RootFileExists(const std::string& relative);
// The bytes of a file under the root; empty when it cannot be read.
std::string ReadRootFile(const std::string& relative);
void RemoveRootFile(const std::string& relative);
