// The storage module's Rec Video pages: the recorded frames to turn into a
// video (frames a second, first and last frame, length), its name and the
// Save that hands them to the utility module's conversion; and the same
// conversion asked for over SCPI.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/common/common_subprogram.h"
#include "core/state/ids.h"
#include "core/menu/menu_def.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "system/storage/task_storage.h"
#include "system/storage/task_storage_internal.h"
#include "system/utility/task_utility.h"
#include "ui/screen/qel_draw.h"

using namespace storage_module;

namespace {
constexpr int kFewFrames = 100;  // below this many frames the knob steps by one
constexpr int kTimeStepMax = 5;
constexpr int kKnobItems[] = {kStoFrameS, kStoStartFrame, kStoEndFrame};
constexpr size_t kVideoNameMax = 48;

numkeyboard Pad{};

// The video asked for over SCPI (written by the SCPI worker before it posts
// key 243, read on the main loop).
struct VideoMsg {
  char name[kVideoNameMax];
  int start, end, fps;
};
VideoMsg Videomsg{};
std::mutex videoLock;

int Recorded() { return std::max(Run().GetRecordTotal(), 1); }
bool HasFrames() { return (Run().GetFuncBits() & kFuncRecorded) != 0; }
int Start() { return Item(kStoStartFrame); }
int End() { return Item(kStoEndFrame); }

void SetStart(int64_t v) {
  const int64_t hi = std::max(End() - 1, 1);
  M().SetMenuItem(kStoStartFrame, uint64_t(std::clamp<int64_t>(v, 1, hi)));
}

// Stepping the end to the first frame or below keeps the smallest range.
void SetEnd(int64_t v) {
  const int64_t hi = Recorded();
  if (v <= 1) {
    M().SetMenuItem(kStoStartFrame, 1);
    M().SetMenuItem(kStoEndFrame, uint64_t(std::min<int64_t>(2, hi)));
    return;
  }
  M().SetMenuItem(kStoEndFrame,
                  uint64_t(std::clamp<int64_t>(v, std::min<int64_t>(Start() + 1, hi), hi)));
}

bool HasKnob(int item) { return (M().GetItemAttribute(item) & MENU_ATTR_FOCUS_FIRST) != 0; }

void TakeKnob(int item) {
  for (int n : kKnobItems) {
    const uint32_t a = uint32_t(M().GetItemAttribute(n));
    M().SetItemAttribute(n,
                         n == item ? a | MENU_ATTR_FOCUS_FIRST : a & ~uint32_t(MENU_ATTR_FOCUS_FIRST));
  }
}

void ClosePad() {
  if (!Storage.numKeyboard) return;
  Storage.numKeyboard = 0;
  if (Storage.displayType == kShowNothing) Manager().DelUserTaskDisplay(kStorageTaskId);
}

void OpenPad(int item) {
  CommonSubProg.NumKeyboardInit(&Pad, kStorageTaskId, item);
  Storage.numKeyboard = 1;
  Show();
}

// A key on the open pad; its answer, once it has one, sets the frame.
void PadKey(keypara k, void (*set)(int64_t), int64_t lo, int64_t hi) {
  Pad.key = k.key;
  Pad.step = k.step;
  Pad.useStep = k.useStep;
  const int result = CommonSubProg.NumKeyboardOp(&Pad);
  int64_t value;
  if (result == kNumMax)
    value = hi;
  else if (result == kNumMin || result == kNumDefault)
    value = lo;
  else if (result >= kNumMilli && result <= kNumEnter)
    value = Pad.value >= double(hi) ? hi : Pad.value <= 0 ? 0 : int64_t(Pad.value);
  else
    return;
  ClosePad();
  set(value);
}

// StartFrame and EndFrame: the own soft key takes the knob, or opens and
// closes the number pad once it has it; the knob steps the frame.
int FrameKey(int item, keypara k, void (*set)(int64_t), int current) {
  const bool start = item == kStoStartFrame;
  if (k.key == KEY_NO_KEY) {
    set(current);
  } else if (k.key == Menu::MenuItemToFx(item)) {
    if (!HasKnob(item)) {
      ClosePad();
      TakeKnob(item);
    } else if (Storage.numKeyboard) {
      ClosePad();
    } else {
      OpenPad(item);
    }
  } else if (Storage.numKeyboard) {
    PadKey(k, set, start ? 1 : Start() + 1, start ? End() - 1 : Recorded());
  } else if (k.key == kKeySelectRight || k.key == kKeySelectLeft) {
    const int64_t step = Recorded() < kFewFrames ? 1 : std::max<int64_t>(k.useStep ? k.step : 1, 1);
    set(current + (k.key == kKeySelectRight ? step : -step));
  }
  Run().SetDrawRefresh();
  return 0;
}

void VideoTimeText(int seconds) {
  constexpr int kChars = 16;
  static uint16_t wide[kChars];
  char text[kChars];
  std::snprintf(text, sizeof text, "%d s", seconds);
  Menu::MenuAsciiToUnicode(text, wide, kChars);
  M().ReSetMenuString(&TaskStorageMenu, kStoVideoTime, wide);
}

// The utility module converts frames first..last of the recorder.
int Convert(const char* name, int fps, int seconds, int first, int last) {
  taskresponse request{}, reply{};
  request.request = kUtiAssistInfo;
  request.words[0] = kUtiInfoVideo;
  request.words[1] = uint16_t(fps);
  request.words[2] = uint16_t(seconds);
  request.words[3] = uint16_t(first);
  request.words[4] = uint16_t(last);
  std::memcpy(request.area, &name, sizeof name);
  return Manager().RequestTaskAssist(kTaskUtility, &request, &reply);
}
}  // namespace

void StorageRecVideoRefresh() {
  const bool frames = HasFrames();
  for (int n : kTypeItems) M().SetItemParaAttribute(n, frames ? 0 : kHideRecVideo);
  if (!frames) {
    Storage.recSaveFlag = 0;
    return;
  }
  const int count = Recorded();
  if (!Storage.recSaveFlag || count < End()) {
    M().SetMenuItem(kStoStartFrame, 1);
    M().SetMenuItem(kStoEndFrame, uint64_t(count));
  }
  Storage.recSaveFlag = 1;
  // The video cannot outlast its frames at one a second.
  Storage.minVideoTime = 1;
  Storage.maxVideoTime = count;
  if (count <= Item(kStoVideoTime)) M().SetMenuItem(kStoVideoTime, uint64_t(count));
  Storage_VideoTime(kNoKey);
}

int Storage_RecVideo_FrameS(keypara k) {
  if (k.key == Menu::MenuItemToFx(kStoFrameS)) {
    ClosePad();
    TakeKnob(kStoFrameS);
  } else if (k.key == kKeySelectRight || k.key == kKeySelectLeft) {
    const int span = kVideoFpsMax - kVideoFpsMin + 1;
    const int fps = Item(kStoFrameS) + (k.key == kKeySelectRight ? 1 : -1);
    M().SetMenuItem(kStoFrameS, uint64_t((fps - kVideoFpsMin + span) % span + kVideoFpsMin));
  }
  Run().SetDrawRefresh();
  return 0;
}

int Storage_RecVideo_StartFrame(keypara k) { return FrameKey(kStoStartFrame, k, SetStart, Start()); }
int Storage_RecVideo_EndFrame(keypara k) { return FrameKey(kStoEndFrame, k, SetEnd, End()); }

int Storage_RecVideo_Next(keypara) {
  ClosePad();
  M().SetCurrPage(kPageVideo2);
  return 0;
}

int Storage_RecVideo_Back(keypara) {
  M().SetCurrPage(kPageVideo);
  return 0;
}

int Storage_RecVideo_Cancel(keypara) { return 0; }

int Storage_RecVideo_Save(keypara) {
  return Convert(Storage.videoName, Item(kStoFrameS), Item(kStoVideoTime), Start(), End());
}

int Storage_VideoTime(keypara k) {
  int seconds = Item(kStoVideoTime);
  if (k.key == kKeySelectRight || k.key == kKeySelectLeft) {
    const int step = std::clamp<int>(k.useStep ? k.step : 1, 1, kTimeStepMax);
    seconds += k.key == kKeySelectRight ? step : -step;
  }
  seconds =
      std::clamp(seconds, Storage.minVideoTime, std::max(Storage.minVideoTime, Storage.maxVideoTime));
  M().SetMenuItem(kStoVideoTime, uint64_t(seconds));
  VideoTimeText(seconds);
  Run().SetDrawRefresh();
  return 0;
}

void StorageNumPadDraw() {
  if (Storage.numKeyboard) QelDraw.DrawNumKeyboard(&Pad);
}

void SetVideoMessage(const char* name, int start, int end, int fps) {
  std::lock_guard<std::mutex> lock(videoLock);
  std::snprintf(Videomsg.name, sizeof Videomsg.name, "%s", name ? name : "");
  Videomsg.start = start;
  Videomsg.end = end;
  Videomsg.fps = fps;
}

int StorageVideoFromScpi() {
  VideoMsg v;
  {
    std::lock_guard<std::mutex> lock(videoLock);
    v = Videomsg;
  }
  const int seconds = v.fps > 0 ? (v.end - v.start + 1) / v.fps : 0;
  return Convert(v.name, v.fps, seconds, v.start, v.end);
}
