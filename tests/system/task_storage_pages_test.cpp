// The storage module's screenshot viewer and Rec Video pages on the simulated
// board: screenshots on the USB disk shown over the screen (only whole
// 800 x 480 pictures), a recording turned into a video from the menu and by
// FILE:SAVE of an ".mp4" (the outside converter's command as recorded by the
// shell seam; no outside program runs), and the STORAGE key's move to a
// shown reference.
#include <gtest/gtest.h>
#include <unistd.h>

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/common/common_subprogram.h"
#include "core/board/control.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "system/recorder/recorder.h"
#include "system/storage/storage_wave.h"
#include "system/storage/task_storage.h"
#include "system/utility/task_utility.h"
#include "tests/bench/bench.h"

namespace {
const std::string g_startDir = [] {
  char buf[4096];
  return std::string(getcwd(buf, sizeof buf) ? buf : ".");
}();

constexpr int kFrames = 12;
constexpr uint32_t kTop = 0x2040C0, kBottom = 0xC08020, kLeft = 0x10A060, kRight = 0x6010A0;
// The converter the instrument names; on the PC the seam would start the
// program of $SCOPE_FFMPEG, which the tests point at nothing.
constexpr char kConverter[] = "/usr/local/ffmpeg/bin/ffmpeg";

// An uncompressed 24-bit BMP, bottom-up rows, of `width` x `height` pixels
// coloured by `colour(row, column)` (rows from the top).
template <typename F>
std::string Bmp(int width, int height, F colour) {
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  std::string b(54 + size_t(rowBytes) * size_t(height), '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, uint32_t(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  b[26] = 1;
  b[28] = 24;
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      const uint32_t v = colour(r, c);
      const size_t at = 54 + size_t(height - 1 - r) * size_t(rowBytes) + size_t(c) * 3;
      b[at] = char(v);
      b[at + 1] = char(v >> 8);
      b[at + 2] = char(v >> 16);
    }
  return b;
}

struct StoragePages : ::testing::Test {
  Bench b;
  Menu& M() { return TaskStorage.TaskMenu; }
  int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
  int Page() { return M().GetCurrPage() * 5; }

  void SetUp() override {
    ASSERT_EQ(StartOnDemand(b), 0);
    SysRunStatus.SetMemDepth(1);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 1;
    SysRunInfo.activeCh = 0;
    QelControl.SetChPriority(&SysRunInfo);
    SysRunStatus.SetMenuDisplayTimeS(3);
    WriteRootFile("dev/signals", "ch1 sine freq=1000 amp=1\n");
    b.Pass();
    // Nothing outside the simulated board is started.
    setenv("SCOPE_FFMPEG", "/nonexistent/ffmpeg", 1);
    QelMsg.ClearMessage();
  }
  void TearDown() override { unsetenv("SCOPE_FFMPEG"); }

  void Usb(bool in) {
    plat::SimUsbPlug(in);
    SysRunStatus.SetUsbInsertStatus(in ? 1 : 0);
  }
  void Redraw() {
    SysRunStatus.SetDrawRefresh();
    b.AdvanceMs(600);
    b.Pass();
  }
  void Png(const std::string& name) {
    Redraw();
    EXPECT_TRUE(b.WriteScreenPng(g_startDir + "/" + name + ".png"));
  }
  // Records kFrames acquisitions from the utility module's record page.
  void Record() {
    b.Key(kKeyUtility);
    b.Key(kKeyUtility);
    b.Key(kKeyF4);
    ASSERT_EQ(TaskUtility.TaskMenu.GetCurrPage(), 7);
    TaskUtility.TaskMenu.SetMenuItem(kItemEndFrame, kFrames);
    Utility_Rec_Set_EndFrame(keypara{KEY_NO_KEY, 1, 0});
    b.Key(kKeyF3);
    ASSERT_EQ(recData.recordState, kRecRecording);
    for (int k = 0; k < kFrames; ++k) {
      b.AdvanceMs(5);
      ASSERT_TRUE(b.Fpga().AcquireNow()) << k;
      b.Pass();
    }
    ASSERT_EQ(recData.recordState, kRecRecorded);
    ASSERT_EQ(SysRunStatus.GetRecordTotal(), kFrames);
  }
  // The AVI the conversion left on the disk: its frame count and rate.
  std::pair<int, int> Avi(const std::string& name) {
    cv::VideoCapture v(plat::RootDir() + "/udisk/" + name);
    if (!v.isOpened()) return {-1, -1};
    int frames = 0;
    cv::Mat m;
    while (v.read(m)) {
      EXPECT_EQ(m.cols, 800);
      EXPECT_EQ(m.rows, 480);
      ++frames;
    }
    return {frames, int(v.get(cv::CAP_PROP_FPS) + 0.5)};
  }
  std::string Converted(const std::string& name) {
    return std::string(kConverter) + " -i '/udisk/" + name + ".avi' -c:v copy -c:a copy -y '/udisk/" +
           name + ".mp4'";
  }
  bool Ran(const std::string& prefix) {
    for (const std::string& c : plat::ShellLog())
      if (c.rfind(prefix, 0) == 0) return true;
    return false;
  }
};

TEST_F(StoragePages, TheViewerShowsOnlyWholeScreenshotsAndStepsThroughThem) {
  Usb(true);
  WriteRootFile("udisk/QelPrtSc/rows.bmp",
                Bmp(800, 480, [](int r, int) { return r < 240 ? kTop : kBottom; }));
  WriteRootFile("udisk/QelPrtSc/cols.bmp",
                Bmp(800, 480, [](int, int c) { return c < 400 ? kLeft : kRight; }));
  WriteRootFile("udisk/QelPrtSc/small.bmp", Bmp(640, 480, [](int, int) { return kTop; }));
  std::string tall = Bmp(800, 480, [](int, int) { return kTop; });
  tall[22] = char(0xE1);  // the header's height says 481
  tall[23] = 1;
  WriteRootFile("udisk/QelPrtSc/tall.bmp", tall);
  WriteRootFile("udisk/QelPrtSc/notes.txt", "not a picture");

  b.Key(kKeyStorage);
  b.Choose(kKeyF1, 0, 3);  // Type: PrintScreen (Rec Video is skipped: nothing recorded)
  ASSERT_EQ(Page(), kPagePrint);
  b.Key(kKeyF3);  // Print View
  ASSERT_EQ(Page(), kPageView);
  EXPECT_TRUE(M().GetItemAttribute(kStoViewNext) & MENU_ATTR_HIDDEN);
  b.Key(kKeyF1);  // View on
  EXPECT_EQ(Item(kStoView), 1);
  EXPECT_FALSE(M().GetItemAttribute(kStoViewNext) & MENU_ATTR_HIDDEN);

  // Whatever order the folder lists them in, stepping round shows each of
  // the two screenshots once, top row first, and neither of the others.
  auto shown = [&] {
    Redraw();
    const uint32_t top = b.Pixel(150, 200), bottom = b.Pixel(300, 200), right = b.Pixel(150, 600);
    if (top == kTop && bottom == kBottom) return 'r';
    if (top == kLeft && right == kRight && bottom == kLeft) return 'c';
    return top == kTop ? '?' : '-';
  };
  std::string seen;
  for (int i = 0; i < 4; ++i) {
    seen += shown();
    if (seen.back() == 'r') {
      Png("storage_screenshot_view");
      // The view mark at the top left and the file's name in white below.
      EXPECT_NE(b.Pixel(12, 20), kTop);
      int white = 0;
      for (int r = 400; r < 416; ++r)
        for (int c = 350; c < 420; ++c) white += b.Pixel(r, c) == 0xFFFFFF;
      EXPECT_GT(white, 20);
    }
    b.Key(kKeyF2);  // View Next
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, "--cr");
  // Previous goes back to the one shown before.
  const char now = shown();
  b.Key(kKeyF2);
  b.Key(kKeyF3);
  EXPECT_EQ(shown(), now);

  // The disk taken out: the view goes off, its page stays.
  Usb(false);
  Redraw();
  EXPECT_EQ(Item(kStoView), 0);
  EXPECT_EQ(Page(), kPageView);
  EXPECT_EQ(shown(), '-');
  // View without a disk, and on a disk without screenshots.
  b.Key(kKeyF1);
  EXPECT_EQ(Item(kStoView), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 23);
  Usb(true);
  std::remove((plat::RootDir() + "/udisk/QelPrtSc/rows.bmp").c_str());
  std::remove((plat::RootDir() + "/udisk/QelPrtSc/cols.bmp").c_str());
  std::remove((plat::RootDir() + "/udisk/QelPrtSc/small.bmp").c_str());
  std::remove((plat::RootDir() + "/udisk/QelPrtSc/tall.bmp").c_str());
  b.Key(kKeyF1);
  EXPECT_EQ(Item(kStoView), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 56);
  b.Key(kKeyF5);  // Back
  EXPECT_EQ(Page(), kPagePrint);
}

TEST_F(StoragePages, RecVideoTakesItsRangeFromTheRecordingAndSavesThroughTheConverter) {
  Usb(true);
  b.Key(kKeyStorage);
  EXPECT_EQ(M().GetItemParaAttribute(kStoType), 1 << 4);  // Rec Video not selectable
  Record();
  b.Key(kKeyStorage);
  b.Choose(kKeyF1, 0, 4);  // Type: Rec Video
  ASSERT_EQ(Page(), kPageVideo);
  EXPECT_EQ(Item(kStoFrameS), 24);
  EXPECT_EQ(Item(kStoStartFrame), 1);
  EXPECT_EQ(Item(kStoEndFrame), kFrames);
  EXPECT_EQ(Item(kStoVideoTime), kFrames);  // no longer than the frames at one a second
  Png("storage_rec_video");

  // Frame/s has the knob; it wraps at both ends.
  b.Key(kKeySelectRight);
  EXPECT_EQ(Item(kStoFrameS), 25);
  for (int i = 0; i < 6; ++i) b.Key(kKeySelectRight);
  EXPECT_EQ(Item(kStoFrameS), 1);
  b.Key(kKeySelectLeft);
  EXPECT_EQ(Item(kStoFrameS), 30);
  for (int i = 0; i < 25; ++i) b.Key(kKeySelectLeft);
  EXPECT_EQ(Item(kStoFrameS), 5);
  // EndFrame takes the knob: never beyond the recording; stepped down to the
  // first frame it keeps the smallest range.
  b.Key(kKeyF4);
  b.Key(kKeySelectRight);
  EXPECT_EQ(Item(kStoEndFrame), kFrames);
  for (int i = 0; i < 20; ++i) b.Key(kKeySelectLeft);
  EXPECT_EQ(Item(kStoStartFrame), 1);
  EXPECT_EQ(Item(kStoEndFrame), 2);
  for (int i = 0; i < 8; ++i) b.Key(kKeySelectRight);
  EXPECT_EQ(Item(kStoEndFrame), 10);
  // StartFrame: stays below EndFrame on the knob and on the number pad.
  b.Key(kKeyF3);
  for (int i = 0; i < 15; ++i) b.Key(kKeySelectRight);
  EXPECT_EQ(Item(kStoStartFrame), 9);
  b.Key(kKeyF3);  // the number pad
  EXPECT_EQ(Storage.numKeyboard, 1);
  Png("storage_rec_video_pad");
  // "3" then Enter: the cursor starts on "5".
  b.Key(kKeySelectRight);
  b.Key(kKeySelectRight);
  b.Key(kKeySelectPush);
  for (int i = 5; i < 21; ++i) b.Key(kKeySelectLeft);
  b.Key(kKeySelectPush);
  EXPECT_EQ(Storage.numKeyboard, 0);
  EXPECT_EQ(Item(kStoStartFrame), 3);

  // The second page: the length on the knob, within the recording.
  b.Key(kKeyF5);
  ASSERT_EQ(Page(), kPageVideo2);
  b.Key(kKeySelectRight);
  EXPECT_EQ(Item(kStoVideoTime), kFrames);
  for (int i = 0; i < 3; ++i) b.Key(kKeySelectLeft);
  EXPECT_EQ(Item(kStoVideoTime), kFrames - 3);
  Png("storage_rec_video_2");

  // The video's name from the soft keyboard: "Video" becomes "AB".
  b.Key(kKeyF1);
  ASSERT_EQ(Page(), kPageInput);
  for (int i = 0; i < 5; ++i) b.Key(kKeyF1);  // Delete
  b.Key(kKeySelectPush);                      // "A"
  b.Key(kKeySelectRight);
  b.Key(kKeySelectPush);  // "B"
  b.Key(kKeyF2);          // Sure
  EXPECT_STREQ(Storage.videoName, "AB");
  EXPECT_EQ(Page(), kPageVideo2);

  // Save: frames 3 to 10 at 5 a second, through the converter's command;
  // it cannot run here, so the AVI stays and the failure shows.
  plat::ClearShellLog();
  b.Key(kKeyF2);
  EXPECT_TRUE(b.ShellRan(Converted("AB")));
  EXPECT_FALSE(Ran("rm '/udisk/AB.avi'"));
  EXPECT_EQ(QelMsg.GetMessageID(), 11);
  EXPECT_EQ(Avi("AB.avi"), std::make_pair(8, 5));
  EXPECT_EQ(recData.mode, kPlayNone);
  b.Key(kKeyF5);  // Back
  EXPECT_EQ(Page(), kPageVideo);

  // RUN ends the page: the recording is gone.
  b.Key(kKeyRunStop);
  b.Pass();
  EXPECT_EQ(Item(kStoType), 0);
  b.Key(kKeyStorage);
  EXPECT_EQ(Page(), kPageWave);
}

TEST_F(StoragePages, FileSaveOfAnMp4ConvertsOnTheMainLoopWithCheckedParameters) {
  ASSERT_EQ(0, StartScpiThread());
  Usb(true);
  auto send = [](const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ScpiQuery("STORage:TYPE?\n");  // the command before it has run
  };
  // Nothing recorded yet.
  send("FILE:SAVE \"clip.mp4\"");
  b.Pass();
  EXPECT_FALSE(Ran(kConverter));
  Record();
  plat::ClearShellLog();
  // Refused: start above end, a rate above 30, an end beyond the recording,
  // a range not given whole, a name with shell characters.
  for (const char* bad :
       {"\"bad.mp4\",5,3,10", "\"bad.mp4\",1,5,31", "\"bad.mp4\",1,13,5", "\"bad.mp4\",2",
        "\"bad.mp4\",x,5,5", "\"b;rm x.mp4\"", "\"b'q.mp4\"", "\"../b.mp4\""}) {
    send(std::string("FILE:SAVE ") + bad);
    b.Pass();
  }
  EXPECT_FALSE(Ran(kConverter));
  EXPECT_FALSE(RootFileExists("udisk/bad.avi"));
  // Frames 2 to 6 at 3 a second, converted when the main loop takes key 243.
  send("FILE:SAVE \"clip.mp4\",2,6,3");
  EXPECT_FALSE(RootFileExists("udisk/clip.avi"));
  b.Pass();
  EXPECT_TRUE(b.ShellRan(Converted("clip")));
  EXPECT_EQ(Avi("clip.avi"), std::make_pair(5, 3));
  // Without fields: every recorded frame at 24 a second, which the twelve
  // frames cannot fill: one a second.
  send("FILE:SAVE \"all.mp4\"");
  b.Pass();
  EXPECT_TRUE(b.ShellRan(Converted("all")));
  EXPECT_EQ(Avi("all.avi"), std::make_pair(kFrames, 1));
}

TEST_F(StoragePages, TheStorageKeyMovesToAShownReference) {
  SysRunInfo.sourceOn = 1;
  b.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
  ASSERT_EQ(StorageSaveWaveFunc("R.wav", 0, 0), 0);
  b.Key(kKeyStorage);
  EXPECT_EQ(Page(), kPageWave);                      // no reference shown: the Type page
  ASSERT_EQ(StorageLoadWaveFunc("R.wav", 1, 0), 0);  // RefB on, Ref Sel still RefA
  EXPECT_EQ(Item(kStoRefSel), 0);
  b.Key(kKeyStorage);
  EXPECT_EQ(Item(kStoRefSel), 1);
  EXPECT_EQ(SysRunStatus.GetActivCh(), 9);
  EXPECT_EQ(Item(kStoType), 2);
  EXPECT_EQ(Page(), kPageRef);
  // With both shown the selected one stays.
  ASSERT_EQ(StorageLoadWaveFunc("R.wav", 0, 0), 0);
  b.Key(kKeyStorage);
  EXPECT_EQ(Item(kStoRefSel), 1);
  Png("storage_reference_page");
  // An FFT spectrum shown takes both references off at the math module's keys.
  b.Key(kKeyMath);
  SysRunStatus.SetFuncBit(0x20);
  SysRunInfo.sourceOn |= 0x20;
  b.Key(kKeySelectPush);
  EXPECT_EQ(SysRunStatus.GetChStatus() & 0x300, 0);
}
}  // namespace
