// The waveform recorder on the simulated board: a frequency sweep recorded
// frame by frame, played back and stepped through, each frame checked against
// the frequency that was applied; the recorder pages' checks and bounds; and
// the recording turned into a video that ffprobe reads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/messages/msg.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/sim/devices/sim_controls.h"
#include "remote/scpi/scpi_client.h"
#include "system/recorder/recorder.h"
#include "system/recorder/recorder_pages.h"
#include "system/utility/task_utility.h"
#include "tests/bench/wait.h"
#include "tests/bench/bench.h"
#include "ui/screen/qel_draw.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr keypara kNoKey{KEY_NO_KEY, 1, 0};
constexpr int kFrames = 50;
constexpr double kScreenSeconds = 14 * 500e-6;  // 14 divisions of 500 us
constexpr int kRasterRows = 200, kRasterCols = 700, kCentreRow = 100;
constexpr uint64_t kRecordedBits = 0x700;

double SweepHz(int k) { return 1000.0 + 100.0 * k; }

void ApplySignal(double hz) {
  WriteRootFile("dev/signals", "ch1 sine freq=" + std::to_string(hz) + " amp=1\n");
}

// Rising crossings of the screen centre by CH1's trace in a raster: the mean
// lit row of each column, followed across the screen.
int RisingCrossings(const std::vector<uint8_t>& raster) {
  int crossings = 0, side = 0;
  for (int x = 0; x < kRasterCols; ++x) {
    double sum = 0, n = 0;
    for (int r = 0; r < kRasterRows; ++r) {
      const uint8_t cell = raster[size_t(r) * kRasterCols + x];
      if ((cell & 0x7F) && !(cell & 0x80)) sum += r, n += 1;
    }
    if (n == 0) continue;
    const int now = sum / n < kCentreRow ? 1 : -1;  // rows grow downwards
    if (side == -1 && now == 1) ++crossings;
    side = now;
  }
  return crossings;
}

std::vector<uint8_t> ShownRaster() {
  return std::vector<uint8_t>(QelWaveData, QelWaveData + kQelRasterBytes);
}

std::string Capture(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

struct Recorder : ::testing::Test {
  Bench b;
  Menu& M() { return TaskUtility.TaskMenu; }
  // Over the SCPI worker (started by the test): a query's answer, and a
  // command sent as a transport does, once *OPC? says it is in force.
  static std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  static void Send(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_TRUE(WaitUntil([] { return Ask("*OPC?") == "1\r\n"; })) << line;
  }

  void SetUp() override {
    ASSERT_EQ(StartOnDemand(b), 0);
    SysRunStatus.SetMemDepth(1);  // 7000 points: 8000 frames fit
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    SysRunInfo.activeCh = 0;
    QelControl.SetChPriority(&SysRunInfo);
    SysRunStatus.SetMenuDisplayTimeS(3);
    ApplySignal(SweepHz(0));
    b.Pass();
  }

  // UTILITY, then "Record" on its first page: the record page.
  void OpenRecorder() {
    b.Key(kKeyUtility);
    b.Key(kKeyUtility);
    b.Key(kKeyF4);
    ASSERT_EQ(M().GetCurrPage(), 7);
  }

  void SetEndFrame(int n) {
    M().SetMenuItem(kItemEndFrame, uint64_t(n));
    Utility_Rec_Set_EndFrame(kNoKey);
  }

  // Records the sweep: one acquisition per frequency, one main-loop pass each.
  void RecordSweep() {
    OpenRecorder();
    SetEndFrame(kFrames);
    b.Key(kKeyF3);
    ASSERT_EQ(recData.recordState, kRecRecording);
    for (int k = 0; k < kFrames; ++k) {
      ApplySignal(SweepHz(k));
      b.AdvanceMs(5);
      ASSERT_TRUE(b.Fpga().AcquireNow()) << k;
      b.Pass();
    }
  }

  // The screen shows frame `k` (0-based) of the sweep.
  void ExpectShowsFrame(int k) {
    EXPECT_EQ(recData.currentFrame, uint32_t(k + 1));
    const int expected = int(std::floor(SweepHz(k) * kScreenSeconds));
    const int seen = RisingCrossings(ShownRaster());
    EXPECT_NEAR(seen, expected, 1) << "frame " << k;
  }

  void Png(const std::string& name) {
    SysRunStatus.SetDrawRefresh();
    b.AdvanceMs(600);
    b.Pass();
    EXPECT_TRUE(b.WriteScreenPng(g_startDir + "/" + name + ".png"));
  }
};

TEST_F(Recorder, MaxFrameFollowsTheMemoryDepth) {
  SysRunStatus.SetMemDepth(1);
  EXPECT_EQ(GetMaxFrame(), 8000u);
  SysRunStatus.SetMemDepth(3);
  EXPECT_EQ(GetMaxFrame(), 80u);
  SysRunStatus.SetMemDepth(6);
  SysRunStatus.SetFuncBit(0x8000000);  // the 70M depth of the last index
  double points = 0;
  SysRunStatus.GetMemDepth(&points);
  EXPECT_EQ(GetMaxFrame(), uint32_t(56000000.0 / points));
  SysRunStatus.SetMemDepth(0);  // automatic, before any depth was worked out
  SysRunInfo.horizontal[0].autoDepth = 0;
  EXPECT_EQ(GetMaxFrame(), 0u);
}

TEST_F(Recorder, RecordsASweepAndStepsThroughIt) {
  RecordSweep();
  EXPECT_EQ(recData.recordState, kRecRecorded);
  EXPECT_EQ(recData.total, uint32_t(kFrames));
  EXPECT_EQ(SysRunStatus.GetRecordTotal(), kFrames);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & kRecordedBits, kFuncRecorded);
  EXPECT_EQ(QelMsg.GetMessageID(), 94);
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
  // The board kept each acquisition as it was made.
  ASSERT_EQ(b.Fpga().RecordedFrames(), size_t(kFrames));
  for (int k = 0; k < kFrames; ++k)
    EXPECT_DOUBLE_EQ(b.Fpga().RecordedFrame(size_t(k)).sig[0].frequencyHz, SweepHz(k));
  // The end of the recording shows its last frame.
  b.Pass();
  ExpectShowsFrame(kFrames - 1);

  // The knob steps through every frame and wraps at both ends (turned
  // slowly: a fast turn steps several frames at once).
  auto turn = [&](uint8_t key) {
    b.AdvanceMs(1000);  // a turn in another second steps one frame
    b.Key(key);
    b.Pass();
  };
  for (int k = 1; k < kFrames; ++k) {
    turn(kKeySelectRight);
    ExpectShowsFrame(k);
  }
  turn(kKeySelectRight);
  ExpectShowsFrame(0);
  turn(kKeySelectLeft);
  ExpectShowsFrame(kFrames - 1);
  EXPECT_EQ(recData.mode, kPlayPaused);
}

TEST_F(Recorder, PlaysBackInOrderAndRunEndsIt) {
  RecordSweep();
  // A play delay of 1 s: the passes' own real time never adds a step.
  M().SetMenuItem(kItemPlayDelay, 250000000);
  Utility_Rec_Set_PlayDelay(kNoKey);
  b.Key(kKeyF1);  // Play
  ASSERT_EQ(recData.mode, kPlayPlaying);
  EXPECT_TRUE(SysRunStatus.GetFuncBits() & kFuncPlaying);
  for (int k = 0; k < 5; ++k) {
    b.AdvanceMs(1000);  // the play delay
    b.Pass();           // the frame is shown
    b.Pass();           // and read back
    ExpectShowsFrame(k);
  }
  Png("recorder_playing");
  b.Key(kKeyRunStop);
  b.AdvanceMs(1000);
  b.Pass();
  EXPECT_EQ(recData.mode, kPlayNone);
  EXPECT_EQ(recData.recordState, kRecIdle);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & kRecordedBits, 0u);
  EXPECT_EQ(SysRunStatus.GetRecordTotal(), 0);
  EXPECT_FALSE(TaskUtility.GetFunBits() & kUtiDlgRecorder);
}

TEST_F(Recorder, CompletionWhileRunningReportsTheEndFrame) {
  OpenRecorder();
  SetEndFrame(3);
  b.Key(kKeyF3);
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
  }
  EXPECT_EQ(recData.recordState, kRecRecorded);
  EXPECT_EQ(recData.framesRecorded, 3u);
  EXPECT_EQ(b.Fpga().Word(196), 3);
  EXPECT_EQ(b.Fpga().Word(200), 250 + 25);  // the interval as the FPGA counts it
  EXPECT_EQ(b.Fpga().Word(184), 0);
}

TEST_F(Recorder, EntryChecksRefuseWithTheirMessage) {
  struct Case {
    uint64_t bits;
    int message;
  };
  const Case cases[] = {{0x2, 83}, {0x40000, 78}, {0x20, 19}, {0x800, 85}};
  for (const Case& c : cases) {
    SysRunStatus.SetFuncBit(c.bits);
    QelMsg.ClearMessage();
    Utility_Rec_Op_Record(kNoKey);
    EXPECT_EQ(QelMsg.GetMessageID(), c.message);
    EXPECT_EQ(recData.recordState, kRecIdle);
    SysRunStatus.ClearFuncBit(c.bits);
  }
  TimeBase.SetRealTimeBase(0, 26);  // slower than the recorder can follow
  Utility_Rec_Op_Record(kNoKey);
  EXPECT_EQ(QelMsg.GetMessageID(), 83);
  TimeBase.SetRealTimeBase(0, 20);
  // No channel on.
  SysRunInfo.sourceOn = 0;
  Utility_Rec_Op_Record(kNoKey);
  EXPECT_EQ(QelMsg.GetMessageID(), 73);
  // Nothing recorded to play.
  SysRunInfo.sourceOn = 1;
  recData.chMask = 0;
  Utility_Rec_Op_Play(kNoKey);
  EXPECT_EQ(QelMsg.GetMessageID(), 75);
  // A pass/fail mask gives way to the recording.
  WaveOp.PassFailOnOff(1);
  Utility_Rec_Op_Record(kNoKey);
  EXPECT_EQ(WaveOp.GetPassFailOnOff(), 0);
  EXPECT_EQ(recData.recordState, kRecRecording);
}

TEST_F(Recorder, SettingsKeepTheirBoundsAndFocus) {
  OpenRecorder();
  b.Key(kKeyF5);  // Off: page 8
  EXPECT_EQ(M().GetCurrPage(), 8);
  b.Key(kKeyF1);  // Set
  EXPECT_EQ(M().GetCurrPage(), 9);
  Png("recorder_settings");

  M().SetMenuItem(kItemInterval, 1);
  Utility_Rec_Set_Interval(kNoKey);
  EXPECT_EQ(recData.interval, 2u);
  M().SetMenuItem(kItemInterval, 300000000);
  Utility_Rec_Set_Interval(kNoKey);
  EXPECT_EQ(recData.interval, 250000000u);
  M().SetMenuItem(kItemPlayDelay, 1000);
  Utility_Rec_Set_PlayDelay(kNoKey);
  EXPECT_EQ(recData.playDelay, 5000000u);
  SetEndFrame(0);
  EXPECT_EQ(recData.endFrame, 1u);
  SetEndFrame(9000);
  EXPECT_EQ(recData.endFrame, 8000u);

  // The knob steps the focused item; select moves the focus 45 -> 46 -> 47 -> 45.
  SetEndFrame(10);
  b.Key(kKeyF2);  // End Frame takes the focus
  b.Key(kKeySelectRight);
  EXPECT_EQ(recData.endFrame, 11u);
  b.Key(kKeySelectPush);
  EXPECT_TRUE(M().GetItemAttribute(kItemPlayDelay) & MENU_ATTR_FOCUS_FIRST);
  EXPECT_FALSE(M().GetItemAttribute(kItemEndFrame) & MENU_ATTR_FOCUS_FIRST);
  b.Key(kKeySelectPush);
  EXPECT_TRUE(M().GetItemAttribute(kItemInterval) & MENU_ATTR_FOCUS_FIRST);

  // The number pad takes seconds: 0.5 s of play delay is 125,000,000 ticks.
  b.Key(kKeyF3);  // Play Delay takes the focus
  b.Key(kKeyF3);  // and opens the pad
  ASSERT_TRUE(RecorderNumPadOpen());
  EXPECT_TRUE(TaskUtility.GetFunBits() & 0x100);
  Png("recorder_numpad");
  // "0", ".", "5" and "Enter": the knob walks the pad's cursor (from "5",
  // right goes back a key, left on), the push takes the key under it.
  int cursor = 7;
  for (int target : {1, 2, 7, 21}) {
    for (; cursor > target; --cursor) b.Key(kKeySelectRight);
    for (; cursor < target; ++cursor) b.Key(kKeySelectLeft);
    b.Key(kKeySelectPush);
  }
  EXPECT_FALSE(RecorderNumPadOpen());
  EXPECT_EQ(recData.playDelay, 125000000u);
  EXPECT_EQ(M().GetMenuItem(kItemPlayDelay), 125000000u);
  RecorderNumPadClose();
  SysRunStatus.SetMemDepth(3);  // 80 frames now fit: the end frame comes down
  SetEndFrame(500);
  EXPECT_EQ(recData.endFrame, 500u > recData.maxFrame ? recData.maxFrame : 500u);
  FrameSet();
  EXPECT_EQ(recData.maxFrame, 80u);
  EXPECT_EQ(recData.endFrame, 80u);
  EXPECT_EQ(M().GetMenuItem(kItemEndFrame), 80u);
}

// The end frame's bound follows the depth in force, not the depth the last
// recording was made at: 56,000,000 sample points over the depth (700K
// points: 80 frames; 7K points: 8,000), for the command, the knob and the pad.
TEST_F(Recorder, EndFrameBoundIsTheDepthInForce) {
  ASSERT_EQ(0, StartScpiThread());
  const auto ask = &Ask;
  const auto set = &Send;
  set("ACQuire:MEMory:DEPTh 700K");
  OpenRecorder();
  b.Key(kKeyF3);  // Record at 700K
  ASSERT_EQ(recData.recordState, kRecRecording);
  b.Key(kKeyF2);  // Stop
  ASSERT_EQ(recData.maxFrame, 80u);
  set("RECord:FRAMes 100");
  EXPECT_EQ(ask("RECord:FRAMes?"), "80\r\n");

  b.Key(kKeyRunStop);  // the stop ended the acquisition; the depth changes only while it runs
  ASSERT_NE(SysRunStatus.GetAcquireStatus(0), kAcqStopped);
  set("ACQuire:MEMory:DEPTh 7K");
  ASSERT_EQ(ask("ACQuire:MEMory:DEPTh?"), "7K\r\n");
  set("RECord:FRAMes 100");
  EXPECT_EQ(ask("RECord:FRAMes?"), "100\r\n");
  EXPECT_EQ(recData.endFrame, 100u);
  set("RECord:FRAMes 9000");
  EXPECT_EQ(ask("RECord:FRAMes?"), "8000\r\n");
  EXPECT_EQ(M().GetMenuItem(kItemMaxFrame), 8000u);

  // The settings page opened at 700K, the depth then 7K: the knob and the
  // pad's maximum go past 80.
  set("ACQuire:MEMory:DEPTh 700K");
  b.Key(kKeyF5);  // Off: page 8
  b.Key(kKeyF1);  // Set: page 9
  ASSERT_EQ(M().GetCurrPage(), 9);
  EXPECT_EQ(recData.endFrame, 80u);
  set("ACQuire:MEMory:DEPTh 7K");
  b.Key(kKeyF2);  // End Frame takes the knob
  b.Key(kKeySelectRight);
  EXPECT_EQ(recData.endFrame, 81u);
  set("ACQuire:MEMory:DEPTh 700K");
  set("ACQuire:MEMory:DEPTh 7K");
  b.Key(kKeyF2);  // and opens the pad; its key 22 is the maximum
  ASSERT_TRUE(RecorderNumPadOpen());
  for (int cursor = 7; cursor < 22; ++cursor) b.Key(kKeySelectLeft);
  b.Key(kKeySelectPush);
  EXPECT_FALSE(RecorderNumPadOpen());
  EXPECT_EQ(recData.endFrame, 8000u);
  EXPECT_EQ(ask("RECord:FRAMes?"), "8000\r\n");
}

// With the automatic depth a time-base change moves the bound: an end frame
// set at 1 us/div reads the 8 that fit at 1 ms/div, and what was set again
// once the depth allows it.
TEST_F(Recorder, EndFrameReadBackFollowsATimeBaseChange) {
  ASSERT_EQ(0, StartScpiThread());
  const auto ask = &Ask;
  const auto set = &Send;
  set("ACQuire:MEMory:DEPTh AUTO");
  set("TIMebase:SCALe 1e-6");
  set("RECord:FRAMes 3000");
  EXPECT_EQ(ask("RECord:FRAMes?"), "3000\r\n");
  set("TIMebase:SCALe 1e-3");
  EXPECT_EQ(ask("RECord:FRAMes?"), "8\r\n");  // 56,000,000 points over 7M
  set("TIMebase:SCALe 1e-6");
  EXPECT_EQ(ask("RECord:FRAMes?"), "3000\r\n");
}

TEST_F(Recorder, SetWhilePlayingStopsPlayback) {
  RecordSweep();
  b.Key(kKeyF1);
  ASSERT_EQ(recData.mode, kPlayPlaying);
  b.Key(kKeyF5);
  b.Key(kKeyF1);  // Set
  EXPECT_EQ(recData.mode, kPlayPaused);
  EXPECT_EQ(b.Fpga().Word(230), 1);
  EXPECT_EQ(M().GetCurrPage(), 9);
}

TEST_F(Recorder, PagesAndCounterOnScreen) {
  OpenRecorder();
  Png("recorder_page");
  SetEndFrame(5);
  b.Key(kKeyF3);
  ASSERT_TRUE(b.Fpga().AcquireNow());
  b.Pass();
  ASSERT_TRUE(TaskUtility.GetFunBits() & kUtiDlgRecorder);
  Png("recorder_recording");
  // The counter box's frame is drawn where it belongs.
  EXPECT_EQ(b.Pixel(54, 200), 0x828282u);
  b.Key(kKeyF5);
  Png("recorder_page2");
}

// --- recording to video ---

struct RecorderVideo : Recorder {
  void SetUp() override {
    Recorder::SetUp();
    plat::SimUsbPlug(true);
    SysRunStatus.SetUsbInsertStatus(1);
  }
  bool DiskHas(const std::string& name) { return RootFileExists("udisk/" + name); }
  std::string Probe(const std::string& name) {
    return Capture(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=width,height,nb_read_frames -of csv=p=0 '" +
        plat::RootDir() + "/udisk/" + name + "'");
  }
  void ExpectRestored() {
    EXPECT_EQ(recData.mode, kPlayNone);
    EXPECT_EQ(recData.currentFrame, 1u);
    EXPECT_EQ(SysRunStatus.GetRecord2VideoStatus(), 0);
    EXPECT_EQ(QelDraw.GetMainDisplayType(), 0);
  }
  size_t RastersRead() {
    size_t n = 0;
    for (const auto& r : b.Fpga().BlockReads()) n += r.first == 0;
    return n;
  }
  // A thread that runs `act` once ten more frames' rasters have been read
  // (or at the wait's limit, so a fault cannot hang the recording).
  std::thread AfterTenRasters(std::function<void()> act) {
    const size_t before = RastersRead();
    return std::thread([this, before, act] {
      WaitUntil([&] { return RastersRead() >= before + 10; });
      act();
    });
  }
};

TEST_F(RecorderVideo, WritesAnMp4OfEveryFrame) {
  RecordSweep();
  EXPECT_EQ(RecordToVideo("sweep", 25, 0, 1, kFrames), 0);
  EXPECT_TRUE(DiskHas("sweep.mp4"));
  EXPECT_FALSE(DiskHas("sweep.avi"));
  EXPECT_EQ(Probe("sweep.mp4"), "800,480,50\n");
  EXPECT_EQ(QelMsg.GetMessageID(), 10);
  ExpectRestored();
  EXPECT_TRUE(b.ShellRan(
      "/usr/local/ffmpeg/bin/ffmpeg -i '/udisk/sweep.avi' -c:v copy -c:a copy -y '/udisk/sweep.mp4'"));
}

TEST_F(RecorderVideo, LongRecordingsSkipFramesAndShortOnesPlaySlowly) {
  RecordSweep();
  // 50 frames at 25 fps give 2 s, under the limit: every frame. At 1 fps
  // the 50 s hold 50 frames too; a rate above the frame count plays at 1 fps.
  EXPECT_EQ(RecordToVideo("slow", 100, 0, 11, 20), 0);
  EXPECT_EQ(Probe("slow.mp4"), "800,480,10\n");
  const std::string rate =
      Capture("ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 '" +
              plat::RootDir() + "/udisk/slow.mp4'");
  EXPECT_EQ(rate, "1/1\n");
}

TEST_F(RecorderVideo, AbortKeyConvertsWhatWasWritten) {
  RecordSweep();
  // The abort byte arrives once ten frames' rasters have been read.
  std::thread presser = AfterTenRasters([] { plat::SimPanelKey(0x33); });
  EXPECT_EQ(RecordToVideo("part", 25, 0, 1, kFrames), 0);
  presser.join();
  ASSERT_TRUE(DiskHas("part.mp4"));
  const std::string probe = Probe("part.mp4");
  const int frames = std::atoi(probe.substr(probe.rfind(',') + 1).c_str());
  EXPECT_GE(frames, 9);
  EXPECT_LT(frames, kFrames);
  ExpectRestored();
}

// The room a video needs is judged by what its frames take: the AVI and
// the MP4 made from it lie side by side until the AVI goes, beside the 1 MiB
// spare. The sizes come from a conversion made first.
TEST_F(RecorderVideo, RefusesAFullDiskBeforeStarting) {
  RecordSweep();
  setenv("SCOPE_FFMPEG", "/bin/false", 1);  // keeps the AVI to be measured
  EXPECT_EQ(RecordToVideo("measure", 25, 0, 1, kFrames), 1);
  unsetenv("SCOPE_FFMPEG");
  const int64_t avi = int64_t(std::filesystem::file_size(plat::RootDir() + "/udisk/measure.avi"));
  ASSERT_GT(avi, 0);
  constexpr int64_t kSpare = 1048576;
  // Room for one copy only: refused before anything is written.
  plat::SimUsbSetFree(kSpare + avi);
  EXPECT_EQ(RecordToVideo("full", 25, 0, 1, kFrames), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 117);
  plat::SimUsbSetFree(1000);  // less than the spare itself
  EXPECT_EQ(RecordToVideo("full", 25, 0, 1, kFrames), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 117);
  EXPECT_FALSE(DiskHas("full.avi"));
  // Room for both with a quarter to spare: made.
  plat::SimUsbSetFree(kSpare + 2 * avi + avi / 2);
  EXPECT_EQ(RecordToVideo("fits", 25, 0, 1, kFrames), 0);
  EXPECT_TRUE(DiskHas("fits.mp4"));
  // Without a disk.
  plat::SimUsbPlug(false);
  EXPECT_EQ(RecordToVideo("gone", 25, 0, 1, kFrames), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 23);
}

// The disk fills while a video is made, and an earlier video of the name
// stays whole. While the AVI is written (the free space taken by something
// else once ten frames are read): the AVI goes, message 11. While ffmpeg
// writes the MP4 (an ffmpeg that lets the disk fill first): the torn MP4
// goes, the earlier one is back, the AVI stays as after any failed conversion.
TEST_F(RecorderVideo, ADiskThatFillsWhileAVideoIsMadeKeepsTheEarlierVideo) {
  RecordSweep();
  WriteRootFile("udisk/clip.mp4", "earlier video");
  constexpr int64_t kRoom = int64_t(1) << 40;
  plat::SimUsbSetFree(kRoom);
  std::thread filler = AfterTenRasters([] { plat::SimUsbSetFree(1000); });
  EXPECT_EQ(RecordToVideo("clip", 25, 0, 1, kFrames), -1);
  filler.join();
  EXPECT_EQ(QelMsg.GetMessageID(), 11);
  EXPECT_FALSE(DiskHas("clip.avi"));
  EXPECT_EQ(ReadRootFile("udisk/clip.mp4"), "earlier video");
  ExpectRestored();

  const std::string script = plat::RootDir() + "/fill-ffmpeg.sh";
  WriteRootFile("fill-ffmpeg.sh", "#!/bin/sh\necho 100 > '" + plat::DevPath("udisk_free") +
                                      "'\nexec /usr/bin/ffmpeg \"$@\"\n");
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  setenv("SCOPE_FFMPEG", script.c_str(), 1);
  plat::SimUsbSetFree(kRoom);
  EXPECT_EQ(RecordToVideo("clip", 25, 0, 1, kFrames), 1);
  unsetenv("SCOPE_FFMPEG");
  EXPECT_EQ(QelMsg.GetMessageID(), 11);
  EXPECT_TRUE(DiskHas("clip.avi"));
  EXPECT_EQ(ReadRootFile("udisk/clip.mp4"), "earlier video");
  EXPECT_FALSE(DiskHas("clip.mp4.old"));
  ExpectRestored();
  // With room the video replaces the earlier one.
  plat::SimUsbSetFree(kRoom);
  EXPECT_EQ(RecordToVideo("clip", 25, 0, 1, kFrames), 0);
  EXPECT_EQ(Probe("clip.mp4"), "800,480,50\n");
  EXPECT_FALSE(DiskHas("clip.mp4.old"));
}

TEST_F(RecorderVideo, BadNamesAndRangesNeverReachTheShell) {
  RecordSweep();
  plat::ClearShellLog();
  const char* const names[] = {"../escape", "a;rm -rf x", "", "x'y", "sub/dir", ".hidden"};
  for (const char* name : names) {
    EXPECT_EQ(RecordToVideo(name, 25, 0, 1, kFrames), -1) << name;
    EXPECT_EQ(QelMsg.GetMessageID(), 11);
  }
  EXPECT_EQ(RecordToVideo(nullptr, 25, 0, 1, kFrames), -1);
  EXPECT_EQ(RecordToVideo("ok", 0, 0, 1, kFrames), -1);
  EXPECT_EQ(RecordToVideo("ok", 25, 0, 5, 4), -1);
  EXPECT_TRUE(plat::ShellLog().empty());
}

TEST_F(RecorderVideo, TimeOutRestoresTheRecorder) {
  RecordSweep();
  b.Fpga().SetDrawingStatus(1);  // the FPGA never finishes drawing
  EXPECT_EQ(RecordToVideo("stuck", 25, 0, 1, kFrames), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 11);
  EXPECT_FALSE(DiskHas("stuck.avi"));
  EXPECT_FALSE(DiskHas("stuck.mp4"));
  ExpectRestored();
}

// A conversion notes its step in the internal memory while it runs, so the
// start-up after a kill removes its intermediates: the AVI once the MP4 is
// whole or while the AVI was written, the torn MP4 while ffmpeg ran (the AVI
// is then the whole recording, kept as after a failed conversion).
TEST_F(RecorderVideo, WhatAConversionCutShortLeavesIsKnownAndRemoved) {
  RecordSweep();
  // An ffmpeg that copies the note it runs under and leaves a torn output.
  const std::string script = plat::RootDir() + "/cut-ffmpeg.sh";
  WriteRootFile("cut-ffmpeg.sh", "#!/bin/sh\nfor a; do out=$a; done\ncp '" + plat::RootDir() +
                                     "/Data/VideoConversion' '" + plat::RootDir() +
                                     "/seen'\nprintf torn > \"$out\"\nexit 1\n");
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  setenv("SCOPE_FFMPEG", script.c_str(), 1);
  EXPECT_EQ(RecordToVideo("cut", 25, 0, 1, kFrames), 1);
  unsetenv("SCOPE_FFMPEG");
  EXPECT_EQ(ReadRootFile("seen"), "cut\nconverting\n");
  EXPECT_FALSE(RootFileExists("Data/VideoConversion")) << "a conversion that ended leaves no note";
  ASSERT_TRUE(DiskHas("cut.avi"));

  // Killed while ffmpeg ran: the torn MP4 goes, the AVI stays.
  WriteRootFile("Data/VideoConversion", ReadRootFile("seen"));
  RecordToVideoLeftovers();
  EXPECT_FALSE(DiskHas("cut.mp4"));
  EXPECT_TRUE(DiskHas("cut.avi"));
  EXPECT_FALSE(RootFileExists("Data/VideoConversion"));
  // Killed once the MP4 was whole, before the AVI was removed.
  WriteRootFile("udisk/cut.mp4", "whole");
  WriteRootFile("Data/VideoConversion", "cut\nconverted\n");
  RecordToVideoLeftovers();
  EXPECT_FALSE(DiskHas("cut.avi"));
  EXPECT_EQ(ReadRootFile("udisk/cut.mp4"), "whole");
  // A note naming no sound file touches nothing on the disk.
  WriteRootFile("Data/VideoConversion", "../Data/Storage/Set/a\nwriting\n");
  WriteRootFile("Data/Storage/Set/a.avi", "x");
  RecordToVideoLeftovers();
  EXPECT_TRUE(RootFileExists("Data/Storage/Set/a.avi"));
  EXPECT_FALSE(RootFileExists("Data/VideoConversion"));
  // Without the disk the note waits for a start-up with the disk in.
  WriteRootFile("Data/VideoConversion", "cut\nwriting\n");
  plat::SimUsbPlug(false);
  RecordToVideoLeftovers();
  EXPECT_TRUE(RootFileExists("Data/VideoConversion"));
  plat::SimUsbPlug(true);
}

TEST_F(RecorderVideo, AFailedConversionKeepsTheAvi) {
  RecordSweep();
  setenv("SCOPE_FFMPEG", "/bin/false", 1);
  EXPECT_EQ(RecordToVideo("kept", 25, 0, 1, kFrames), 1);
  unsetenv("SCOPE_FFMPEG");
  EXPECT_TRUE(DiskHas("kept.avi"));
  EXPECT_FALSE(DiskHas("kept.mp4"));
  EXPECT_EQ(QelMsg.GetMessageID(), 11);
  ExpectRestored();
}
}  // namespace

// Enabled remotely (which starts a recording at the full frame count), then
// 40 frames and a start: the recording starts again with 40 frames and ends
// after its 40th acquisition, ready to be saved.
TEST_F(Recorder, ARemoteStartAfterEnableRecordsTheFramesAsked) {
  ASSERT_EQ(StartScpiThread(), 0);
  const auto set = [](const char* line) {
    ScpiQuery(line, kScpiSourceTransport, 0);
    ASSERT_FALSE(ScpiQuery("RECord:STARt?\n").empty());  // the worker ran the setter
  };
  set("RECord:ENABle ON\n");
  for (int k = 0; k < 3; ++k) {
    b.AdvanceMs(5);
    ASSERT_TRUE(b.Fpga().AcquireNow());
    b.Pass();
  }
  set("RECord:FRAMes 40\n");
  set("RECord:STARt ON\n");
  EXPECT_EQ(ScpiQuery("RECord:STARt?\n"), "1\r\n");
  for (int k = 0; k < 40; ++k) {
    ApplySignal(SweepHz(k));
    b.AdvanceMs(5);
    ASSERT_TRUE(b.Fpga().AcquireNow()) << k;
    b.Pass();
  }
  EXPECT_EQ(ScpiQuery("RECord:STARt?\n"), "0\r\n");
  EXPECT_EQ(recData.recordState, kRecRecorded);
  EXPECT_EQ(SysRunStatus.GetRecordTotal(), 40);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & kRecordedBits, kFuncRecorded);
  // The board kept the 40 acquisitions of the new recording, in order.
  ASSERT_EQ(b.Fpga().RecordedFrames(), 40u);
  for (int k = 0; k < 40; ++k)
    EXPECT_DOUBLE_EQ(b.Fpga().RecordedFrame(size_t(k)).sig[0].frequencyHz, SweepHz(k));
}
