// Stored settings from outside are checked before anything of them is taken:
// setup files recalled from the disk, setup blocks uploaded over SCPI,
// waveform files loaded into a reference and the EEPROM read at start-up.
// A setup that holds one value outside its table (a menu item, a run-state
// index, a count, a position or a physical value no instrument holds) is
// refused whole: the settings in force, the control words the simulated FPGA
// decoded and the references stay as they were, the screen shows "Load
// failed !" and SYSTem:ERRor? reports it; the same file unspoilt loads whole.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "acquisition/models/trig_system.h"
#include "acquisition/models/x_system.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "system/storage/storage_setup.h"
#include "system/storage/storage_wave.h"
#include "tests/bench/bench.h"
#include "tests/bench/wait.h"

namespace {
constexpr int kMsgLoaded = 12, kMsgLoadFailed = 13;
const std::string kLoadFailedError = "13,\"Load failed !\"\r\n";
const std::string kNoError = "0,\"No error\"\r\n";
constexpr char kSystemLabel[] = "TASK-SYSTEM\r\n";

// A spoilt copy of a setup file: a name and the change to its bytes.
struct Spoil {
  const char* what;
  std::function<void(std::string*)> apply;
};

template <typename T>
void PutAt(std::string* file, size_t at, T value) {
  ASSERT_LE(at + sizeof value, file->size());
  std::memcpy(&(*file)[at], &value, sizeof value);
}

// Byte `field` of the run-state image of the first system block (the one a
// load takes, both times).
size_t ImageAt(const std::string& file, size_t field) {
  const size_t at = file.find(kSystemLabel);
  EXPECT_NE(at, std::string::npos);
  return at + std::strlen(kSystemLabel) + field;
}
// Byte of item `n`'s value in the menu image of the block `label`.
size_t ItemAt(const std::string& file, const std::string& label, int n) {
  const size_t at = file.find(label + "\r\n");
  EXPECT_NE(at, std::string::npos) << label;
  return at + label.size() + 2 + 8 * size_t(n);
}
constexpr size_t Horizontal(int block, size_t field) {
  return offsetof(_SysRunInfo, horizontal) + sizeof(HorizontalBlock) * size_t(block) + field;
}
constexpr size_t Vertical(int block, size_t field) {
  return offsetof(_SysRunInfo, vertical) + sizeof(VerticalBlock) * size_t(block) + field;
}

// Out-of-range values of every kind a setup holds, each alone in a file
// whose other blocks would change the settings in force.
std::vector<Spoil> Spoils() {
  return {
      {"sample period of 9e18 ns",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, Horizontal(0, offsetof(HorizontalBlock, samplePeriodNs))), 9e18);
       }},
      {"sample period not a number",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, Horizontal(1, offsetof(HorizontalBlock, samplePeriodNs))),
               std::numeric_limits<double>::quiet_NaN());
       }},
      {"trigger position at the 64-bit limit",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, Horizontal(0, offsetof(HorizontalBlock, preTrigDepth))),
               std::numeric_limits<int64_t>::max());
       }},
      {"points per column of 1e30",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, Horizontal(0, offsetof(HorizontalBlock, samplesPerPoint))), 1e30f);
       }},
      {"time base index 200",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, Horizontal(0, offsetof(HorizontalBlock, realTimeBase))), uint16_t(200));
       }},
      {"volts/div index 99",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, Vertical(0, offsetof(VerticalBlock, vdivIndex))), uint16_t(99));
       }},
      {"vertical position beyond the screen",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, Vertical(1, offsetof(VerticalBlock, position))), int16_t(20000));
       }},
      {"memory depth index 9",
       [](std::string* f) { PutAt(f, ImageAt(*f, offsetof(_SysRunInfo, memDepthIndex)), uint16_t(9)); }},
      {"trigger type 40",
       [](std::string* f) { PutAt(f, ImageAt(*f, offsetof(_SysRunInfo, trigType)), int16_t(40)); }},
      {"SPI pattern of 100 words",
       [](std::string* f) {
         PutAt(f, ImageAt(*f, offsetof(_SysRunInfo, spi) + offsetof(SpiTrigger, dataLength)),
               int16_t(100));
       }},
      // Menu items outside their choices, in the first block and in the last.
      {"CH1 coupling choice 9",
       [](std::string* f) { PutAt(f, ItemAt(*f, "TASK-CH1", 0), uint64_t(9)); }},
      {"horizontal format choice 50",
       [](std::string* f) { PutAt(f, ItemAt(*f, "TASK-HORI", 0), uint64_t(50)); }},
  };
}

struct SetupCheck : ::testing::Test {
  Bench bench;
  std::string good;  // a setup saved at CH1 1 V/div, 1 ms/div

  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    ASSERT_EQ(0, StartScpiThread());
    Set("CHANnel1:SCALe 1");
    Set("TIMebase:SCALe 0.001");
    bench.Pass();
    ExpectInFile();
    ASSERT_EQ(StorageSaveSetFunc("GOOD.dat", 0), 0);
    good = ReadRootFile("Data/Storage/Set/GOOD.dat");
    ASSERT_GT(good.size(), 17456u);  // the run-state image and the menu blocks
    // The settings in force differ from the file's.
    Set("CHANnel1:SCALe 0.2");
    Set("TIMebase:SCALe 0.0002");
    bench.Pass();
    ClearRemoteErrors();
    QelMsg.ClearMessage();
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("*OPC?").empty());
  }
  void ClearRemoteErrors() {
    while (Ask("SYSTem:ERRor?") != kNoError) {
    }
  }
  // What the settings in force are, as queries and the decoded words show them.
  std::string InForce() {
    return Ask("CHANnel1:SCALe?") + Ask("CHANnel1:COUPling?") + Ask("TIMebase:SCALe?") +
           Ask("ACQuire:MEMory:DEPTh?") + Ask("TRIGger:MODE?") + Ask("DISPlay:FORMat?") +
           std::to_string(plat::SimDecodedChannel(0).vdiv);
  }
  void ExpectInFile() {
    EXPECT_EQ(Ask("CHANnel1:SCALe?"), "1.000000e+00 \r\n");
    EXPECT_EQ(Ask("TIMebase:SCALe?"), "1.000000e-03 \r\n");
    EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, 1.0, 1e-6);
  }
  // The block an upload carries: "#6", six length digits, the bytes.
  static std::string Definite(const std::string& data) {
    char head[16];
    std::snprintf(head, sizeof head, "#6%06zu", data.size());
    return head + data;
  }
  // FILE:LOAD runs on the main loop (key 240): passes until its first error
  // shows, or its message.
  std::string RemoteLoad(const char* name) {
    Set(std::string("FILE:LOAD \"") + name + "\",FLASH");
    std::string error;
    EXPECT_TRUE(WaitUntil([&] {
      bench.Pass();
      error = Ask("SYSTem:ERRor?");
      return error != kNoError || QelMsg.GetMessageID() == kMsgLoaded;
    }));
    return error;
  }
  void Upload(const std::string& data) {
    ScpiQuery("SYSTem:SETup\r\n", kScpiSourceTransport, 0);
    const std::string block = Definite(data);
    Scpi.SendScpiMsg2(kScpiSourceTransport, block.data(), int(block.size()));
    ASSERT_FALSE(Ask("*OPC?").empty());
  }
};
}  // namespace

// From the panel's recall and from FILE:LOAD: every spoilt file is refused
// with nothing of it applied, the good one loads whole.
TEST_F(SetupCheck, ASetupFileWithOneValueOutsideItsTableChangesNothing) {
  const std::string before = InForce();
  for (const Spoil& s : Spoils()) {
    std::string file = good;
    s.apply(&file);
    WriteRootFile("Data/Storage/Set/BAD.dat", file);
    QelMsg.ClearMessage();
    EXPECT_EQ(StorageLoadSetFunc("BAD.dat", 0), -1) << s.what;
    EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoadFailed) << s.what;
    EXPECT_EQ(InForce(), before) << s.what;
    // The same file asked for remotely leaves the error for SYSTem:ERRor?.
    QelMsg.ClearMessage();
    EXPECT_EQ(RemoteLoad("BAD.dat"), kLoadFailedError) << s.what;
    EXPECT_EQ(InForce(), before) << s.what;
    EXPECT_EQ(Ask("SYSTem:ERRor?"), kNoError) << s.what;
  }
  QelMsg.ClearMessage();
  EXPECT_EQ(RemoteLoad("GOOD.dat"), kNoError);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoaded);
  bench.Pass();
  ExpectInFile();
}

// SYSTem:SETup and CONFIG with a spoilt block: refused with the error, the
// settings in force kept; the unspoilt block loads.
TEST_F(SetupCheck, AnUploadedSetupWithOneValueOutsideItsTableChangesNothing) {
  const std::string before = InForce();
  for (const Spoil& s : Spoils()) {
    std::string data = good;
    s.apply(&data);
    Upload(data);
    EXPECT_EQ(InForce(), before) << s.what;
    EXPECT_EQ(Ask("SYSTem:ERRor?"), kLoadFailedError) << s.what;
    EXPECT_EQ(Ask("SYSTem:ERRor?"), kNoError) << s.what;
  }
  Upload(good);
  EXPECT_TRUE(WaitUntil([&] { return Ask("CHANnel1:SCALe?") == "1.000000e+00 \r\n"; }));
  bench.Pass();
  ExpectInFile();
  EXPECT_EQ(Ask("SYSTem:ERRor?"), kNoError);
}

// A waveform file's run-state image is checked the same way before the
// reference takes anything of it.
TEST_F(SetupCheck, AWaveformFileWithASpoiltHeaderLeavesTheReferenceAlone) {
  bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
  ASSERT_EQ(StorageSaveWaveFunc("W.wav", 0, 0), 0);
  const std::string wave = ReadRootFile("Data/Storage/Wave/W.wav");
  ASSERT_EQ(wave.size(), size_t(kWaveFileBytes));
  const HorizontalBlock refBefore = SysRunInfo.horizontal[kRefA];
  const std::vector<std::pair<const char*, std::function<void(std::string*)>>> spoils = {
      {"sample period of 9e18 ns",
       [](std::string* f) {
         PutAt(f, kWaveImageAt + Horizontal(0, offsetof(HorizontalBlock, samplePeriodNs)), 9e18);
       }},
      {"time base index 77",
       [](std::string* f) {
         PutAt(f, kWaveImageAt + Horizontal(0, offsetof(HorizontalBlock, timeBase)), uint16_t(77));
       }},
      {"volts/div index 99",
       [](std::string* f) {
         PutAt(f, kWaveImageAt + Vertical(0, offsetof(VerticalBlock, vdivIndex)), uint16_t(99));
       }},
      {"record start beyond the record",
       [](std::string* f) {
         PutAt(f, kWaveImageAt + Horizontal(0, offsetof(HorizontalBlock, recordStart)),
               int64_t(1) << 62);
       }},
  };
  for (const auto& s : spoils) {
    std::string file = wave;
    s.second(&file);
    WriteRootFile("Data/Storage/Wave/BAD.wav", file);
    QelMsg.ClearMessage();
    EXPECT_EQ(StorageLoadWaveFunc("BAD.wav", 0, 0), -1) << s.first;
    EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoadFailed) << s.first;
    EXPECT_FALSE(SysRunStatus.GetChStatus() & 0x100) << s.first;
    EXPECT_EQ(std::memcmp(&SysRunInfo.horizontal[kRefA], &refBefore, sizeof refBefore), 0) << s.first;
  }
  EXPECT_EQ(StorageLoadWaveFunc("W.wav", 0, 0), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), kMsgLoaded);
  EXPECT_TRUE(SysRunStatus.GetChStatus() & 0x100);
}

// The EEPROM's fixed words outside their ranges take the factory values at
// start-up: a negative trigger position, a time base below the table's
// fastest, trigger levels beyond the screen.
TEST(SetupCheckEeprom, FixedWordsOutsideTheirRangesTakeTheFactoryValues) {
  Bench bench;
  std::vector<uint8_t> e = FormattedEeprom(6, 0);
  PutEepromU32(&e, EE_PRETRIG_DEPTH, 0xFFFFFF00u);
  PutEepromU32(&e, EE_PRETRIG_DEPTH + 4, 0x80000000u);
  e[EE_TIMEBASE + 1] = 0;
  PutEepromU16(&e, EE_TRIG_LEVEL, 30000);
  PutEepromU16(&e, EE_TRIG_LEVEL + 8 + 2, uint16_t(-30000));
  bench.SetEeprom(e);
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();
  for (int ch : {0, 1}) {
    const int64_t depth = TimeBase.GetRealPreTrigDepth(ch);
    EXPECT_GE(depth, 0) << ch;
    EXPECT_LE(depth, x_system::kRecordSamples) << ch;
  }
  EXPECT_GE(TimeBase.GetRealTimeBase(1), TimeBase.Get_timeBase_MIN());
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), trig_system::kDefaultLevel[0]);
  EXPECT_EQ(Trigger.GetTriggerPos(1, 1), trig_system::kDefaultLevel[1]);
}
