// The mouse threads: the reader posts button and wheel events on a message
// queue, the consumer turns a left press on a click area into a panel key.
#include <cstdio>

#include "core/input/mouse.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/ipc.h"
#include "platform/thread.h"

namespace {
// The queue both threads open (the board keys it with ftok("Data/Input", 77)).
constexpr int kMouseQueueKey = 0x4D530077;
constexpr int64_t kPollUs = 10000;  // a mouse's records are read this often
constexpr int64_t kNoMouseUs = 500000;  // without one, only the scan for one is due
constexpr int64_t kFailedOpenUs = 1000000;
constexpr int kScanSeconds = 1;
constexpr int kKeyCh1 = 64;

constexpr AreaResponse kAreas[] = {
    {450, 4, 171, 30, kKeyCh1},  // the channel-1 status box
    {-1, 0, 0, 0, 0},
};
}  // namespace

int DecodeOp(int row, int column) {
  for (const AreaResponse* a = kAreas; a->row != -1; ++a) {
    if (row < a->row || row > a->row + a->height) continue;
    if (column < a->column || column > a->column + a->width) continue;
    return KeyBoard.AppendScpiKey(a->key, 0);  // takes mymutex itself
  }
  return -1;
}

void TaskMouseInputResponse(const MouseMsg& msg) {
  switch (msg.keyValue) {
    case MOUSE_LEFT:
      std::printf("MOUSE_LEFT\n");
      // Only the press acts: its release, or a later message, tests nothing.
      if (msg.pressFlag) DecodeOp(msg.pressRow, msg.pressColumn);
      break;
    case MOUSE_RIGHT: std::printf("MOUSE_RIGHT\n"); break;
    case MOUSE_UP_ROOL: std::printf("MOUSE_UP_ROOL\n"); break;
    case MOUSE_DOWN_ROOL: std::printf("MOUSE_DOWN_ROOL\n"); break;
    default: break;
  }
}

void* MouseApp(void*) {
  int qid = plat::MsgGet(kMouseQueueKey);
  if (qid < 0) {
    std::printf("MouseApp MouseMsgKeyId Error!\n");
    return nullptr;
  }
  std::printf("MouseMsgKey: %d\n", kMouseQueueKey);
  int32_t lastScan = 0, usec = 0;
  bool scanned = false;
  while (!plat::StopRequested()) {
    int32_t now = 0;
    plat::WallTime(&now, &usec);
    if (!scanned || now - lastScan > kScanSeconds || now < lastScan) {
      scanned = true;
      lastScan = now;
      int before = MouseOp.MosueDevStatus();
      MouseOp.ScanMouse();
      if (MouseOp.MosueDevStatus() != before) SysRunStatus.SetDrawRefresh();
      if (MouseOp.MosueDevStatus() == 2 && !plat::SleepOrStop(kFailedOpenUs)) break;
    }
    if (MouseOp.MosueDevStatus() == 1) {
      int row = 0, column = 0;
      MouseOp.GetMousePos(&row, &column);
      int r = MouseOp.GetMouseMsg();
      int newRow = 0, newColumn = 0;
      MouseOp.GetMousePos(&newRow, &newColumn);
      if (newRow != row || newColumn != column) SysRunStatus.SetDrawRefresh();
      MouseMsg msg;
      while (r > 0 && MouseOp.TakeMouseMsg(&msg)) {
        if (!plat::MsgSend(qid, kMouseMsgType, &msg, sizeof msg))
          std::printf("Send mouse message faile ! n");
      }
    }
    if (!plat::SleepOrStop(MouseOp.MosueDevStatus() == 1 ? kPollUs : kNoMouseUs)) break;
  }
  return nullptr;
}

void* ResponseForMouse(void*) {
  int qid = plat::MsgGet(kMouseQueueKey);
  if (qid < 0) {
    std::printf("Mouse RcvMouseMsgKeyId Error!\n");
    return nullptr;
  }
  std::printf("RcvMouseMsgKey: %d\n", kMouseQueueKey);
  MouseMsg msg;
  while (!plat::StopRequested()) {
    long n = plat::MsgRecv(qid, kMouseMsgType, &msg, sizeof msg, -1);
    if (n == long(sizeof msg)) TaskMouseInputResponse(msg);
  }
  return nullptr;
}
