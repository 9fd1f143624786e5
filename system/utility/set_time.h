// The clock settings: reads and sets the system and hardware clocks for the
// utility module's date and time editor and its SCPI commands, validates a
// date and time and starts a network time synchronisation. Every command
// goes through the board's shell seam.
#pragma once
#include <cstdint>

struct SetTimeData {
  int16_t manualAuto;
  int16_t flag;  // 0 after initialisation
  int16_t year;
  int16_t month;  // 1-12
  int16_t day;
  int16_t hour;
  int16_t minute;
  int16_t second;
  int16_t spare;
};

constexpr int kTimeFields = 6;  // year, month, day, hour, minute, second

class SetTime {
 public:
  int GetTimeHw();  // from the hardware clock
  int GetTimeSw();  // from the system clock only
  int SetTimeInit();
  // Writes the record to the system and hardware clocks; -1 when invalid.
  int SetTimeHw();
  static bool CheckTimeValidity(int year, int month, int day, int hour, int minute, int second);
  static int GetMaxDayInMonth(int year, int month);  // -1 for a month outside 1..12
  int TimeNetSync();

  void GetSetTimeData(SetTimeData* out) const { *out = data_; }
  void SetSetTimeData(const SetTimeData* in) { data_ = *in; }
  void GetSetTimeDate(int16_t* out) const;  // the six fields
  void SetSetTimeDate(const int16_t* in);
  int16_t GetManualAutoFlag() const { return data_.manualAuto; }
  void SetManualAutoFlag(int16_t v) { data_.manualAuto = v; }

 private:
  void FromClock();
  SetTimeData data_{};
};

extern SetTime setTime;
