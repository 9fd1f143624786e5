// The start-up hardware check and the start log.
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/horizontal/task_hori.h"
#include "app/startup.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/root.h"
#include "platform/thread.h"
#include "ui/screen/qel_draw.h"

int ADC_PLL_DDR_Detec() {
  const int selfReset = QelControl.ReadAnyReg(fpga::kDrawStatus);
  std::printf("FpgaSelfReset = 0x%x \n ", selfReset);
  const int status = QelControl.ReadAnyReg(fpga::kBoardStatus);
  QelControl.SendRealControl(fpga::kProbe, 0xA5);
  const bool regOk = QelControl.ReadAnyReg(fpga::kProbeEcho) == 0xA5;
  const bool pllOk = status >= 0 && (status & 0x4);
  const bool ddrOk = status >= 0 && (status & 0x8);

  std::vector<HardwareCheckLine> lines = {
      {155, "          Hardware Detect"},
      {175, regOk ? "Read FPGA REG : OK" : "Read FPGA REG : Err"},
      {195, "ADC1:  Skip"},
      {215, "ADC2:  Skip"},
      {235, pllOk ? "PLL:  OK" : "PLL:  Error!"},
      {255, ddrOk ? "DDR:  OK" : "DDR:  Error!"},
  };
  if (selfReset == 0x101) {
    lines.push_back({275, "FPGA SelfReset :  Fail !"});
    std::printf("FpgaStatus = 0x%x RegErrFlag = %d \n", status, 1);
  } else {
    std::printf("FpgaStatus = 0x%x RegErrFlag = %d \n", status, regOk ? 0 : 1);
    if (pllOk && ddrOk && regOk) return 0;
  }
  for (const auto& l : lines) std::printf("%s\n", l.text);
  QelDraw.ShowHardwareCheck(lines.data(), int(lines.size()));
  plat::ParkUntilStop();  // halted: the box stays on the screen
  return -1;
}

void SystemStartTest() {
  if (TaskHori.TaskMenu.MenuIsNull() || !SysRunStatus.GetUsbInsertStatus()) return;
  if (TaskHori.TaskMenu.GetMenuItem(12) == 0) return;
  const std::string path = plat::MapPath("/udisk/SystemStartLog.txt");
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return;
  std::fputs("QEL Application loaded successfully! \n", f);
  std::fflush(f);
  plat::SleepMs(200);
  std::fflush(f);
  std::fclose(f);
  I2cStorage.I2C_WriteU8(EE_START_LOG, 0);
}
