#include "app/hooks.h"

#include <thread>

#include "acquisition/system_module/task_system.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "app/request_response.h"
#include "core/common/common_subprogram.h"
#include "core/board/control.h"
#include "core/menu/draw_hooks.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "core/board/temperature.h"
#include "core/common/unit_convert.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_sys_calls.h"
#include "system/calibration/adc_phase.h"
#include "system/autoset/auto_set.h"
#include "system/system_scpi/task_system_scpi.h"
#include "ui/display/task_display.h"
#include "ui/screen/qel_draw.h"

namespace {
// The correction goes to the vertical model; the positions are re-applied on
// the main thread through the system module's knob operation 145.
void SetCorrection(int ch, int correction) { Vertical.ChTemperaturePixelAdj(ch, correction); }
void QueueReapply(int ch) { TaskSystem.AppendOpCmd(kSysOpTemperature, int16_t(ch), 0, 0); }
const TemperatureHooks kTemperatureHooks = {SetCorrection, QueueReapply};

void RegisterScpiTable(int id, instr* table) { Scpi.RegisterInstr(id, table); }

void NumKeyboard(const numkeyboard* pad) { QelDraw.DrawNumKeyboard(pad); }
void SoftKeyboard(short cursor, short lowerCase, const char* name) {
  QelDraw.DrawSoftKeyboard(cursor, lowerCase, name);
}
void ClearKeyboardShowFlags() {
  QelDraw.ClearNumKeyboardShowFlag();
  QelDraw.ClearSoftKeyboardShowFlag();
}
void ClearPicture() { QelDraw.ClearQelPicture(); }
// The thread that composes the screen: the main loop's, which is the one
// that builds the process-wide objects before main().
const std::thread::id kDrawingThread = std::this_thread::get_id();

// The status is drawn at once on the main loop; another thread (the SCPI
// worker's RUN and STOP) asks the main loop to redraw instead of drawing
// beside it.
void ShowAcqStatus() {
  if (std::this_thread::get_id() != kDrawingThread) {
    SysRunStatus.SetDrawRefresh();
    return;
  }
  QelDraw.DrawAcqStatus();
  QelDraw.UpdateLcd();
}
void ClearDisplayWave() { QelDraw.ClearDisplayWave(); }
const uint32_t* ShownPage() { return QelDraw.GetDrawAddr(DRAW_SHOWN); }
void DrawString(int row, int col, const char* text, int colour) {
  QelDraw.DrawString(row, col, text, colour, DRAW_CURRENT);
}
void ShowMessage(const msginfo* info) {
  QelDraw.DrawMessage(info);
  QelDraw.UpdateLcd();
}
void DrawPicture(int row, int col, int picture) { QelDraw.DrawPictrue(row, col, picture, DRAW_CURRENT); }
void WaveBright(int percent) {
  TaskDisplay.TaskMenu.SetMenuItem(kDispWaveBright, uint64_t(percent));
  Display_WaveBright(keypara{KEY_NO_KEY, 0, 0});
}
const DrawHooks kDrawHooks = {NumKeyboard,      SoftKeyboard, ClearKeyboardShowFlags, ClearPicture, ShowAcqStatus,
                              ClearDisplayWave, ShownPage,    DrawString,             ShowMessage,  DrawPicture,
                              WaveBright};

int AutoSet(TaskResource* resource, Menu* menu, bool independTest) {
  // One auto-set object for the instrument, bound to the system module.
  static SysAutoSet autoSet(resource, menu);
  return independTest ? autoSet.IndependAutoTest() : autoSet.RunAutoset();
}
const SysServiceHooks kSysServiceHooks = {AutoSet, ChannelGainCali50mv, TaskSystemAdjAdcPhase, AdcStartPhaseDetection};
const ScpiSysCalls kScpiSysCalls = {Scpi_TaskSys_OPCAsk, Scpi_TaskSys_Setup};
}  // namespace

void InstallAppHooks() {
  SystemResource = {&SysRequest,   &Vertical, &TimeBase,   &Trigger,    &SysRunStatus,
                    &UnitConvert,  &WaveOp,   &QelControl, &I2cStorage, &QelDraw,
                    &QelMsg,       &Scpi,     &KeyBoard,   &CommonSubProg};
  SysRequest.SetRequestResponder(&SysResponse);
  InstallTemperatureHooks(&kTemperatureHooks);
  SetScpiTableHook(RegisterScpiTable);
  SetDrawHooks(&kDrawHooks);
  SetScpiSysCalls(&kScpiSysCalls);
  SetSysServiceHooks(&kSysServiceHooks);
  InstallWebHooks();
}

namespace {
// Every program that links the composition root is wired before main() runs,
// so the models and dispatchers work on the process-wide objects from the
// start (only addresses are taken and atomics stored: no other static object
// is read).
const bool kWired = (InstallAppHooks(), true);
}  // namespace
