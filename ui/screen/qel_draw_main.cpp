// One frame of the screen: the static page on a redraw request, then the
// composed page (static page, wave area, overlays, message, menu), then the LCD.
#include "core/input/mouse.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int64_t kWaveFrameUs = 500000;  // a wave frame at least every half second
constexpr int kMousePointerGlyph = 0;
constexpr int kMousePointerColour = 0xC8C8AF;
}  // namespace

void qel_draw::DrawParaRefresh() {
  _SysRunInfo* info = SysRunStatus.GetSysRunInfoBaseAddr();
  para_.chStatus = int16_t(SysRunStatus.GetChStatus());
  para_.timeBaseType = int16_t(SysRunStatus.GetTimeBaseType());
  para_.displayFormat = int16_t(SysRunStatus.GetDiplayFormat());
  para_.graticule = int16_t(SysRunStatus.GetDiplayGraticule());
  para_.alternateTrig = info->alternateTrig;
  para_.independent = int16_t(SysRunStatus.IsIndependTimeBase());
  para_.split = int16_t(SysRunStatus.GetIndependTimeBaseSplit());
  para_.cursorOn = int16_t(SysRunStatus.IsCursorEnable());
  para_.mathType = int16_t(SysRunStatus.GetMathType());
  para_.fftMode = para_.mathType == 1 && MathOn() ? int16_t(info->fft.screen) : 0;
  para_.fftColumns = int16_t(info->fft.columns);
  para_.fftLayout = para_.fftMode == 2;
  para_.temperatureShown = int16_t(SysRunStatus.IsTemperatureOnOff());
  para_.transparent = int16_t(SysRunStatus.GetTransparent());
  para_.recordToVideo = int16_t(SysRunStatus.GetRecord2VideoStatus());
  para_.factoryMode = int16_t(SysRunStatus.GetFactoryMode());
}

bool qel_draw::MenuOnScreen() const { return SysRunStatus.IsMenuStatus() && !para_.recordToVideo; }

int qel_draw::MainDisplay() {
  if (halted_) return 0;
  plat::WallTime(&frameSec_, &frameUsec_);
  const bool refresh = SysRunStatus.IsDrawRefresh();
  if (refresh || SysRunStatus.GetTimeBaseAdjFlag() == 1) FullRedraw();

  // Without a redraw request or new data a frame waits for its half second,
  // measured on the whole monotonic time since the last composed frame.
  const int64_t now = plat::MonoUs();
  if (!refresh && !waveAreaRefresh_ && framed_ && now - lastFrameUs_ < kWaveFrameUs) return 0;
  lastFrameUs_ = now;
  framed_ = true;

  Compose();
  if (halted_) return 1;
  waveAreaRefresh_ = 0;
  if (displayType_ != 1) UpdateLcd();
  return 1;
}

int64_t qel_draw::NextIdleFrameUs() const {
  return framed_ && !halted_ ? lastFrameUs_ + kWaveFrameUs : 0;
}

void qel_draw::FullRedraw() {
  // Cleared first, so that a request made while the page is drawn is kept.
  SysRunStatus.ClearDrawRefresh();
  DrawParaRefresh();
  ClearDisplayMemory(DRAW_STATIC);
  DrawPictrue(ElementPos[0].row, ElementPos[0].column, 0, DRAW_STATIC);
  DrawPictrue(ElementPos[2].row, ElementPos[2].column, 2, DRAW_STATIC);
  statusText_[0] = 0;

  if (para_.timeBaseType)
    DrawGridFrameZoom();
  else if (para_.displayFormat == 0)
    DrawGridFrameYT(1);
  else
    DrawGridFrameXY(para_.displayFormat);

  if (SysRunStatus.GetUsbInsertStatus()) DrawPictrue(450, 676, 115, DRAW_STATIC);
  if (SysRunStatus.GetNetInsertStatus()) DrawPictrue(450, 699, 116, DRAW_STATIC);
  DisplayTime();

  static const int kActiveMark[6] = {4, 5, 6, 7, 0, 8};
  const int active = SysRunStatus.GetActivCh();
  if (active >= 0 && active < 6) {
    const ElementPosRow& at = ElementPos[kActiveMark[active]];
    DrawPictrue(at.row, at.column, kActiveMark[active], DRAW_STATIC);
  }

  ArrowProcess();
  DisplayTimeBase();
  DisplayPreTrig();
  DisplayTrigger();
  DisplayChInfo();
  DisplayWaveIndicator();

  currentTask_ = TaskManage.GetTaskCurrId();
  task* current = TaskManage.FindTaskbyId(currentTask_);
  menu_ = current ? &current->TaskMenu : nullptr;
  DrawQelMenu(currentTask_, menu_);
}

void qel_draw::Compose() {
  menuThisFrame_ = MenuOnScreen();
  frameMark_ = para_.timeBaseType == 1 ? ZoomMarkNow() : ZoomMark{};
  PlanRaster();
  gridPlan_ = PlanGrid();
  StaticPageToNormalPage();  // the wave area's rows with it: no second copy of them

  DrawWaveArea();
  KeepFrameRaster();
  if (MathOn()) DisplayChArrow();
  DrawGrid();

  DisplayTriggerCursor();
  DrawAcqStatus();
  DisplayYOffset();
  if (SysRunStatus.IsCymometerEnable() && !para_.recordToVideo && para_.fftMode != 2) DrawFreqResult();

  TaskManage.RunTaskDisplay();

  if (frameMark_.left >= 0) DrawZoomIndicator();
  if (para_.temperatureShown) DrawTemperature();

  // A message is shown for 5 s, then cleared without being drawn again.
  if (QelMsg.GetMessageID() >= 0 && !QelMsg.ExpireMessage()) {
    msginfo info;
    if (QelMsg.GetMessage(&info) >= 0) {
      DrawMessage(&info);
      if (halted_) return;
    }
  }

  DrawTopMenuTitle(currentTask_, short(SysRunStatus.IsMenuStatus()), menu_);
  if (menuThisFrame_) {
    if (SysRunStatus.IsMenuTimeOver()) {
      SysRunStatus.MenuOnOff();
      // A list does not outlive the menu it belongs to: hidden, it would
      // still take the knob and the push.
      if (Menu* m = menu_) m->MenuPopDisable();
    }
    CopyMenuBuffToTFTBuff();
    DrawQelMenuPop(currentTask_, menu_);
  }

  if (MouseOp.MosueDevStatus() == 1) {
    int row = 0, column = 0;
    MouseOp.GetMousePos(&row, &column);
    DrawIco(row, column, kMousePointerGlyph, kMousePointerColour, DRAW_CURRENT);
  }

  // Read each frame: the mode is restored while the modules register, after
  // the first page was drawn.
  para_.factoryMode = int16_t(SysRunStatus.GetFactoryMode());
  if (para_.factoryMode) {
    if (Font* f = GetUserFontPointer()) f->SetCurrFont(2);
    DrawString(430, 578, para_.factoryMode == 1 ? "Single Board" : "Produ Line", 0x01F801, DRAW_CURRENT);
  }
}
