// Recorder frames to video: each chosen frame is shown again by the FPGA, its
// raster read back and the whole screen composed off the LCD, written to an
// AVI on the USB disk with OpenCV, then turned into an MP4 by ffmpeg.
#include <unistd.h>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "acquisition/engine/wave.h"
#include "core/board/control.h"
#include "core/input/rs232.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/devices/disk.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "platform/devices/usb.h"
#include "system/recorder/recorder.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kWordFrameShow = 122, kWordRasterRead = 170;
constexpr int kWordFirstLow = 188, kWordFirstHigh = 190, kWordLastLow = 192, kWordLastHigh = 194;
constexpr int kRegDrawStatus = 820, kDrawMask = 0xF00, kDrawIdle = 0x500;
constexpr int kReadyPolls = 15000;
constexpr int64_t kPollUs = 1000;

constexpr int kFramesPerGap = 90;  // every frame while the video lasts under this many rate units x 2
constexpr int kProgressSteps = 40;
// A composed screen takes 10 to 20 KB in the AVI (20 KB with traces, grid
// and menu across it), and as much again in the MP4 made from it while the
// AVI is still there.
constexpr int64_t kBytesPerFrame = 20480;
constexpr int kCopiesOnDisk = 2;
constexpr int64_t kSpareBytes = 1048576;
constexpr uint8_t kAbortKey = 0x33;
constexpr size_t kNameMax = 63;
constexpr int kBarRow = 360, kBarCol = 215, kBarWidth = 364, kBarHeight = 18;
constexpr int kBarStart = 1, kBarStep = 2;

constexpr int kMsgFinished = 10, kMsgFailed = 11, kMsgNoDisk = 23, kMsgNoSpace = 117;
constexpr char kFfmpeg[] = "/usr/local/ffmpeg/bin/ffmpeg";
constexpr char kDisk[] = "/udisk/";

// A name that stays a plain file in the disk's top folder and needs no quoting:
// letters, digits, '_', '-' and '.', not starting with '.'.
bool NameIsSound(const char* name) {
  if (!name || !*name || name[0] == '.' || std::strlen(name) > kNameMax) return false;
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return false;
  }
  return true;
}

bool DiskPresent() { return SysRunStatus.GetUsbInsertStatus() != 0 && plat::UsbDiskPresent(); }

void ShowRange(uint32_t first, uint32_t last) {
  QelControl.SendRealControl(kWordFrameShow, 1);
  QelControl.SendRealControl(kWordFirstLow, int(first & 0xFFFF));
  QelControl.SendRealControl(kWordFirstHigh, int(first >> 16));
  QelControl.SendRealControl(kWordLastLow, int(last & 0xFFFF));
  QelControl.SendRealControl(kWordLastHigh, int(last >> 16));
  QelControl.SendRealControl(kWordFrameShow, 0);
}

bool WaitFrameDrawn() {
  for (int i = 0; i < kReadyPolls; ++i) {
    const int status = QelControl.ReadAnyReg(kRegDrawStatus);
    if (status >= 0 && (status & kDrawMask) == kDrawIdle) return true;
    plat::SleepUs(kPollUs);
  }
  return false;
}

// The composed screen (0x00RRGGBB words) as the video's blue, green, red bytes.
void ToPicture(const uint32_t* page, cv::Mat* picture) {
  for (int r = 0; r < Draw::kHeight; ++r) {
    uint8_t* out = picture->ptr<uint8_t>(r);
    const uint32_t* in = page + size_t(r) * Draw::kWidth;
    for (int c = 0; c < Draw::kWidth; ++c) {
      out[3 * c] = uint8_t(in[c]);
      out[3 * c + 1] = uint8_t(in[c] >> 8);
      out[3 * c + 2] = uint8_t(in[c] >> 16);
    }
  }
}

// Shows frame `frame` again, reads its raster and composes the screen off the LCD.
bool ComposeFrame(uint32_t frame, uint32_t end, cv::Mat* picture) {
  ShowRange(frame, end);
  recData.currentFrame = frame + 1;
  if (!WaitFrameDrawn()) {
    std::printf("DXP_STATUS Timeout\n");
    return false;
  }
  QelControl.SendRealControl(kWordRasterRead, 1);
  std::memset(QelWaveData, 0, sizeof QelWaveData);
  QelControl.ReadQel(QelWaveData);
  QelControl.SendRealControl(kWordRasterRead, 0);
  SysRunStatus.SetDrawRefresh();
  QelDraw.SetMainDisplayType(1);
  QelDraw.MainDisplay();
  ToPicture(QelDraw.GetDrawAddr(DRAW_CURRENT), picture);
  QelDraw.SetMainDisplayType(0);
  SysRunStatus.SetDrawRefresh();
  return true;
}

void Sync() {
  plat::ShellSystem("sync");
  plat::ShellSystem("sync");
}

// Everything the conversion set, put back whatever the outcome.
void Restore() {
  recData.currentFrame = 1;
  ShowRange(0, 0);
  QelDraw.SetMainDisplayType(0);
  SysRunStatus.Record2VideoDisable();
  SysRunStatus.SetDrawRefresh();
  recData.mode = kPlayNone;
}

std::string DiskFile(const std::string& name, const char* extension) { return kDisk + name + extension; }

// The conversion under way, kept in the internal memory so that a start-up
// after a kill knows which files on the disk are its intermediates: the name
// and the step reached.
constexpr char kConversionNote[] = "Data/VideoConversion";
constexpr char kStepWriting[] = "writing";        // the AVI is being written
constexpr char kStepConverting[] = "converting";  // ffmpeg writes the MP4 from the AVI
constexpr char kStepConverted[] = "converted";    // the MP4 is whole, the AVI still there
// An earlier MP4 of the name, while ffmpeg writes the new one.
constexpr char kKeptSuffix[] = ".old";

void NoteStep(const std::string& name, const char* step) {
  // Replaced whole: a kill while it is written leaves the previous step's note.
  const std::string note = name + "\n" + step + "\n";
  plat::DiskWriteWhole(plat::MapPath(kConversionNote), note.data(), note.size());
}

void NoteDone() { std::remove(plat::MapPath(kConversionNote).c_str()); }

void RemoveDiskFile(const std::string& name, const char* extension) {
  const std::string path = DiskFile(name, extension);
  if (std::remove(plat::MapPath(path).c_str()) == 0)
    std::printf("Removed %s left by a conversion cut short\n", path.c_str());
}
}  // namespace

void RecordToVideoLeftovers() {
  FILE* f = std::fopen(plat::MapPath(kConversionNote).c_str(), "r");
  if (!f) return;
  char name[kNameMax + 2] = {}, step[16] = {};
  const bool read = std::fscanf(f, "%64s %15s", name, step) == 2;
  std::fclose(f);
  if (read && NameIsSound(name)) {
    if (!DiskPresent()) return;  // looked at again at the next start-up with the disk in
    // Killed while the AVI was written, or once the MP4 was whole: the AVI is
    // an intermediate. Killed while ffmpeg ran: the MP4 is torn and the AVI is
    // the whole recording, kept as after a failed conversion.
    const std::string mp4 = plat::MapPath(DiskFile(name, ".mp4")), kept = mp4 + kKeptSuffix;
    const bool whole = std::strcmp(step, kStepConverted) == 0;
    if (std::strcmp(step, kStepConverting) == 0)
      RemoveDiskFile(name, ".mp4");
    else
      RemoveDiskFile(name, ".avi");
    // An earlier MP4 kept aside goes once the new one is whole, else comes back.
    if (whole)
      std::remove(kept.c_str());
    else
      std::rename(kept.c_str(), mp4.c_str());
    Sync();
  }
  NoteDone();
}

int RecordToVideo(const char* name, int rate, int, int first, int last) {
  const int total = last - first + 1;
  int fps = total < rate ? 1 : rate;
  if (!name || total <= 0 || fps <= 0 || first < 1 || !NameIsSound(name)) {
    QelMsg.SetMessage(kMsgFailed);
    return -1;
  }
  int gap = (total / fps) / kFramesPerGap;
  if (gap < 1) gap = 1;
  const int frames = total / gap;
  const int advanceEvery = frames / kProgressSteps > 0 ? frames / kProgressSteps : 1;
  std::printf("recEndPlayFrame = %d \n", last);

  if (!DiskPresent()) {
    QelMsg.SetMessage(kMsgNoDisk);
    return -1;
  }
  const int64_t needed = int64_t(frames + 1) * kBytesPerFrame * kCopiesOnDisk;
  const int64_t free = plat::UsbDiskFreeBytes();
  if (free < 0 || needed >= free - kSpareBytes) {
    QelMsg.SetMessage(kMsgNoSpace);
    return -1;
  }

  std::printf("RecTotal = %d \n", total);
  std::printf("fps = %d \n", fps);
  const std::string avi = DiskFile(name, ".avi"), mp4 = DiskFile(name, ".mp4");
  std::printf("Name = %s \n", avi.c_str());
  NoteStep(name, kStepWriting);
  cv::VideoWriter writer;
  try {
    writer.open(plat::MapPath(avi), cv::VideoWriter::fourcc('D', 'I', 'V', 'X'), double(fps),
                cv::Size(Draw::kWidth, Draw::kHeight), true);
  } catch (const cv::Exception&) {
  }
  if (!writer.isOpened()) {
    std::printf("****###***Error : fail to open video writer\n");
    NoteDone();
    return -1;
  }

  recData.mode = kPlayVideo;
  SysRunStatus.Record2VideoEnable();
  QelDraw.DrawWorkProcess(kBarRow, kBarCol, kBarStart, 0);
  std::printf("frameIndex = %d  RecTotal = %d Gap = %d \n", first - 1, total, gap);
  const int64_t start = plat::MonoUs();

  cv::Mat picture(Draw::kHeight, Draw::kWidth, CV_8UC3);
  int written = 0;
  bool failed = false;
  for (int i = first - 1; i < last; i += gap) {
    if (!DiskPresent()) {
      failed = true;
      break;
    }
    uint8_t key = 0;
    int item = -1;
    if (KeyBoard.GetKey(&key, &item) > 0 && key == kAbortKey) break;
    std::printf("Video frameIndex = %d Gap = %d \n", i, gap);
    int end = gap == 1 ? i : i + gap;
    if (end >= last) end = last - 1;
    if (!ComposeFrame(uint32_t(i), uint32_t(end), &picture)) {
      failed = true;
      break;
    }
    writer.write(picture);
    ++written;
    QelDraw.DrawWorkProcess(kBarRow, kBarCol, kBarStep, written % advanceEvery == 0 ? 1 : 0);
  }
  writer.release();
  // The writer does not report a full disk: a cut AVI is a failed one.
  if (!failed && !plat::DiskKeptWhole(plat::MapPath(avi))) failed = true;
  if (failed) {
    // Nothing half-written stays behind looking like a finished recording.
    if (DiskPresent()) plat::ShellSystem(("rm -f " + plat::ShellQuote(avi)).c_str());
    NoteDone();
    Restore();
    QelMsg.SetMessage(kMsgFailed);
    return -1;
  }
  std::printf("Sec = %d \n", int((plat::MonoUs() - start) / 1000000));
  Sync();
  QelDraw.DrawWorkProcess(kBarRow, kBarCol, kBarStep, kProgressSteps);
  QelDraw.UpdateAreaLcd(kBarRow, kBarCol, kBarWidth, kBarHeight);

  const std::string cmd = std::string(kFfmpeg) + " -i " + plat::ShellQuote(avi) +
                          " -c:v copy -c:a copy -y " + plat::ShellQuote(mp4);
  std::printf("Cmd: %s \n", cmd.c_str());
  // An MP4 of the same name is kept aside while ffmpeg writes over the name,
  // and comes back whole when the conversion fails.
  const std::string hostMp4 = plat::MapPath(mp4), hostKept = hostMp4 + kKeptSuffix;
  const bool hadOld = std::rename(hostMp4.c_str(), hostKept.c_str()) == 0;
  NoteStep(name, kStepConverting);
  const bool converted = written > 0 && plat::ShellSystem(cmd.c_str()) == 0;
  if (converted) {
    NoteStep(name, kStepConverted);
    if (hadOld) std::remove(hostKept.c_str());
    plat::ShellSystem(("rm " + plat::ShellQuote(avi)).c_str());
  } else {
    std::remove(hostMp4.c_str());  // torn, or never made
    if (hadOld) std::rename(hostKept.c_str(), hostMp4.c_str());
  }
  NoteDone();
  std::printf("Sec = %d \n", int((plat::MonoUs() - start) / 1000000));
  Sync();
  Restore();
  QelMsg.SetMessage(converted ? kMsgFinished : kMsgFailed);
  return converted ? 0 : 1;
}
