// The watcher threads of start-up: USB disk, soft power button, Ethernet link.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/startup.h"
#include "core/messages/msg.h"
#include "core/messages/mymutex.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "platform/devices/net.h"
#include "platform/devices/power.h"
#include "platform/shell.h"
#include "platform/thread.h"
#include "platform/devices/usb.h"
#include "remote/scpi/scpi.h"

namespace {
constexpr int kPowerOffMessage = 45;
constexpr int kLanUnlockMessage = 103;
constexpr int kLockFromVxi11 = 2;
}  // namespace

bool FATIsInsert() {
  std::ifstream f("message");
  if (!f) {
    std::printf("File Not Find\n");
    return false;
  }
  std::string line;
  std::getline(f, line);
  int disks = std::atoi(line.c_str());
  std::printf("read = %d \n", int(line.size()));
  std::printf("line = %s \n", line.c_str());
  std::printf("Disks = %d \n", disks);
  return disks > 0;
}

void UsbScan() {
  plat::ShellSystem("fdisk -l | grep ^/dev/sd. | grep FAT32 -c > message");
  bool fat32 = FATIsInsert();
  plat::ShellSystem("fdisk -l | grep ^/dev/sd. | grep FAT16 -c > message");
  bool fat16 = FATIsInsert();
  SysRunStatus.SetUsbInsertStatus(fat32 || fat16 ? 1 : 0);
  SysRunStatus.SetDrawRefresh();
}

void* UsbScanThread(void*) {
  if (!plat::UsbEventsOpen()) {
    std::printf("UsbScanThread: no hot-plug events\n");
    return nullptr;
  }
  plat::ShellSystem("echo 0 4 0 7 > /proc/sys/kernel/printk ");
  // A disk already in at power-on is seen without waiting for an event.
  pthread_mutex_lock(&mymutex);
  UsbScan();
  pthread_mutex_unlock(&mymutex);
  char event[10];
  while (!plat::StopRequested()) {
    int n = plat::UsbEventWait(100, event, sizeof event);
    if (n < 0) break;
    if (n == 0) continue;
    pthread_mutex_lock(&mymutex);
    UsbScan();
    pthread_mutex_unlock(&mymutex);
  }
  return nullptr;
}

void* SoftPowerPrcoess(void*) {
  plat::ShellSystem("killall Lullgate");
  plat::ShellSystem("./Lullgate &");
  if (!plat::PowerButtonOpen()) {
    std::printf("Can't Open /dev/mem !\n");
    return nullptr;
  }
  std::printf("Open /dev/mem OK!\n");
  std::printf("map GPIB1 BASE OK!\n");
  if (!plat::SleepOrStop(100000)) return nullptr;
  while (plat::PowerButtonLevel() == 1) {
    if (!plat::SleepOrStop(200000)) return nullptr;
  }
  QelMsg.SetMessage(kPowerOffMessage);
  plat::ShellSystem("shutdown -h now");
  plat::ParkUntilStop();  // the board powers down here
  return nullptr;
}

int interface_detect_beat_ethtool(int, const char* name) {
  int state = plat::NetLinkState(name ? name : "");
  if (state < 0) {
    std::printf("ETHTOOL_GLINK failed ");
    return 1;
  }
  return state;
}

namespace {
std::string EthernetName() {
  std::istringstream devices(plat::NetDeviceList());
  std::string line;
  while (std::getline(devices, line)) {
    if (line.find("eth") == std::string::npos) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    name.erase(0, name.find_first_not_of(" \t"));
    return name;
  }
  return "";
}
}  // namespace

void* NetDetectThread(void*) {
  const std::string name = EthernetName();
  bool linked = false;
  do {
    if (interface_detect_beat_ethtool(0, name.c_str()) == 0) {
      SysRunStatus.SetNetInsertStatus(1);
      linked = true;
    } else {
      SysRunStatus.SetNetInsertStatus(0);
      if (linked && KeyBoard.IsKeyLock() && Scpi.GetKeyLockFrom() == kLockFromVxi11) {
        KeyBoard.KeyLockDisable();
        QelMsg.SetMessage(kLanUnlockMessage);
        Scpi.SetKeyLockFrom(0);
      }
      linked = false;
    }
    SysRunStatus.SetDrawRefresh();
  } while (plat::SleepOrStop(2000000));
  return nullptr;
}
