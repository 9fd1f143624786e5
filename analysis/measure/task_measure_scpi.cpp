// The measure module's SCPI commands: the MEASURE key and its lock, the
// all-parameters panel and the sources, clearing the user slots, every
// parameter measured on demand, and the voltmeter. Handlers run on the SCPI
// worker beside the main loop; each query holds the engine's lock from its
// pass to its reply, so the main loop's pass cannot rewrite the results in
// between.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "acquisition/engine/wave.h"
#include "analysis/measure/task_measure.h"
#include "core/state/ids.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/wave_types.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi_kit.h"

namespace {
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};
constexpr int kFreshDataLimitMs = 2000;  // a record not read by then (no trigger) is not waited for
constexpr int kPartSize = 15;  // a comma-separated part, with its terminator
constexpr int kDataReplySize = 512;
constexpr uint16_t kDvmOnOffKey = kKeyF1, kDvmSourceKey = kKeyF2;
constexpr int kChoiceMath = 2;

const scpipara kSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"CHAN1", 0}, {"CHAN2", 1}, {"MATH", 2},
                             {"0", 0},        {"1", 1},        {"2", 2},     {"", -1}};
const scpipara kIntervals[] = {{"CYCLe", 0}, {"DISPlay", 1}, {"CYCL", 0}, {"DISP", 1}, {"0", 0}, {"1", 1}, {"", -1}};
const scpipara kDvmSources[] = {{"CHANnel1", 0}, {"CHANnel2", 1}, {"", -1}};
const scpipara kDvmModes[] = {{"ACRMs", 2}, {"DC", 0}, {"DCRMs", 1}, {"", -1}};

const char* const kSourceTexts[] = {"CHANnel1", "CHANnel2", "MATH"};
const char* const kDvmModeTexts[] = {"DC", "DCRMs", "ACRMs"};

// Parameters in the order of the "MEASure:DATA?" fields.
constexpr int kDataOrder[kMeaParas] = {0,  1,  2,  6,  3,  5,  4,  7,  8,  9,  10, 30, 31, 32, 33, 12, 13, 14,
                                       15, 18, 19, 28, 29, 16, 17, 34, 20, 21, 22, 23, 24, 25, 26, 27, 35, 11};

Menu& M() { return TaskMeasure.TaskMenu; }
int Item(int n) { return int(uint16_t(M().GetMenuItem(n))); }
void Refresh() { SystemResource.runStatus->SetDrawRefresh(); }

bool IsOn(int source) { return SystemResource.runStatus->GetChStatus() >> source & 1; }

// Brings the records of `sources` (bit per source) in force into the
// waveform engine. Stopped, the record that stands is read. Running, the
// first record read may have been acquired before a setting this query
// follows; the second was acquired after the request. A rolling screen is
// its own record.
void FreshData(int sources) {
  _SysRunInfoOp& run = *SystemResource.runStatus;
  const bool stopped = run.GetAcquireStatus(0) == kAcqStopped;
  if (run.GetWaveType() == kWaveRoll && !stopped) return;
  WaveOp.AwaitRecords(sources, stopped ? 1 : 2, kFreshDataLimitMs);
}

void AnswerResult(int source, int para) {
  float v = 0;
  if (MeasureParaCalcu.GetMeasurePara(source, para, &v) != 0) {
    ScpiAnswer("*");
    return;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%e", double(v));
  ScpiAnswer(text);
}

// The source of a query's keyword, the menu's item `item` without one, -1
// (the query refused) for a keyword that matches nothing.
int SourceOf(const char* p, int item) {
  const int choice = p ? ScpiMatchOrRefuse(kSources, p) : Item(item);
  return choice < 0 ? -1 : MeasureSourceOf(choice);
}

// Measures `source` on its own and answers `para`.
void MeasureOne(int source, int para) {
  if (!IsOn(source)) {
    ScpiAnswer("*");
    return;
  }
  FreshData(1 << source);
  std::lock_guard<std::recursive_mutex> lock(MeasureParaCalcu.Lock());
  MeasureParaCalcu.MeasureBasePara(source);
  AnswerResult(source, para);
}

// Splits `p` at its first comma into two parts of at most 14 characters;
// false when a part is longer.
bool Split(const char* p, char first[kPartSize], char second[kPartSize], bool* comma) {
  const char* c = std::strchr(p, ',');
  *comma = c != nullptr;
  const size_t n1 = c ? size_t(c - p) : std::strlen(p);
  const size_t n2 = c ? std::strlen(c + 1) : 0;
  if (n1 >= size_t(kPartSize) || n2 >= size_t(kPartSize)) return false;
  std::memcpy(first, p, n1);
  first[n1] = '\0';
  if (c) std::memcpy(second, c + 1, n2);
  second[n2] = '\0';
  return true;
}

// ---- key and settings ----

using MeasureKey = ScpiKeyTrio<kKeyMeasure, kKeyMeasure>;

void SetItemAndRun(int item, int value, int (*handler)(keypara)) {
  M().SetMenuItem(item, uint64_t(value));
  handler(kNoKey);
  Refresh();
}

void All(scpi_para*, char* p) {
  const int v = ScpiKeyword(kScpiOnOff, p);
  if (v >= 0) SetItemAndRun(kMeaAllPara, v, Measure_AllPara);
}

void AllAsk(scpi_para*, char*) { ScpiAnswerNumber(Item(kMeaAllPara)); }

void Clear(scpi_para*, char*) {
  Measure_Clear(kNoKey);
  Refresh();
}

template <int ItemNo, int (*Handler)(keypara)>
void SetSource(scpi_para*, char* p) {
  const int v = ScpiKeyword(kSources, p);
  if (v >= 0) SetItemAndRun(ItemNo, v, Handler);
}

template <int ItemNo>
void SourceAsk(scpi_para*, char*) {
  const int v = Item(ItemNo);
  if (v <= kChoiceMath) ScpiAnswer(kSourceTexts[v]);
}

// ---- measurements ----

template <int Para>
void Single(scpi_para*, char* p) {
  ScpiWarnMissing(p);  // the menu's source serves
  const int source = SourceOf(p, kMeaMasterSrc);
  if (source >= 0) MeasureOne(source, Para);
}

// "CYCLe[,src]", "DISPlay[,src]" or "src" (the displayed interval).
template <int CyclePara, int DisplayPara>
void Interval(scpi_para*, char* p) {
  int interval = 1, source = -1;
  if (!p) {
    ScpiWarnMissing(p);
    source = SourceOf(nullptr, kMeaMasterSrc);
  } else {
    char first[kPartSize], second[kPartSize];
    bool comma = false;
    if (ScpiRefuseIf(!Split(p, first, second, &comma))) return;
    const int i = ScpiMatch(kIntervals, first);
    if (i >= 0) {
      interval = i;
      source = SourceOf(comma ? second : nullptr, kMeaMasterSrc);
    } else {
      source = SourceOf(first, kMeaMasterSrc);
    }
  }
  if (source >= 0) MeasureOne(source, interval == 0 ? CyclePara : DisplayPara);
}

// "master,slave"; the menu's master and slave without a parameter.
template <int Para>
void Pair(scpi_para*, char* p) {
  int master = -1, slave = -1;
  if (!p) {
    ScpiWarnMissing(p);
    master = SourceOf(nullptr, kMeaMasterSrc);
    slave = SourceOf(nullptr, kMeaSlaveSrc);
  } else {
    char first[kPartSize], second[kPartSize];
    bool comma = false;
    if (ScpiRefuseIf(!Split(p, first, second, &comma) || !comma)) return;
    master = SourceOf(first, kMeaMasterSrc);
    slave = SourceOf(second, kMeaSlaveSrc);
  }
  if (master < 0 || slave < 0) return;
  if (!IsOn(master) || !IsOn(slave)) {
    ScpiAnswer("*");
    return;
  }
  if (master == slave) {
    char text[32];
    std::snprintf(text, sizeof text, "%e", 0.0);
    ScpiAnswer(text);
    return;
  }
  FreshData(1 << master | 1 << slave);
  std::lock_guard<std::recursive_mutex> lock(MeasureParaCalcu.Lock());
  MeasureParaCalcu.MeasureBasePara(master);
  MeasureParaCalcu.MeasureBasePara(slave);
  MeasureParaCalcu.DoubleChParaMeasure(master, slave, Para);
  AnswerResult(master, Para);
}

void Data(scpi_para*, char*) {
  const int master = SourceOf(nullptr, kMeaMasterSrc), slave = SourceOf(nullptr, kMeaSlaveSrc);
  const bool masterOn = IsOn(master), pairOn = masterOn && IsOn(slave) && master != slave;
  std::unique_lock<std::recursive_mutex> lock(MeasureParaCalcu.Lock(), std::defer_lock);
  if (masterOn) {
    FreshData(1 << master | 1 << slave);
    lock.lock();
    MeasureParaCalcu.MeasureBasePara(master);
    if (pairOn) {
      MeasureParaCalcu.MeasureBasePara(slave);
      MeasureParaCalcu.MeasureDoubChPara(master, slave);
    }
  }
  char reply[kDataReplySize];
  int used = 0;
  for (int para : kDataOrder) {
    const bool on = MeasureIsDoublePara(para) == 1 ? pairOn : masterOn;
    float v = 0;
    const bool ok = on && MeasureParaCalcu.GetMeasurePara(master, para, &v) == 0;
    const int n = ok ? std::snprintf(reply + used, sizeof reply - size_t(used), "%e,", double(v))
                     : std::snprintf(reply + used, sizeof reply - size_t(used), "*,");
    if (n < 0 || used + n >= int(sizeof reply)) break;  // never more than fits
    used += n;
  }
  ScpiAnswer(reply);
}

// ---- voltmeter ----

void DvmEnable(scpi_para*, char* p) {
  const int v = ScpiKeyword(kScpiOnOff, p);
  if (v < 0) return;
  if (v != TaskMeasure.IsDVMOn()) {
    MeasureDVMFuncOnOFF(keypara{kDvmOnOffKey, 0, 0});
    std::printf("Scpi_Dvm_Enable, MeasureDVMFuncOnOFF\n");
  }
  Refresh();
}

void DvmEnableAsk(scpi_para*, char*) { ScpiAnswer(TaskMeasure.IsDVMOn() ? "1" : "0"); }

void DvmSource(scpi_para*, char* p) {
  const int v = ScpiKeyword(kDvmSources, p);
  if (v < 0) return;
  if (v != TaskMeasure.GetDVMSource()) MeasureDVMSource(keypara{kDvmSourceKey, 0, 0});
  Refresh();
}

void DvmSourceAsk(scpi_para*, char*) { ScpiAnswer(kSourceTexts[TaskMeasure.GetDVMSource() ? 1 : 0]); }

void DvmMode(scpi_para*, char* p) {
  const int v = ScpiKeyword(kDvmModes, p);
  if (v < 0) return;
  MeasureDVMFollowCoupling();  // the choices the coupling in force leaves
  if (ScpiRefuseIf(M().ChoiceGreyed(kMeaDvmMode, v))) return;
  SetItemAndRun(kMeaDvmMode, v, MeasureDVMMode);
}

void DvmModeAsk(scpi_para*, char*) {
  MeasureDVMFollowCoupling();
  const int mode = TaskMeasure.GetDVMMode();
  if (mode >= 0 && mode < 3) ScpiAnswer(kDvmModeTexts[mode]);
}

void DvmCurrent(scpi_para*, char*) {
  MeasureDVMFollowCoupling();
  FloatElement e{};
  {
    std::lock_guard<std::recursive_mutex> lock(MeasureParaCalcu.Lock());
    if (MeasureParaCalcu.GetDVMResult(TaskMeasure.GetDVMSource(), TaskMeasure.GetDVMMode(), &e) != 0) return;
  }
  std::printf("%lf\n", e.mantissa);
  char text[32];
  std::snprintf(text, sizeof text, "%.3E", e.mantissa);
  ScpiAnswer(text);
}
}  // namespace

template <>
const char* MeasureKey::name = "Measure";

instr TaskMeasureInstrStandard[] = {
    SCPI_KEY_ROWS("KEY:MEASure", MeasureKey),
    {"MEASure:ALL", All},
    {"MEASure:ALL?", AllAsk},
    {"MEASure:CLEar", Clear},
    {"MEASure:SOURce", SetSource<kMeaMasterSrc, Measure_MasterSrc>},
    {"MEASure:SOURce?", SourceAsk<kMeaMasterSrc>},
    {"MEASure:SLAVe:SOURce", SetSource<kMeaSlaveSrc, Measure_SlaveSrc>},
    {"MEASure:SLAVe:SOURce?", SourceAsk<kMeaSlaveSrc>},
    {"MEASure:PDUTy?", Single<kParaPduty>},
    {"MEASure:NDUTy?", Single<kParaNduty>},
    {"MEASure:PDELay?", Pair<kParaRiseDelay>},
    {"MEASure:NDELay?", Pair<kParaFallDelay>},
    {"MEASure:PHASe?", Pair<kParaPhase>},
    {"MEASure:VPP?", Single<kParaPkPk>},
    {"MEASure:VMAX?", Single<kParaMax>},
    {"MEASure:VMIN?", Single<kParaMin>},
    {"MEASure:VAMPlitude?", Single<kParaAmpl>},
    {"MEASure:VTOP?", Single<kParaHigh>},
    {"MEASure:VBASe?", Single<kParaLow>},
    {"MEASure:VMIDdle?", Single<kParaMiddle>},
    {"MEASure:VAVerage?", Interval<kParaCycMean, kParaMean>},
    {"MEASure:VRMS?", Interval<kParaCycRms, kParaRms>},
    {"MEASure:AREa?", Interval<kParaCycArea, kParaArea>},
    {"MEASure:OVERshoot?", Single<kParaOverSht>},
    {"MEASure:PREShoot?", Single<kParaPreSht>},
    {"MEASure:FREQuency?", Single<kParaFreq>},
    {"MEASure:RISetime?", Single<kParaRise>},
    {"MEASure:FALLtime?", Single<kParaFall>},
    {"MEASure:PERiod?", Single<kParaPeriod>},
    {"MEASure:PWIDth?", Single<kParaPwidth>},
    {"MEASure:NWIDth?", Single<kParaNwidth>},
    {"MEASure:FRR?", Pair<kParaFRFR>},
    {"MEASure:FRF?", Pair<kParaFRFF>},
    {"MEASure:FFR?", Pair<kParaFFFR>},
    {"MEASure:FFF?", Pair<kParaFFFF>},
    {"MEASure:LRR?", Pair<kParaFRLR>},
    {"MEASure:LRF?", Pair<kParaFRLF>},
    {"MEASure:LFR?", Pair<kParaFFLR>},
    {"MEASure:LFF?", Pair<kParaFFLF>},
    {"MEASure:DATA?", Data},
    {"MEASure:PULSes?", Single<kParaPulse>},
    {"MEASure:ACRMs?", Single<kParaAcRms>},
    {"DVM:ENABle", DvmEnable},
    {"DVM:ENABle?", DvmEnableAsk},
    {"DVM:SOURCe", DvmSource},
    {"DVM:SOURCe?", DvmSourceAsk},
    {"DVM:MODE", DvmMode},
    {"DVM:MODE?", DvmModeAsk},
    {"DVM:CURRent?", DvmCurrent},
    {"", nullptr},
};
