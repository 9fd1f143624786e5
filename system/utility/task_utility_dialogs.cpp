// The utility module's editors and confirmations: clearing stored data, the
// date and time editor and the network address editor.
#include <algorithm>
#include <cstdio>

#include "core/board/control.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/shell.h"
#include "system/utility/ip_config.h"
#include "system/utility/set_time.h"
#include "system/utility/task_utility.h"
#include "system/utility/task_utility_internal.h"
#include "system/utility/utility_draw.h"

namespace {
constexpr int kMsgCleared = 43, kMsgDhcpStarted = 40, kMsgDhcpKey = 87;
constexpr const char* kClearCommands[] = {"rm ./Data/Storage/Set/*", "rm ./Data/Storage/Wave/*"};
constexpr int kFirstYear = 1975, kLastYear = 2035;
constexpr int kLastHour = 23, kLastMinuteSecond = 59;
constexpr int kLastIpByte = 3;
constexpr uint32_t kFocusFirst = MENU_ATTR_FOCUS_FIRST;
constexpr keypara kIpAddrKey{kKeyF2, 1, 0};

// Time fields: the editor's index and the record field it edits.
int16_t* TimeField(SetTimeData* d, int index) {
  int16_t* fields[kTimeFields] = {&d->year, &d->month, &d->day, &d->hour, &d->minute, &d->second};
  return fields[index];
}

// The day may not pass the month's end after the year or month changes.
void ClampDay(SetTimeData* d) {
  const int days = SetTime::GetMaxDayInMonth(d->year, d->month);
  if (days > 0 && d->day > days) d->day = int16_t(days);
}

void StepTimeField(SetTimeData* d, int index, int delta) {
  int16_t* f = TimeField(d, index);
  int lo = 0, hi = kLastMinuteSecond;
  switch (index) {
    case 0: lo = kFirstYear, hi = kLastYear; break;
    case 1: lo = 1, hi = 12; break;
    case 2: lo = 1, hi = std::max(1, SetTime::GetMaxDayInMonth(d->year, d->month)); break;
    case 3: hi = kLastHour; break;
    default: break;
  }
  *f = int16_t(std::clamp(*f + delta, lo, hi));
  ClampDay(d);
}

// The edited byte (address or mask) of the address record.
uint8_t* EditedByte(IpAddress* a, const IpConfigData& c, bool mask) {
  return mask ? &a->netmask[c.maskPos] : &a->address[c.addrPos];
}
}  // namespace

int Utility_ClearData(keypara) {
  UtiPage(kUtiPageClear);
  UtiOpenDialog(kUtiDlgClearData);
  return 0;
}

int Utili_ClearDataMenuOp(keypara) { return 0; }

int Utili_ClearData_Sure(keypara) {
  for (const char* c : kClearCommands) plat::ShellSystem(c);
  UtiCloseDialog(kUtiDlgClearData);
  UtiPage(kUtiPageUtility3);
  UtiMessage(kMsgCleared);
  return 0;
}

int Utili_ClearData_Cancel(keypara) {
  UtiCloseDialog(kUtiDlgClearData);
  UtiPage(kUtiPageUtility3);
  return 0;
}

int Utility_SetTime(keypara) {
  setTime.SetTimeInit();
  UtilityDraw.ShowTimeInit();
  UtiOpenDialog(kUtiDlgTime);
  UtilityDraw.ShowTimeTwinkleStart();
  UtiPage(kUtiPageTime);
  return 0;
}

int Utility_TimeMenuOp(keypara key) {
  if (key.key == kKeyUtility) {
    UtiPage(kUtiPageUtility2);
    return 0;
  }
  if (TaskUtility.TaskMenu.GetCurrPage() != kUtiPageTime) return 0;
  SetTimeData d;
  setTime.GetSetTimeData(&d);
  int& field = UtilityDraw.TimeField();
  if (key.key == kKeySelectPush) {
    field = (field + 1) % kTimeFields;
  } else if (key.key == kKeySelectRight || key.key == kKeySelectLeft) {
    StepTimeField(&d, field, key.key == kKeySelectRight ? 1 : -1);
    setTime.SetSetTimeData(&d);
  } else {
    return 0;
  }
  TaskUtility.Run().SetDrawRefresh();
  return 0;
}

int Utility_SetTime_Reset(keypara) { return setTime.SetTimeInit(); }

int Utility_SetTime_Sure(keypara) {
  setTime.SetTimeHw();
  TaskUtility.Run().RefreshRtcTime();  // the status bar shows the new time at once
  UtiCloseDialog(kUtiDlgTime);
  UtiPage(kUtiPageUtility3);
  TaskUtility.Sys().board->FreqTimingRefresh();
  return 0;
}

int Utility_SetTime_Cancel(keypara) {
  UtiCloseDialog(kUtiDlgTime);
  UtiPage(kUtiPageUtility3);
  return 0;
}

int Utility_IPConfig(keypara) {
  ipConfig.IpConfigInit();
  Utility_IpConf_IpAddr(kIpAddrKey);
  UtiOpenDialog(kUtiDlgIp);
  UtiPage(kUtiPageIp);
  return 0;
}

int Utility_IPMenuOp(keypara key) {
  if (key.key == kKeyUtility) {
    UtiPage(kUtiPageUtility2);
    return 0;
  }
  if (TaskUtility.TaskMenu.GetCurrPage() != kUtiPageIp || !UtilityDraw.IpEditing()) return 0;
  IpConfigData c;
  ipConfig.GetIpConfigData(&c);
  if (c.mode == kIpModeDhcp) return 0;
  IpAddress a;
  ipConfig.GetIpAddress(&a);
  const bool mask = UtilityDraw.IpMaskLine();
  int16_t& pos = mask ? c.maskPos : c.addrPos;
  if (key.key == kKeySelectRight) {
    uint8_t* b = EditedByte(&a, c, mask);
    *b = uint8_t(*b + 1);  // 255 wraps to 0
  } else if (key.key == kKeySelectLeft) {
    uint8_t* b = EditedByte(&a, c, mask);
    *b = uint8_t(*b - 1);
    if (*b == 0) *b = 255;
  } else if (key.key == kKeySelectPush) {
    pos = int16_t(pos > 0 ? pos - 1 : kLastIpByte);
    ipConfig.SetIpConfigData(&c);
  } else {
    return 0;
  }
  ipConfig.SetIpAddress(&a);
  TaskUtility.Run().SetDrawRefresh();
  return 0;
}

int Utility_IpConf_IpType(keypara key) {
  IpConfigData c;
  ipConfig.GetIpConfigData(&c);
  c.mode = UtiTake(key, kUtiIpType);
  if (c.mode == kIpModeDhcp && key.key != KEY_NO_KEY) {
    UtiCloseDialog(kUtiDlgIp);
    UtiMessage(kMsgDhcpStarted);
    ipConfig.ConfIpDhcp2();
  }
  ipConfig.SetIpConfigData(&c);
  return 0;
}

namespace {
// The address and mask items: the soft key gives the knob focus and, with a
// static address, starts editing that line.
int IpLine(keypara key, int item, int other, bool mask) {
  Menu& m = TaskUtility.TaskMenu;
  if (key.key != Menu::MenuItemToFx(item)) return 0;
  m.SetItemAttribute(item, uint32_t(m.GetItemAttribute(item)) | kFocusFirst);
  m.SetItemAttribute(other, uint32_t(m.GetItemAttribute(other)) & ~kFocusFirst);
  IpConfigData c;
  ipConfig.GetIpConfigData(&c);
  if (c.mode == kIpModeDhcp) return 0;
  UtilityDraw.ShowIpInit(mask);
  (mask ? c.maskPos : c.addrPos) = kLastIpByte;
  ipConfig.SetIpConfigData(&c);
  TaskUtility.SetFuncBits(kUtiDlgIp);
  TaskUtility.Run().SetDrawRefresh();
  return 0;
}
}  // namespace

int Utility_IpConf_IpAddr(keypara key) { return IpLine(key, kUtiIpAddr, kUtiSubMask, false); }
int Utility_IpConf_SubMask(keypara key) { return IpLine(key, kUtiSubMask, kUtiIpAddr, true); }

int Utility_IpConf_Sure(keypara key) {
  std::printf("IP_Sure   keyval.val==0x%x\n", key.key);
  IpConfigData c;
  ipConfig.GetIpConfigData(&c);
  if (c.mode == kIpModeDhcp) {
    UtiMessage(kMsgDhcpKey);
    return 0;
  }
  ipConfig.ConfIpManual2();
  ipConfig.SaveIpToIIC();
  if (key.key == KEY_NO_KEY) {
    UtiMessage(kMsgDhcpKey);
    return 0;
  }
  UtiCloseDialog(kUtiDlgIp);
  UtiPage(kUtiPageUtility3);
  return 0;
}

int Utility_IpConf_Cancel(keypara) {
  UtiCloseDialog(kUtiDlgIp);
  UtiPage(kUtiPageUtility3);
  return 0;
}
