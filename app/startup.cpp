// Start-up of the instrument, in the order the board needs it.
#include "app/startup.h"
#include "app/served_ports.h"

#include "app/hooks.h"

#include <cstdio>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "analysis/fft/fft_thread.h"
#include "app/register_table.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/board/temperature.h"
#include "core/input/mouse.h"
#include "core/input/rs232.h"
#include "core/menu/menu.h"
#include "core/messages/msg.h"
#include "core/messages/mymutex.h"
#include "core/messages/semaphore.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/devices/devices.h"
#include "platform/shell.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_thread.h"
#include "remote/vxi11/vxi11.h"
#include "system/calibration/adc_phase.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr int kProbeTries = 11;
constexpr int kProbeValue = 0xA5;
constexpr int kDefaultWindowRounds = 501;
constexpr int kStartPhase = 4;        // ADC phase code until a search found one
constexpr int kFoundPhaseState = 4;   // the phase information's state words of a found pair

void Start(const char* name, plat::ThreadBody body, const char* error) {
  int rc = plat::StartThread(name, body, nullptr);
  if (rc != 0) std::printf("%s%d\n", error, rc);
}

void ProbeFpga() {
  for (int i = 0; i < kProbeTries; ++i) {
    QelControl.SendRealControl(fpga::kProbe, kProbeValue);
    int v = QelControl.ReadAnyReg(fpga::kProbeEcho);
    std::printf("FpgaTest = 0x%x \n", v);
    if (v == kProbeValue) return;
    if (i + 1 < kProbeTries) plat::SleepMs(500);
  }
  QelControl.ReFpgeConfig(0);
  Bee();
}

// Marker missing: reset, and the internal stored setups and waveforms go.
// A failed read is not an unformatted EEPROM: nothing is deleted then.
bool MarkerMissing() {
  uint8_t mark = 0;
  if (!I2cStorage.I2C_TryReadU8(EE_FORMAT_MARK, &mark)) {
    std::printf("EEPROM marker unreadable: settings kept\n");
    return false;
  }
  return mark != kEepromFormatMark;
}

bool DefaultKeyHeld() {
  for (int i = 0; i < kDefaultWindowRounds; ++i) {
    uint8_t buf[16];
    int item;
    if (KeyBoard.GetKey(buf, &item) > 0 && buf[0] == kKeyDefault) {
      Bee();
      return true;
    }
    plat::SleepMs(2);
  }
  return false;
}

// The module and page to start on, read before registration: a module's
// Initialize may set its own menu page, which writes the page byte.
void SavedTask(int* id, int* page) {
  *id = I2cStorage.I2C_ReadU16(EE_TASK_ID);
  *page = I2cStorage.I2C_ReadU8(EE_TASK_PAGE);
}

// After registration: anything that is not a registered function module (a
// blank EEPROM reads -1) starts on CH1, page 0.
void CheckSavedTask(bool reset, int* id, int* page) {
  if (reset || *id < 6 || *id > 20 || !TaskManage.FindTaskbyId(*id)) {
    *id = 6;
    *page = 0;
  }
}

void RegisterModules(bool reset) {
  taskresponse r{};
  for (RegisterRow* row = RegisterTable; row->id != -1; ++row) {
    if (reset) {
      // This pass reads the settings the Default below replaces.
      r.key.key = KEY_WORD_INIT;
      Menu::SetSettingsReset(true);
      TaskManage.TaskRegister(row, &r);
      Menu::SetSettingsReset(false);
      r.key.key = KEY_WORD_DEFAULT;
      TaskManage.TaskRegister(row, &r);
      I2cStorage.I2C_WriteU8(EE_FORMAT_MARK, kEepromFormatMark);
    }
    r.key.key = KEY_WORD_INIT;
    TaskManage.TaskRegister(row, &r);
  }
}

void SwitchChannels() {
  int mask = SysRunStatus.GetChStatus();
  if ((mask & 0xF) == 0) mask = 1;
  Vertical.SetChOnOff(0, mask & 1);
  Vertical.SetChOnOff(1, (mask >> 1) & 1);
}
}  // namespace

int ScopeStartup() {
  InstallAppHooks();
  std::printf("QEL2200KS RUN...\n");
  plat::ShellSystem("/etc/init.d/networking restart");
  plat::SleepMs(500);
  std::printf("PthreadStatus = %d \n", pthread_mutex_init(&mymutex, nullptr));

  Start("UsbScanThread", UsbScanThread, "UsbScanThread create error,retValue=");
  Start("SoftPowerPrcoess", SoftPowerPrcoess, "SoftPowerPrcoess create error,retValue=");
  Start("MouseApp", MouseApp, "MouseApp create error,retValue = ");
  Start("ResponseForMouse", ResponseForMouse, "ResponseForMouse create error,retValue = ");

  QelControl.InitDriver(plat::kFpgaLocalBusDevice, plat::kFpgaSpiDevice);
  ProbeFpga();

  SysRunStatus.GetCurrLanguage();
  SysRunStatus.SysRunInit();
  // The run state's init clears the USB disk flag the scan thread may have
  // set already: a disk plugged in at power-on is looked for again.
  pthread_mutex_lock(&mymutex);
  UsbScan();
  pthread_mutex_unlock(&mymutex);
  RemoveWriteLeftovers();
  int active = I2cStorage.I2C_ReadU8(EE_ACTIVE_CH);
  std::printf("Active = %d \n", active);

  Vertical.GetAdcGain(0, 8, ADCGain[0]);
  Vertical.GetAdcGain(1, 8, ADCGain[1]);
  QelDraw.Init();
  QelControl.PllConfig();
  // The phases the last search found (kept in the EEPROM), else the middle code.
  int phase1 = kStartPhase, phase2 = kStartPhase;
  const int phaseState = AdcStoredPhases(&phase1, &phase2) ? kFoundPhaseState : 0;
  QelControl.AdcInitSyncVEX4100R(phase1, phase2);
  SysRunStatus.SetAdcPhaseInformation(phase1, phase2, phaseState, phaseState);
  QelControl.SysSample();
  plat::SleepMs(100);
  if (ADC_PLL_DDR_Detec() != 0) return -1;

  bool reset = MarkerMissing();
  if (reset) {
    plat::ShellSystem("rm Data/Storage/Set/*.dat");
    plat::ShellSystem("rm Data/Storage/Wave/*.wav");
  }
  if (DefaultKeyHeld()) reset = true;

  std::printf("Register Task Start.....\n");
  uint8_t resetAll = 0;
  if (I2cStorage.I2C_TryReadU8(EE_RESET_ALL, &resetAll) && resetAll == 1) reset = true;
  int taskId, page;
  SavedTask(&taskId, &page);
  WaveOp.ClearDecodeStopRead();
  RegisterModules(reset);
  SwitchChannels();

  CheckSavedTask(reset, &taskId, &page);
  TaskManage.ActiveTask(taskId, page);
  Sem.semaphore_p();
  Sem.semaphore_v();
  SysRunStatus.RefreshMenuTime();

  QelControl.SysSample();
  HoldScpiWorker(true);  // commands wait until start-up's settings are in force
  Start("ScpiThread", ScpiThread, "ScpiThread create error,retValue=");
  VXI_Init();

  QelControl.LedCtrl(SysRunStatus.GetSysRunInfoBaseAddr());
  TimeBase.AdjTimeBase(0, 0);
  int mask = SysRunStatus.GetChStatus();
  for (int ch = 0; ch < 2; ++ch) {
    if (!(mask & (1 << ch))) continue;
    Vertical.SetChOnOff(ch, 1);
    Vertical.AdjYsensitivity(ch, 0);
  }

  SystemStartTest();
  QelMsg.ClearMessage();
  AdcStartPhaseDetection(0, nullptr);

  Start("Ds18b20Thread", Ds18b20Thread, "Ds18b20Thread create error,retValue=");
  QelControl.SysSample();
  WaveOp.RequestChData(3);
  Start("NetDetectThread", NetDetectThread, "NetDetectThread create error,retValue=");
  Start("FFTCalculationThread", FFTCalculationThread, "FFTCalculationThread create error,retValue=");
  QelMsg.ClearMessage();

  if (active > 1) active = 0;
  SysRunStatus.SetActivCh(active);
  I2cStorage.I2C_WriteU8(EE_ACTIVE_CH, uint8_t(active));

  if (SysRunStatus.Get_OEM() == 1) {
    plat::ShellSystem("killall webserver");
    plat::ShellSystem("./WebServer/webserver &");
    websocket_server_start();
    plat::ShellSystem("frp/frp_0.34.0_linux_arm/frpc -c frp/frp_0.34.0_linux_arm/frpc.ini\t&");
  }
  HoldScpiWorker(false);
  PrintServedPorts(SysRunStatus.Get_OEM() == 1);
  return 0;
}
