// The storage module on the simulated board: a setup saved, the instrument
// changed through many modules and the setup recalled, against the modules'
// settings and the control words the simulated FPGA decoded; waveform files
// (.wav, .csv) and the references; refused files and names, a full or
// missing USB disk, each leaving what was stored whole. Commands go through
// the SCPI thread as a transport sends them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/engine/wave.h"
#include "analysis/cursor/task_cursor.h"
#include "analysis/measure/task_measure.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "platform/devices/usb.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "remote/scpi/scpi_thread.h"
#include "system/storage/storage_setup.h"
#include "system/storage/storage_wave.h"
#include "system/storage/task_storage.h"
#include "tests/bench/bench.h"

namespace {
constexpr int kMsgSaved = 10, kMsgSaveFailed = 11, kMsgLoaded = 12, kMsgLoadFailed = 13, kMsgNoUsb = 23;

const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();
std::string g_root;
std::string ReadRoot(const std::string& rel) {
  std::ifstream in(g_root + "/" + rel, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void WriteRoot(const std::string& rel, const std::string& bytes) {
  WriteRootFile(rel, bytes);
}

struct StorageFiles : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
    g_root = bench.Root();
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunStatus.SetMemDepth(1);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    ASSERT_EQ(0, StartScpiThread());
    QelMsg.ClearMessage();
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("STORage:TYPE?").empty());
  }
  // A 1 kHz sine of 1 V amplitude on `input`.
  void Sine1k(int input) {
    plat::TestSignal s;
    s.shape = plat::SignalShape::kSine;
    s.frequencyHz = 1000;
    s.amplitudeV = 1.0;
    bench.Fpga().SetSignal(input, s);
  }
  // Acquisitions as soon as the instrument asks (a waveform save takes one).
  void Unpaced() { bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced); }
  void Usb(bool in) {
    plat::SimUsbPlug(in);
    SysRunStatus.SetUsbInsertStatus(in ? 1 : 0);
  }
  // One acquisition of both channels, processed and shown.
  void Acquire() {
    WaveOp.RequestChData(3);
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    bench.AdvanceMs(600);
    SysRunStatus.SetDrawRefresh();
    bench.Pass();
    bench.Pass();
  }
};

// What a setup restores, as the modules and the simulated FPGA hold it.
struct Snapshot {
  std::string ch1Scale, ch1Coupling, timeBase, acqType, displayFormat, cursorType, measureAll;
  double hwVolts;
  int hwCoupling;
  double columnNs;
  bool operator==(const Snapshot& o) const {
    return ch1Scale == o.ch1Scale && ch1Coupling == o.ch1Coupling && timeBase == o.timeBase &&
           acqType == o.acqType && displayFormat == o.displayFormat && cursorType == o.cursorType &&
           measureAll == o.measureAll && hwVolts == o.hwVolts && hwCoupling == o.hwCoupling && columnNs == o.columnNs;
  }
};
}  // namespace

TEST_F(StorageFiles, ASetupRecalledBringsBackEveryModuleAndTheFpgaWords) {
  auto snapshot = [&] {
    Acquire();
    const plat::SimAcqSettings hw = bench.Fpga().AcqSettings();
    return Snapshot{Ask("CHANnel1:SCALe?"), Ask("CHANnel1:COUPling?"), Ask("TIMebase:SCALe?"), Ask("ACQuire:TYPE?"),
                    Ask("DISPlay:FORMat?"),  Ask("CURSor:TYPE?"),       Ask("MEASure:ALL?"),
                    hw.ch[0].voltsPerDiv,     hw.ch[0].coupling,         hw.columnNs};
  };
  for (const char* line : {"CHANnel1:SCALe 1", "CHANnel1:COUPling AC", "TIMebase:SCALe 0.001", "ACQuire:TYPE PEAKdetect",
                           "DISPlay:FORMat DOTS", "CURSor:TYPE AMPlitude", "MEASure:ALL ON"})
    Set(line);
  const Snapshot a = snapshot();
  EXPECT_EQ(a.hwVolts, 1.0);
  EXPECT_EQ(a.hwCoupling, 1);
  Set("FILE:SAVE \"SETA.dat\",FLASH");
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  const std::string file = ReadRoot("Data/Storage/Set/SETA.dat");
  ASSERT_FALSE(file.empty());
  // The blocks in setup order; the system's once, though it is visited twice.
  size_t last = 0;
  for (const char* label : {"TASK-CH1\r\n", "TASK-CH2\r\n", "TASK-SYSTEM\r\n", "TASK-MEASURE\r\n", "TASK-CURSOR\r\n",
                            "TASK-TRIGGER\r\n", "TASK-ACQUIRE\r\n", "TASK-DISPLAY\r\n", "TASK-HORI\r\n"}) {
    const size_t at = file.find(label, last);
    ASSERT_NE(at, std::string::npos) << label;
    last = at + 1;
  }
  EXPECT_EQ(file.find("TASK-SYSTEM\r\n", file.find("TASK-SYSTEM\r\n") + 1), std::string::npos);

  for (const char* line : {"CHANnel1:SCALe 0.2", "CHANnel1:COUPling DC", "TIMebase:SCALe 0.0002", "ACQuire:TYPE NORMal",
                           "DISPlay:FORMat VECTors", "CURSor:TYPE CLOSe", "MEASure:ALL OFF"})
    Set(line);
  const Snapshot b = snapshot();
  EXPECT_FALSE(b == a);
  EXPECT_EQ(b.hwVolts, 0.2);

  // The load runs on the main loop (key 240).
  Set("FILE:LOAD \"SETA.dat\",FLASH");
  bench.Pass();
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoaded);
  const Snapshot c = snapshot();
  EXPECT_TRUE(c == a) << c.ch1Scale << c.ch1Coupling << c.timeBase << c.acqType << c.displayFormat << c.cursorType
                      << c.measureAll << c.hwVolts << " " << c.hwCoupling << " " << c.columnNs;
}

// Files written before the run state went in once hold its block twice, the
// second after TASK-HORI: they load, and the first image is the one applied
// at both visits.
TEST_F(StorageFiles, AFileHoldingTheRunStateTwiceLoadsItsFirst) {
  Set("CHANnel1:SCALe 1");
  Set("FILE:SAVE \"ONCE.dat\",FLASH");
  const std::string once = ReadRoot("Data/Storage/Set/ONCE.dat");
  ASSERT_NE(once.find("TASK-SYSTEM\r\n"), std::string::npos);
  const size_t block = 13 + 17456 + 2;
  // The second image says 0.2 V/div: a load that took it would show so.
  Set("CHANnel1:SCALe 0.2");
  Set("FILE:SAVE \"OTHER.dat\",FLASH");
  const std::string other = ReadRoot("Data/Storage/Set/OTHER.dat");
  const std::string second = other.substr(other.find("TASK-SYSTEM\r\n"), block);
  WriteRoot("Data/Storage/Set/TWICE.dat", once + second);
  Set("CHANnel1:SCALe 5");
  QelMsg.ClearMessage();
  EXPECT_EQ(StorageLoadSetFunc("TWICE.dat", 0), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoaded);
  EXPECT_EQ(Ask("CHANnel1:SCALe?"), "1.000000e+00 \r\n");
}

TEST_F(StorageFiles, BadSetupFilesAndNamesAreRefusedWithNothingChanged) {
  Set("CHANnel1:SCALe 1");
  Set("FILE:SAVE \"GOOD.dat\",FLASH");
  const std::string good = ReadRoot("Data/Storage/Set/GOOD.dat");
  ASSERT_GT(good.size(), 17456u);
  Set("CHANnel1:SCALe 0.2");
  const std::string before = Ask("CHANnel1:SCALe?");
  // Cut short, with the system block's image cut; a file of no blocks; a
  // file of garbage: refused, nothing applied.
  WriteRoot("Data/Storage/Set/CUT.dat", good.substr(0, good.find("TASK-SYSTEM") + 5000));
  WriteRoot("Data/Storage/Set/NONE.dat", std::string(40000, 'x'));
  std::string broken = good;
  broken[broken.find("TASK-CH2") + 8] = 'X';  // the CR LF after a label
  WriteRoot("Data/Storage/Set/BROKEN.dat", broken);
  for (const char* name : {"CUT.dat", "NONE.dat", "BROKEN.dat", "MISSING.dat"}) {
    QelMsg.ClearMessage();
    EXPECT_EQ(StorageLoadSetFunc(name, 0), -1) << name;
    EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoadFailed) << name;
    EXPECT_EQ(Ask("CHANnel1:SCALe?"), before) << name;
  }
  // Names that leave their folder or carry shell characters never reach a
  // file or the shell.
  for (const char* name : {"../x.dat", "/etc/x.dat", "a/b.dat", "..", "a;rm -rf x.dat", "$(id).dat", ""}) {
    QelMsg.ClearMessage();
    EXPECT_EQ(StorageSaveSetFunc(name, 0), -1) << name;
    EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaveFailed) << name;
    EXPECT_EQ(StorageLoadSetFunc(name, 0), -1) << name;
  }
  EXPECT_FALSE(RootFileExists("Data/Storage/x.dat"));
  EXPECT_FALSE(RootFileExists("etc/x.dat"));
  Set("FILE:SAVE \"../../up.dat\",FLASH");
  Set("FILE:LOAD \"../Set/GOOD.dat\",FLASH");
  EXPECT_FALSE(RootFileExists("up.dat"));
  for (const std::string& c : bench.ShellLog()) EXPECT_EQ(c.find(";rm"), std::string::npos) << c;
  // Not even an over-long name is cut down to one that would be used.
  EXPECT_EQ(StorageSaveSetFunc(std::string(60, 'A').append(".dat").c_str(), 0), -1);
}

TEST_F(StorageFiles, AFullOrMissingUsbDiskLeavesThePreviousFileWhole) {
  Usb(true);
  Set("FILE:SAVE \"KEEP.dat\",UDISK");
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  EXPECT_TRUE(bench.ShellRan("mkdir -p /udisk/KOLV/Set"));
  const std::string kept = ReadRoot("udisk/KOLV/Set/KEEP.dat");
  ASSERT_FALSE(kept.empty());
  Set("CHANnel1:SCALe 2");
  // The disk fills half-way through the file: the failure message, the old
  // file as it was, no temporary file left.
  plat::SimDiskRoom(1000);
  QelMsg.ClearMessage();
  EXPECT_EQ(StorageSaveSetFunc("KEEP.dat", 1), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaveFailed);
  plat::SimDiskRoom(-1);
  EXPECT_EQ(ReadRoot("udisk/KOLV/Set/KEEP.dat"), kept);
  EXPECT_FALSE(RootFileExists("udisk/KOLV/Set/KEEP.dat.part"));
  // The same for a waveform.
  Unpaced();
  ASSERT_EQ(StorageSaveWaveFunc("W.wav", 0, 1), 0);
  const std::string wave = ReadRoot("udisk/KOLV/Wave/W.wav");
  plat::SimDiskRoom(100);
  EXPECT_EQ(StorageSaveWaveFunc("W.wav", 1, 1), -1);
  plat::SimDiskRoom(-1);
  EXPECT_EQ(ReadRoot("udisk/KOLV/Wave/W.wav"), wave);
  // The disk taken out: refused with message 23.
  Usb(false);
  QelMsg.ClearMessage();
  EXPECT_EQ(StorageSaveSetFunc("KEEP.dat", 1), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgNoUsb);
  EXPECT_EQ(StorageLoadSetFunc("KEEP.dat", 1), -1);
  EXPECT_EQ(StorageLoadWaveFunc("W.wav", 0, 1), -1);
}

TEST_F(StorageFiles, AWaveformFileLoadsIntoAReferenceThatDrawsTheSameTrace) {
  Sine1k(1);
  SysRunInfo.sourceOn = 2;
  Acquire();
  Unpaced();
  ASSERT_EQ(StorageSaveWaveFunc("REF1.wav", 1, 0), 0);
  const std::string file = ReadRoot("Data/Storage/Wave/REF1.wav");
  ASSERT_EQ(file.size(), size_t(kWaveFileBytes));
  EXPECT_EQ(file.substr(0, 15), "TASK-STORAGE1\r\n");
  EXPECT_EQ(file.substr(kWaveTrailerAt), "\n\nStorage Wave complete \n\n");
  // The stored samples are the sine at 500 mV/div: +-1 V is +-50 codes.
  int hi = 0, lo = 255;
  for (int i = 0; i < kWaveSamples; ++i) {
    hi = std::max(hi, int(uint8_t(file[size_t(kWaveSamplesAt + i)])));
    lo = std::min(lo, int(uint8_t(file[size_t(kWaveSamplesAt + i)])));
  }
  EXPECT_NEAR(hi, 177, 2);
  EXPECT_NEAR(lo, 77, 2);

  std::vector<uint16_t> channel(1400);
  WaveOp.GetWaveSceenDataFor16(1, channel.data());
  ASSERT_EQ(StorageLoadWaveFunc("REF1.wav", 0, 0), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoaded);
  EXPECT_TRUE(SysRunStatus.GetChStatus() & 0x100);
  SysRunInfo.sourceOn &= ~2;  // only the reference drawn
  Acquire();
  std::vector<uint16_t> ref(1400);
  WaveOp.GetWaveSceenDataFor16(kRefA, ref.data());
  int same = 0, filled = 0;
  for (int x = 0; x < 700; ++x) {
    if (!channel[size_t(x)]) continue;
    ++filled;
    same += std::abs(int(ref[size_t(x)]) - int(channel[size_t(x)])) <= 2;
  }
  EXPECT_GT(filled, 600);
  EXPECT_GT(same, filled * 95 / 100);
  EXPECT_TRUE(bench.WriteScreenPng(g_startDir + "/storage_reference_a.png"));

  // Files that are short, hand-made or name a source that is no channel
  // are refused and leave RefB off.
  std::string cut = file.substr(0, kWaveSamplesAt + 100);
  WriteRoot("Data/Storage/Wave/CUT.wav", cut);
  std::string source3 = file;
  source3[12] = '3';
  WriteRoot("Data/Storage/Wave/S3.wav", source3);
  std::string below = file;
  below[12] = '/';
  WriteRoot("Data/Storage/Wave/NEG.wav", below);
  WriteRoot("Data/Storage/Wave/TEXT.wav", "TASK-STORAGE0\r\nhello");
  for (const char* name : {"CUT.wav", "S3.wav", "NEG.wav", "TEXT.wav"}) {
    QelMsg.ClearMessage();
    EXPECT_EQ(StorageLoadWaveFunc(name, 1, 0), -1) << name;
    EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoadFailed) << name;
    EXPECT_FALSE(SysRunStatus.GetChStatus() & 0x200) << name;
  }
  // In X-Y display both are refused with message 17.
  SysRunInfo.displayFormat = 1;
  EXPECT_EQ(StorageSaveWaveFunc("XY.wav", 0, 0), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 17);
  EXPECT_EQ(StorageLoadWaveFunc("REF1.wav", 1, 0), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 17);
}

TEST_F(StorageFiles, ACsvHoldsTheRecordsTimesAndVolts) {
  Sine1k(0);
  Acquire();
  Unpaced();
  Usb(true);
  Set("FILE:SAVE \"C1.csv\",CHANnel1,FLASH");  // CSV only to the USB disk
  EXPECT_FALSE(RootFileExists("udisk/KOLV/Wave/C1.csv"));
  Set("FILE:SAVE \"C1.csv\",CHANnel1,UDISK");
  const std::string text = ReadRoot("udisk/KOLV/Wave/C1.csv");
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> head;
  for (int i = 0; i < 4 && std::getline(in, line); ++i) head.push_back(line);
  ASSERT_EQ(head.size(), 4u);
  EXPECT_EQ(head[0], "Channel=CH1");
  EXPECT_EQ(head[1], "X=500.00us");  // the label "500.00\xB5s" with its micro sign written as "u"
  EXPECT_EQ(head[2], "Y=500.00mV");
  EXPECT_EQ(head[3], "CH1_s,CH1_V");
  int points = 0, close = 0;
  double first = 0;
  while (std::getline(in, line)) {
    double t = 0, v = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf", &t, &v), 2) << line;
    if (points == 0) first = t;
    // The applied sine, triggered rising at 0 V at the record's centre.
    close += std::fabs(v - std::sin(2 * M_PI * 1000 * t)) < 0.06;
    ++points;
  }
  EXPECT_EQ(points, 7000);
  EXPECT_NEAR(first, -3.5e-3, 1e-6);  // 7 divisions of 500 us before the trigger
  EXPECT_GT(close, 6900);
}

// A deep record is copied beside the SCPI worker, holding only the board's
// record. Stopped, with the copy held back (the test holds the engine's read
// lock, which each chunk takes), other commands are served. Running, with the
// copy queued behind another job, a command that restarts sampling starts no
// acquisition until the record is copied: the file is the record of the
// save's own acquisition, not of the signal applied after it.
TEST_F(StorageFiles, ADeepCsvCopiesItsRecordBesideOtherCommands) {
  Sine1k(0);
  Set("ACQuire:MEMory:DEPTh 70K");
  Acquire();
  Unpaced();
  Usb(true);
  // The lines of a CSV: how many, and how many follow the 1 V, 1 kHz sine.
  const auto sineLines = [](const std::string& text, int* points) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < 4 && std::getline(in, line); ++i) {
    }
    int close = 0;
    *points = 0;
    while (std::getline(in, line)) {
      double t = 0, v = 0;
      if (std::sscanf(line.c_str(), "%lf,%lf", &t, &v) != 2) break;
      close += std::fabs(v - std::sin(2 * M_PI * 1000 * t)) < 0.06;
      ++*points;
    }
    return close;
  };

  Set("STOP");
  {
    std::unique_lock<std::recursive_mutex> copying(WaveOp.ReadLock());
    Set("FILE:SAVE \"STOPPED.csv\",CHANnel1,UDISK");
    EXPECT_EQ(0u, Ask("*IDN?").find("KOLVET"));
    EXPECT_EQ(ScpiQuery("*OPC?\r\n"), "0\r\n");  // the copy waits for the read lock
  }
  ASSERT_TRUE(WaitUntil([] { return ScpiQuery("*OPC?\r\n") == "1\r\n"; }));
  int points = 0;
  EXPECT_GT(sineLines(ReadRoot("udisk/KOLV/Wave/STOPPED.csv"), &points), 69000);
  EXPECT_EQ(points, 70000);

  Set("RUN");
  std::promise<void> go;
  std::shared_future<void> released = go.get_future().share();
  ASSERT_TRUE(RunScpiJob([released] { released.wait(); }));
  Set("FILE:SAVE \"HELD.csv\",CHANnel1,UDISK");
  const uint64_t made = bench.Fpga().LastAcquisition().serial;
  plat::TestSignal flat;  // what a later acquisition would record
  flat.shape = plat::SignalShape::kDc;
  flat.offsetV = 0.5;
  bench.Fpga().SetSignal(0, flat);
  Set("TIMebase:SCALe 5e-4");  // restarts sampling: kept back
  EXPECT_EQ(bench.Fpga().LastAcquisition().serial, made);
  go.set_value();
  ASSERT_TRUE(WaitUntil([] { return ScpiQuery("*OPC?\r\n") == "1\r\n"; }));
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  EXPECT_GT(sineLines(ReadRoot("udisk/KOLV/Wave/HELD.csv"), &points), 69000);
  EXPECT_EQ(points, 70000);
  // Sampling resumed once the record was copied.
  EXPECT_TRUE(WaitUntil([&] {
    Set("TIMebase:SCALe 5e-4");
    return bench.Fpga().LastAcquisition().serial > made;
  }));
}

TEST_F(StorageFiles, ADeepRecordGoesToCsvInChunksWithItsProgressBar) {
  Sine1k(0);
  Set("ACQuire:MEMory:DEPTh 70K");
  Acquire();
  Unpaced();
  Usb(true);
  Set("FILE:SAVE \"DEEP.csv\",CHANnel1,UDISK");
  // The lines are written beside the worker: *OPC? answers 1 once they are.
  ASSERT_TRUE(WaitUntil([] { return ScpiQuery("*OPC?\r\n") == "1\r\n"; }));
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  std::istringstream in(ReadRoot("udisk/KOLV/Wave/DEEP.csv"));
  std::string line;
  for (int i = 0; i < 4 && std::getline(in, line); ++i) {
  }
  EXPECT_EQ(line, "CH1_s,CH1_V");
  // 70,000 points 100 ns apart across the 7 ms screen, the trigger (rising
  // through 0 V) in the middle: the applied sine at every point's time.
  int points = 0, close = 0;
  double first = 0, previous = 0;
  bool evenlySpaced = true;
  while (std::getline(in, line)) {
    double t = 0, v = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf", &t, &v), 2) << line;
    if (points == 0) first = t;
    else evenlySpaced = evenlySpaced && std::fabs(t - previous - 100e-9) < 1e-12;
    previous = t;
    close += std::fabs(v - std::sin(2 * M_PI * 1000 * t)) < 0.06;
    ++points;
  }
  EXPECT_EQ(points, 70000);
  EXPECT_NEAR(first, -3.5e-3, 1e-9);
  EXPECT_TRUE(evenlySpaced);
  EXPECT_GT(close, 69000);
  // The bar on the screen, all of its 40 steps filled.
  int filled = 0;
  for (int step = 0; step < 40; ++step) {
    const uint32_t p = bench.Pixel(380 + 9, 215 + 2 + 9 * step + 4);
    filled += ((p >> 8) & 0xFF) > ((p >> 16) & 0xFF) + 40 && ((p >> 8) & 0xFF) > (p & 0xFF) + 40;
  }
  EXPECT_EQ(filled, 40);
  // A disk that fills half-way leaves no file behind.
  plat::SimDiskRoom(100000);
  QelMsg.ClearMessage();
  EXPECT_EQ(StorageSaveWaveFunc("FULL.csv", 0, 2), -1);
  plat::SimDiskRoom(-1);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaveFailed);
  EXPECT_FALSE(RootFileExists("udisk/KOLV/Wave/FULL.csv"));
  EXPECT_FALSE(RootFileExists("udisk/KOLV/Wave/FULL.csv.part"));
}

namespace {
int Item(int n) { return int(uint16_t(TaskStorage.TaskMenu.GetMenuItem(n))); }
}  // namespace

TEST_F(StorageFiles, ThePanelNamesSavesPromptsAndLoadsASetup) {
  SysRunStatus.SetMenuDisplayTimeS(3);
  bench.Key(kKeyStorage);
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kStorageTaskId);
  // Type (a list of five, Rec Video hidden without recorded frames): Setup.
  bench.Key(kKeyF1);
  bench.Key(kKeySelectLeft);
  bench.Key(kKeySelectPush);
  EXPECT_EQ(Item(kStoType), 1);
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), 1);
  EXPECT_EQ(bench.EepromByte(214), 1);
  // USB without a disk: back to the internal memory with message 23.
  bench.Key(kKeyF2);
  EXPECT_EQ(Item(kStoDiskSet), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgNoUsb);
  // The running number of the default name: down from 1 is 255.
  EXPECT_STREQ(Storage.setName, "KOLV001");
  bench.Key(kKeySelectLeft);
  EXPECT_STREQ(Storage.setName, "KOLV255");
  bench.Key(kKeySelectRight);
  EXPECT_STREQ(Storage.setName, "KOLV001");
  // The name-entry page: thirteen characters are one too many.
  bench.Key(kKeyF3);
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), kPageInput / 5);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & 0x80000);
  for (int i = 0; i < 7; ++i) bench.Key(kKeyF1);  // Delete: "KOLV001" gone
  EXPECT_STREQ(Storage.inputName, "");
  for (int i = 0; i < 13; ++i) bench.Key(kKeySelectPush);  // "A" under the cursor
  EXPECT_EQ(QelMsg.GetMessageID(), 74);
  EXPECT_STREQ(Storage.inputName, "AAAAAAAAAAAA");
  for (int i = 0; i < 10; ++i) bench.Key(kKeyF1);
  bench.Key(kKeySelectRight);  // "B"
  bench.Key(kKeySelectPush);
  bench.Key(kKeyF2);  // Sure
  EXPECT_STREQ(Storage.setName, "AAB");
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), 1);
  EXPECT_FALSE(SysRunStatus.GetFuncBits() & 0x80000);

  bench.Key(kKeyF4);  // Save
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  EXPECT_TRUE(RootFileExists("Data/Storage/Set/AAB.dat"));
  const std::string first = ReadRoot("Data/Storage/Set/AAB.dat");
  // Saved again: the overwrite prompt, Cancel keeps the file, Overlay writes.
  Set("CHANnel1:SCALe 2");
  bench.Key(kKeyF4);
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), kPagePrompt / 5);
  bench.Key(kKeyF1);  // Cancel
  EXPECT_EQ(ReadRoot("Data/Storage/Set/AAB.dat"), first);
  bench.Key(kKeyF4);
  bench.Key(kKeyF2);  // Overlay
  EXPECT_NE(ReadRoot("Data/Storage/Set/AAB.dat"), first);
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), 1);

  // Load: the file chooser lists the setups; the push loads the chosen one.
  Set("CHANnel1:SCALe 0.5");
  bench.Key(kKeyF5);
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), kPageLoad / 5);
  ASSERT_EQ(SetFileList.count, 1);
  EXPECT_STREQ(SetFileList.name[0], "AAB.dat");
  bench.Key(kKeySelectPush);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoaded);
  EXPECT_EQ(Ask("CHANnel1:SCALe?"), "2.000000e+00 \r\n");
  // The setup's language reloads the menus; the page is still the setup
  // page, and its Save writes a setup.
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage(), 1);
  bench.Key(kKeyF4);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  EXPECT_TRUE(RootFileExists("Data/Storage/Set/" + std::string(Storage.setName) + ".dat"));
  EXPECT_FALSE(RootFileExists("Data/Storage/Wave/" + std::string(Storage.waveName) + ".wav"));
}

TEST_F(StorageFiles, StorageCommandsSetTheirItemsAndReply) {
  EXPECT_EQ(Ask("STORage:TYPE?"), "WAVE\r\n");
  Set("STORage:TYPE SETUP");
  EXPECT_EQ(Item(kStoType), 1);
  EXPECT_EQ(Item(kStoTypeRef), 1);
  EXPECT_EQ(Ask("STOR:TYPE?"), "SETUP\r\n");
  EXPECT_EQ(Ask("STORage:DISK:SELect?"), "FLASH\r\n");
  Set("STORage:DISK:SELect UDISK");  // no disk: stays on the internal memory
  EXPECT_EQ(Ask("STOR:DISK:SEL?"), "FLASH\r\n");
  Usb(true);
  Set("STORage:DISK:SELect UDISK");
  EXPECT_EQ(Ask("STOR:DISK:SEL?"), "UDISK\r\n");
  Set("STORage:TYPE WAVE");
  Set("STORage:WAVE:SOURce CHANnel2");
  EXPECT_EQ(Ask("STORage:WAVE:SOURce?"), "CHANnel2\r\n");
  Set("STORage:CSV:STARt");
  EXPECT_EQ(Item(kStoDisk), 2);
  Set("STORage:TYPE REF");
  Set("REF:DISK:SELect UDISK");
  EXPECT_EQ(Ask("REF:DISK:SELect?"), "UDISK\r\n");
  Set("STORage:SAVE");  // on the reference page it only redraws
  EXPECT_FALSE(RootFileExists("udisk/KOLV/Wave/KOLV001.csv"));
  Set("CHANnel7:SELect");
  EXPECT_EQ(Ask("CHANnel7:SELect?"), "1\r\n");
  EXPECT_EQ(Ask("CHANnel6:SELect?"), "0\r\n");
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kStorageTaskId);
  // A video needs recorded frames; a name with a path or shell characters
  // is refused before anything is built from it.
  Set("FILE:SAVE \"v;reboot;.mp4\"");
  Set("FILE:SAVE \"v.mp4\"");
  Set("FILE:SAVE \"x.dat\",SIDEWAYS");
  EXPECT_FALSE(RootFileExists("Data/Storage/Set/x.dat"));
  // From the PrintScreen page too, the type chosen opens its page.
  TaskStorage.TaskMenu.SetCurrPage(kPagePrint);
  Set("STORage:TYPE SETUP");
  EXPECT_EQ(TaskStorage.TaskMenu.GetCurrPage() * 5, int(kPageSet));
  EXPECT_EQ(Item(kStoTypePrt), 1);
  Set("KEY:STORage:LOCK ON");
  EXPECT_EQ(Ask("KEY:STOR:LOCK?"), "1\r\n");
}

// A USB disk without room: each save fails with its message and an error,
// the file saved before stays whole and no partial file is left.
TEST_F(StorageFiles, AUsbDiskWithoutRoomRefusesEverySaveAndKeepsTheOldFiles) {
  Usb(true);
  Unpaced();
  struct Save {
    const char* command;
    const char* file;
  };
  const Save saves[] = {{"FILE:SAVE \"FULL.dat\",UDISK", "udisk/KOLV/Set/FULL.dat"},
                        {"FILE:SAVE \"FULL.wav\",CHANnel1,UDISK", "udisk/KOLV/Wave/FULL.wav"},
                        {"FILE:SAVE \"FULL.csv\",CHANnel1,UDISK", "udisk/KOLV/Wave/FULL.csv"}};
  std::vector<std::string> before;
  for (const Save& save : saves) {
    Set(save.command);
    EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved) << save.command;
    before.push_back(ReadRoot(save.file));
    ASSERT_GT(before.back().size(), 1000u) << save.file;
  }
  EXPECT_EQ(Ask("SYSTem:ERRor?"), "0,\"No error\"\r\n");
  Set("CHANnel1:SCALe 2");  // what a new save would hold differs
  for (size_t i = 0; i < std::size(saves); ++i) {
    plat::SimUsbSetFree(1000);
    QelMsg.ClearMessage();
    Set(saves[i].command);
    EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaveFailed) << saves[i].command;
    EXPECT_NE(Ask("SYSTem:ERRor?").find("Storage failed"), std::string::npos) << saves[i].command;
    EXPECT_TRUE(ReadRoot(saves[i].file) == before[i]) << saves[i].file << " changed";
    EXPECT_FALSE(RootFileExists(std::string(saves[i].file) + ".part")) << saves[i].file;
    EXPECT_EQ(plat::UsbDiskFreeBytes(), 0) << saves[i].file;
  }
  // With room again, the save goes through and takes its bytes off the free space.
  plat::SimUsbSetFree(1000000);
  Set(saves[0].command);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  EXPECT_FALSE(ReadRoot(saves[0].file) == before[0]);
  EXPECT_EQ(plat::UsbDiskFreeBytes(), int64_t(1000000 - ReadRoot(saves[0].file).size()));
  // The internal memory is not the USB disk: its saves do not count.
  Set("FILE:SAVE \"FLASH.dat\",FLASH");
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgSaved);
  EXPECT_EQ(plat::UsbDiskFreeBytes(), int64_t(1000000 - ReadRoot(saves[0].file).size()));
}
