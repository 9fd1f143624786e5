// The measurement engine `_measure` (one instance, `MeasureParaCalcu`): the
// 36 automatic parameters of one source's latest record, the two-source
// delays and phase, the five user-selected slots with their statistics, and
// the FPGA's voltmeter.
//
// Samples are 8-bit codes held in 16-bit words: 127 the screen centre, 25
// codes a division, 0 and 255 clipped. Time is counted in screen points, 50 a
// division. Sources: 0 CH1, 1 CH2, 5 MATH (rows 2..4 are never measured).
//
// Scale. Every voltage is (code - position) x the source's volts-per-code:
// the probe ratio x volts per division / 25, or the vernier's volts per
// division / 25 while the channel's vernier is on (the codes are then
// acquired at that finer scale). Reference levels are worked out in codes.
//
// Locking. One recursive lock (`Lock`) covers a whole pass: the measure
// module's pass and each SCPI query hold it, so the user-slot target and the
// per-source rows are never written by two threads at once. The accessors
// take it as well.
#pragma once
#include <cstdint>
#include <mutex>

#include "core/common/unit_convert.h"

constexpr int kMeaParas = 36;
constexpr int kMeaSources = 6;
constexpr int kMeaMath = 5;
constexpr int kMeaUserSlots = 5;
constexpr int kMeaSingleParas = 24;
constexpr int kMeaDoubleParas = 11;
constexpr int kMeaPoints = 700;          // screen points of a record
constexpr int kMeaRawCapacity = 8192;    // raw record copy
constexpr int kMeaRawDefault = 7000;
constexpr int kMeaNoTarget = 255;        // user-slot target: none
constexpr uint16_t kMeaValid = 1;
constexpr uint16_t kMeaInvalid = 0xFFFF;

// Unit kinds of the parameters.
enum : int16_t {
  kMeaUnitVolt = 0,
  kMeaUnitTime = 256,
  kMeaUnitFreq = 512,
  kMeaUnitNumber = 768,
  kMeaUnitDegree = 1024,
  kMeaUnitArea = 1280,
  kMeaUnitNone = 4096,
};

// Parameter numbers.
enum MeaPara : int {
  kParaMax, kParaMin, kParaHigh, kParaLow, kParaAmpl, kParaPkPk, kParaMiddle, kParaMean,
  kParaCycMean, kParaRms, kParaCycRms, kParaAcRms, kParaPeriod, kParaFreq, kParaRise, kParaFall,
  kParaRiseDelay, kParaFallDelay, kParaPwidth, kParaNwidth, kParaFRFR, kParaFRFF, kParaFFFR,
  kParaFFFF, kParaFRLF, kParaFRLR, kParaFFLR, kParaFFLF, kParaPduty, kParaNduty, kParaArea,
  kParaCycArea, kParaOverSht, kParaPreSht, kParaPhase, kParaPulse,
};

struct MeasureParaRow {
  char name[20];
  int16_t index;
  int16_t unit;     // unit kind
  bool twoSource;   // takes a master and a slave
  const uint16_t* text;   // translated name (from the module's language file)
  const uint16_t* text2;  // its second text
};
extern MeasureParaRow MeasureParaInfo[kMeaParas];
extern const int16_t SingleChPara[kMeaSingleParas];
extern const int16_t DoubleChPara[kMeaDoubleParas];
extern const int16_t MeasureSource[3];  // menu choice -> source
// Statistics row names CUR AVG MIN MAX DEV NUM (at most 10 ASCII characters).
extern char StatInfo[6][11];

struct MeasureResult {
  uint16_t status;  // kMeaValid or kMeaInvalid
  float value;      // base units
  FloatElement element;
};

struct UserDefResult {
  uint16_t status;
  float current, average, minimum, maximum, deviation;
  int32_t count;
  FloatElement element[5];  // current, average, minimum, maximum, deviation
};

struct EdgePointList {
  uint16_t rising, falling;  // numbers of middle crossings
  uint16_t risePoint[kMeaPoints];
  uint16_t fallPoint[kMeaPoints];
};

// Level codes of the source measured last: 95, 86, 60, 50, 40, 13, 5 %; and
// the five the indicator lines show (5, 13, 50, 86, 95 %) as floats.
struct ReferenceLevels {
  int16_t code[7];
  float line[5];
};
enum { kLv95, kLv86, kLv60, kLv50, kLv40, kLv13, kLv5 };

// Screen-point crossings of the source measured last (-1: not found).
struct EdgeCrossings {
  int16_t riseB, riseM, riseT;  // first rising edge at 13, 50, 86 %
  int16_t fallT, fallM, fallB;  // first falling edge at 86, 50, 13 %
  int16_t third;                // the middle crossing that ends the first period
  int16_t lineRiseB, lineRiseM, lineRiseT, lineFallT, lineFallM, lineFallB;  // from the level floats
  int16_t periodStart, periodEnd;
};

struct MeasureScale {
  int position;        // code of 0 V
  double voltsPerCode;
  double fineVoltsPerCode;
  double offset;       // always 0
  int timeBase;        // index in use
  double secondsPerPoint;
};

class _measure {
 public:
  _measure();

  std::recursive_mutex& Lock() { return mu_; }

  // Passes.
  int MeasureBasePara(int source);
  int MeasureDoubChPara(int master, int slave);
  int DoubleChParaMeasure(int master, int slave, int para);

  // User slots: what the measure module holds.
  struct UserSelection {
    int16_t para[kMeaUserSlots];     // -1 empty
    uint16_t source[kMeaUserSlots];  // master | slave << 8
    int master, slave;               // the menu's sources (0, 1, 5)
    bool pairShown;                  // all-parameters panel or indicator lines on
    int channelsOn;                  // run-state channel mask
  };
  int UserDefParaMeasure(const UserSelection& sel);
  int UserDefStatisticParaCalcu(const UserSelection& sel);
  int UserDefStatisticParaReset();
  int UserDefParaClear(int slot);

  // Results.
  int ClearMeaParaResult(int source);
  int GetMeasurePara(int source, int para, float* value);
  int GetMeasureParaResult(int source, int para, FloatElement* out);
  int GetMeasurePARAStatus(int source, int para);
  int SetMeasureParaInvalid(int source, int para);
  int SetMeasureParaResult(int source, int para, float value);
  int UnitConvert(int kind, int source, int para, float value);
  int UnitConvertUserDef(int kind, int statistic, float value);
  UserDefResult GetMeasureResultUserDef(int slot);
  EdgePointList GetRiseFallPoints(int source);
  int GetRiseFallBMTPoints(int source, int16_t out[6]);
  ReferenceLevels GetReferenceLevels();
  EdgeCrossings GetEdgeCrossings();

  // Voltmeter: its switch and source (set by the measure module), the
  // accumulator read, the results (mode 0 DC, 1 DC RMS, 2 AC RMS).
  void SetDVM(bool on, int source);
  int DVMMeasureFPGA();
  int DVMMeasureInvalid();
  int GetDVMResult(int channel, int mode, FloatElement* out);
  double GetDVMValue(int channel, int mode);

 private:
  struct SourceRow {
    uint16_t raw[kMeaRawCapacity];
    int rawCount = kMeaRawDefault;
    uint16_t screen[kMeaPoints];
    // Each screen point's samples: their mean (the point before rounding),
    // their variance about it (codes squared) and their mean distance from
    // the position code. A point that is its own sample (MATH, an averaged
    // record) has itself, 0 and |point - position|.
    float mean[kMeaPoints];
    float variance[kMeaPoints];
    float distance[kMeaPoints];
    MeasureScale scale;
    EdgePointList edges;
    int16_t bmt[6];  // first-edge crossings: rising 13/50/86, falling 13/50/86
    MeasureResult result[kMeaParas];
  };

  // Stages of a pass (measure_level.cpp, measure_edge.cpp).
  int LoadSource(int source);
  int MaxMin(int s);
  int TopBase(int s);
  int OverShoot(int s);
  int PreShoot(int s);
  int Levels(int s);
  int FirstRising(int s);
  int FirstFalling(int s);
  int ThirdCrossing(int s);
  int LineEdges(int s);
  int AllEdges(int s);
  int PeriodFreq(int s);
  int RiseFall(int s);
  int Widths(int s);
  int Mean(int s);
  int RmsFamily(int s);
  int AreaFamily(int s);
  int Pulse(int s);
  int Phase(int master, int slave);

  // Writes a result (or the user-slot target) with its unit conversion.
  void Put(int s, int para, double value);
  void Invalid(int s, int para);
  double Volts(int s, int code) const;
  bool Sources(int master, int slave) const;

  SourceRow row_[kMeaSources];
  const uint16_t* screen_ = nullptr;  // of the source being measured
  const float* mean_ = nullptr;
  const float* variance_ = nullptr;
  const float* distance_ = nullptr;
  int screenCount_ = kMeaPoints;
  ReferenceLevels levels_{};
  bool levelsOk_ = false;
  EdgeCrossings cross_{};
  int maxCode_ = 0, minCode_ = 0, topCode_ = 0, baseCode_ = 0;
  double amplitude_ = 0;
  int target_ = kMeaNoTarget;
  UserDefResult user_[kMeaUserSlots];
  double dvm_[2][3] = {};
  FloatElement dvmElement_[2][3] = {};
  bool dvmOn_ = false;
  int dvmSource_ = 0;
  std::recursive_mutex mu_;
};

extern _measure MeasureParaCalcu;

// Unit kind of a parameter; kMeaUnitNone above 35.
int MeasureParaUnit(int para);
// 1 for a two-source parameter, 0 for the others, -1 above 35.
int MeasureIsDoublePara(int para);
