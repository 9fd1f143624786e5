#include "system/utility/set_time.h"

#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/shell.h"

SetTime setTime;

namespace {
constexpr int kMonths = 12;
constexpr int kDaysInMonth[kMonths] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kFebruary = 2;
constexpr int kLastHour = 24, kLastMinute = 60, kLastSecond = 60;  // the check's own limits
constexpr char kNtpServer[] = "pool.ntp.org";

bool Leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
}  // namespace

void SetTime::FromClock() {
  int32_t sec = 0;
  plat::WallTime(&sec, nullptr);
  const std::time_t t = sec;
  std::tm tm{};
  gmtime_r(&t, &tm);
  data_.year = int16_t(tm.tm_year + 1900);
  data_.month = int16_t(tm.tm_mon + 1);
  data_.day = int16_t(tm.tm_mday);
  data_.hour = int16_t(tm.tm_hour);
  data_.minute = int16_t(tm.tm_min);
  data_.second = int16_t(tm.tm_sec);
}

int SetTime::GetTimeHw() {
  plat::ShellSystem("date");
  plat::ShellSystem("hwclock -s");
  plat::ShellSystem("date");
  FromClock();
  return 0;
}

int SetTime::GetTimeSw() {
  FromClock();
  return 0;
}

int SetTime::SetTimeInit() {
  GetTimeHw();
  data_.flag = 0;
  return 0;
}

int SetTime::SetTimeHw() {
  if (!CheckTimeValidity(data_.year, data_.month, data_.day, data_.hour, data_.minute, data_.second)) {
    std::printf("Invalid Time !!!\n");
    return -1;
  }
  char command[64];
  std::snprintf(command, sizeof command, "date -s \"%d-%d-%d %d:%d:%d\"", data_.year, data_.month, data_.day,
                data_.hour, data_.minute, data_.second);
  std::printf("%s\n", command);
  plat::ShellSystem(command);
  plat::ShellSystem("hwclock -w");
  return 0;
}

bool SetTime::CheckTimeValidity(int year, int month, int day, int hour, int minute, int second) {
  const int days = GetMaxDayInMonth(year, month);
  return days > 0 && day >= 1 && day <= days && hour >= 0 && hour <= kLastHour && minute >= 0 &&
         minute <= kLastMinute && second >= 0 && second <= kLastSecond;
}

int SetTime::GetMaxDayInMonth(int year, int month) {
  if (month < 1 || month > kMonths) return -1;
  return month == kFebruary && Leap(year) ? kDaysInMonth[month - 1] + 1 : kDaysInMonth[month - 1];
}

int SetTime::TimeNetSync() {
  char command[64];
  std::snprintf(command, sizeof command, "ntpdate %s &", kNtpServer);
  return plat::ShellSystem(command);
}

void SetTime::GetSetTimeDate(int16_t* out) const {
  const int16_t v[kTimeFields] = {data_.year, data_.month, data_.day, data_.hour, data_.minute, data_.second};
  for (int i = 0; i < kTimeFields; ++i) out[i] = v[i];
}

void SetTime::SetSetTimeDate(const int16_t* in) {
  int16_t* f[kTimeFields] = {&data_.year, &data_.month, &data_.day, &data_.hour, &data_.minute, &data_.second};
  for (int i = 0; i < kTimeFields; ++i) *f[i] = in[i];
}
