// A screenshot file on the USB disk, opened by the utility module's and the
// storage module's screenshot viewers and drawn over the page.
#include <cstddef>
#include <cstdint>

#include "core/state/sys_run_info.h"
#include "platform/sim/devices/sim_controls.h"
#include "system/storage/task_storage.h"
#include "system/utility/task_utility.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  plat::SimUsbPlug(true);
  SysRunStatus.SetUsbInsertStatus(1);
  FuzzWriteFile("/udisk/QelPrtSc/shot.bmp", data, size);
  constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
  TaskUtility.TaskMenu.SetMenuItem(kUtiPrintView, 1);
  Utility_PrintScreen_View(kNoKey);
  Utility_DrawPrintScreen();
  TaskUtility.TaskMenu.SetMenuItem(kUtiPrintView, 0);
  Utility_PrintScreen_View(kNoKey);
  TaskStorage.TaskMenu.SetMenuItem(kStoView, 1);
  Storage_PrintScreen_ViewOnOff(kNoKey);
  Storage_PrintScreen_ViewNext(kNoKey);
  StorageDrawScreenshot();
  TaskStorage.TaskMenu.SetMenuItem(kStoView, 0);
  Storage_PrintScreen_ViewOnOff(kNoKey);
  return 0;
}
