// The measure function module behind the MEASURE key (task 15): the sources,
// the five user-selected parameter slots and their statistics, the
// all-parameters panel, the voltmeter, the indicator lines and the
// histogram; every pass it has the engine (analysis/measure/measure.h) measure what
// is shown. Drawing the results belongs to the measure drawing.
#pragma once
#include <cstdint>
#include <vector>

#include "analysis/measure/measure.h"
#include "core/state/task.h"

struct instr;

// Item numbers (item n: page n / 5, slot n % 5).
enum MeasureItem : int {
  kMeaMasterSrc = 0, kMeaSlaveSrc = 1, kMeaAllPara = 2, kMeaUserDef = 3, kMeaNext0 = 4,
  kMeaStatistic = 5, kMeaDvmPage = 6, kMeaIndicator = 7, kMeaIndicatorSel = 8, kMeaNext1 = 9,
  kMeaClear = 10, kMeaHistPage = 11, kMeaBack2 = 14,
  kMeaDvm = 15, kMeaDvmSource = 16, kMeaDvmMode = 17, kMeaDvmBack = 19,
  kMeaHistogram = 20, kMeaHistSource = 21, kMeaAreaSet = 22, kMeaHistBack = 24,
  kMeaHoriL = 25, kMeaHoriR = 26, kMeaVertT = 27, kMeaVertB = 28, kMeaAreaBack = 29,
};

constexpr int kMeasureTaskId = 15;
constexpr uint16_t kMeasureKey = 56;
constexpr int kMeaHistColumns = 700, kMeaHistRows = 200;

// Function bits.
enum : uint32_t {
  kMeaFuncActive = 1u << 0,
  kMeaFuncDvm = 1u << 1,
  kMeaFuncAllPara = 1u << 2,
  kMeaFuncUserDef = 1u << 3,
  kMeaFuncIndicator = 1u << 4,
  kMeaFuncStatistic = 1u << 5,
  kMeaFuncHistogram = 1u << 6,
};

class TaskForMeasure : public task {
 public:
  int Default() override;
  int Initialize() override;
  // Setup-file block "TASK-MEASURE", CR LF, the menu image, CR LF, the five
  // slot parameters and source words (u16 LE), the slot mask (u32 LE), CR LF.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override;
  int Display() override;
  int FunctionOnOff(int arg) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse* r, taskresponse* arg) override;
  int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) override;

  // Language texts: the menu (0 with the EEPROM values, 1 keeping the values)
  // and the parameter names of the same file.
  int LoadLanguage(int reload);
  int LoadParaInfo(const char* path);

  // Overlays.
  int IsAllParaOn() const { return Bit(kMeaFuncAllPara); }
  int IsUserDefOn() const { return Bit(kMeaFuncUserDef); }
  int IsDVMOn() const { return Bit(kMeaFuncDvm); }
  int IsIndicatorOn() const { return Bit(kMeaFuncIndicator); }
  int IsStatisticOn() const { return Bit(kMeaFuncStatistic); }
  int IsHistogram() const { return Bit(kMeaFuncHistogram); }
  uint32_t GetFunBits() const { return funBits_; }
  int GetSelBit() const { return int(selMask_); }
  int GetUserDefSelPos() const { return selCursor_; }
  int DVMOnOff(int on);
  int UserDefOnOff(int on);
  int IndicatorOnOff(int on);
  int StatisticOnOff(int on);
  int HistogramOnOff(int on);
  int AllParaOnOff(int on);

  // User slots.
  int GetUserSelPara(int slot) const;
  int GetUserSelSource(int slot) const;
  int FindUserDef(int para, int master) const;
  static int GetParaType(int para);
  static int IsDoubleChPara(int para);
  // Toggles `para` for the menu's sources (the select key in the user panel).
  int UserDefSel(keypara k);
  int ClearUserDef();
  int ClearStatPara();
  _measure::UserSelection Selection() const;

  // Voltmeter and speed.
  int SetDVMSource(int source);
  int GetDVMSource() const { return dvmSource_; }
  int SetDVMMode(int mode);
  int GetDVMMode() const { return dvmMode_; }
  int SetMeasureSpeed(int speed);
  int GetMeasureSpeed() const { return speed_; }
  int GetDisplayFormat() const { return displayFormat_; }
  int CheckDisplayFormat();

  // Histogram data (700 bins, normalised heights).
  const float* HistogramHeights() const { return histHeight_; }
  void HistogramInit();
  void HistogramUpdate();
  // The histogram's area frame and bars on the composer's current page.
  void DrawHistogram();
  void DrawVHistogram(int top, int bottom);
  void DrawHHistogram(int left, int right);

  // The measurement pass, as DataProcess runs it once its interval passed.
  int MeasurePass();
  // Restarts the hold-off: nothing is measured until the next whole second.
  void HoldOff();
  void StampTimes();

  int UserPanel() const { return userPanel_; }
  void SetUserPanel(int on) { userPanel_ = on; }

  // Slot storage: the EEPROM word of slot k and reading them all back.
  void WriteSlotWord(int slot);
  void ReadSlotWords();
  // Takes a slot word (parameter bits 0-7, master bits 8-11, slave bits
  // 12-15); words naming no parameter or source leave the slot empty.
  bool SetSlotFromWord(int slot, uint16_t word);
  void SetSlot(int slot, int para, uint16_t source);
  int16_t SlotPara(int slot) const { return para_[slot]; }
  uint16_t SlotSource(int slot) const { return source_[slot]; }

 private:
  int Bit(uint32_t b) const { return (funBits_ & b) ? 1 : 0; }

  uint32_t funBits_ = 0;
  int selCursor_ = 0;
  int nextOverwrite_ = 0;
  int16_t speed_ = 1;
  int16_t dvmSource_ = 0;
  int16_t dvmMode_ = 0;
  int16_t para_[kMeaUserSlots] = {-1, -1, -1, -1, -1};
  uint16_t source_[kMeaUserSlots] = {};
  uint32_t selMask_ = 0;
  int16_t displayFormat_ = 0;
  int userPanel_ = 0;
  int64_t lastPassUs_ = 0;
  int64_t holdOffUntilUs_ = 0;
  int64_t statSerial_ = -1;  // acquisition the statistics last took; -1: take the next pass's

  int32_t histTotal_[kMeaHistColumns] = {};
  float histHeight_[kMeaHistColumns] = {};
  int32_t histMax_ = 0, histMin_ = 0;
  uint8_t* raster_ = nullptr;
  int* palette_ = nullptr;
  std::vector<uint16_t> text_;  // the language file
};

extern TaskForMeasure TaskMeasure;
extern instr TaskMeasureInstrStandard[];
extern menu TaskMeasureMenu;
extern Menu* MeasureMenu;

// The source number of a menu source choice (0 CH1, 1 CH2, 2 MATH).
int MeasureSourceOf(int choice);

// Re-applies the overlays from the menu (after start-up or a setup block).
void Measure_MenuReset();
void Measure_MenuInit();
// The voltmeter mode follows the coupling of its channel.
int MeasureDVMModeSync();
// The same, only when the mode does not follow the coupling in force yet.
int MeasureDVMFollowCoupling();

// Item handlers and the page handler.
int Measure_MasterSrc(keypara k);
int Measure_SlaveSrc(keypara k);
int Measure_AllPara(keypara k);
int Measure_UserDef(keypara k);
int MeasureNext(keypara k);
int Measure_Statistic(keypara k);
int MeasureDVM(keypara k);
int Measure_IndicatorEnable(keypara k);
int Measure_IndicatorSel(keypara k);
int Measure_Clear(keypara k);
int MeasureDVMFuncOnOFF(keypara k);
int MeasureDVMSource(keypara k);
int MeasureDVMMode(keypara k);
int MeasureDVMBack(keypara k);
int MeasureHistogram(keypara k);
int HistogramType(keypara k);
int HistogramSource(keypara k);
int HistogramAreaSet(keypara k);
int HistogramBack(keypara k);
int AreaSetHoriLimit_L(keypara k);
int AreaSetHoriLimit_R(keypara k);
int AreaSetVertLimit_T(keypara k);
int AreaSetVertLimit_B(keypara k);
int AreaSetVertLimit_Back(keypara k);
int MeasureMenuOp(keypara k);

// Panel titles from the language file (null until it is read).
extern const uint16_t* Mea_AllParaTitle;
extern const uint16_t* Mea_UserDefTitle;
