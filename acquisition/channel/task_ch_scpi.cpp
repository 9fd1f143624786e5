// The channel modules' SCPI handlers. Each command is written once for a
// channel context; the tables of CH1 and CH2 get one instance per channel.
// Handlers run on the SCPI worker beside the main loop.
#include "acquisition/channel/task_ch_scpi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/channel/task_ch2.h"
#include "core/input/rs232.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"

namespace {
constexpr keypara kNone{KEY_NO_KEY, 0, 0};
constexpr float kMinRatio = 0.001f, kMaxRatio = 1000.0f;
constexpr int kSelectWaitMs = 20;

// One channel as its commands see it.
struct ChScpi {
  TaskForChannel& task;
  int SetPara;  // the last parameter value or key code
};

ChScpi& Ctx(int ch) {
  static ChScpi ctx[2] = {{TaskCh1, 0}, {TaskCh2, 0}};
  return ctx[ch];
}

const ChannelLayout& L(const ChScpi& c) { return c.task.Layout(); }
int Item(const ChScpi& c, int n) { return int(uint16_t(c.task.TaskMenu.GetMenuItem(n))); }
void SetItem(ChScpi& c, int n, uint64_t v) { c.task.TaskMenu.SetMenuItem(n, v); }
bool IsOn(const ChScpi& c) { return SystemResource.runStatus->GetChStatus() >> L(c).channel & 1; }
bool IsActive(const ChScpi& c) { return SystemResource.runStatus->GetActivCh() == L(c).channel; }
bool CurrentProbe(const ChScpi& c) { return Item(c, kChProbeType) == 1 && Item(c, L(c).probeTypeA) == 1; }
void Refresh() { SystemResource.runStatus->SetDrawRefresh(); }

// A setter's parameter: its trace (format of the channel name and the
// parameter, or null), then the value of its keyword; -1 when none matches,
// the command refused unless `others` (the caller takes other forms too).
int Keyword(const ChScpi& c, const char* p, const scpipara* words, const char* trace,
            bool others = false) {
  if (ScpiMissing(p)) return -1;
  if (trace) std::printf(trace, c.task.Layout().textName, p);
  return others ? ScpiMatch(words, p) : ScpiMatchOrRefuse(words, p);
}

const scpipara kOnOff[] = {{"ON", 1}, {"OFF", 0}, {"1", 1}, {"0", 0}, {"", -1}};
const scpipara kCouplings[] = {{"DC", 0}, {"AC", 1}, {"GND", 2}, {"", -1}};
const scpipara kProbes[] = {{"0.001X", 0}, {"0.01X", 1}, {"0.1X", 2}, {"1X", 3},
                            {"10X", 4},    {"100X", 5},  {"1000X", 6}, {"", -1}};
const scpipara kProbeTypes[] = {{"VOLTs", 0}, {"AMPeres", 1}, {"", -1}};
const scpipara kUnits[] = {{"VOLTs", 0}, {"AMPeres", 1}, {"WATTs", 2}, {"UNKNown", 3}, {"", -1}};

const char* const kCouplingTexts[] = {"DC", "AC", "GND"};
const char* const kOffOnTexts[] = {"0", "1"};
const char* const kProbeTexts[] = {"0.001X", "0.01X", "0.1X", "1X", "10X", "100X", "1000X"};
const char* const kProbeTypeTexts[] = {"VOLTs", "AMPeres"};
const char* const kUnitTexts[] = {"VOLTs", "AMPeres", "WATTs ", "UNKNown"};

// A setting that is one keyword into one item and its handler; the page
// handler follows, as after a front-panel change.
struct Choice {
  int16_t item;
  const scpipara* words;
  int (TaskForChannel::*apply)(keypara);
  const char* trace;  // printf format of the channel name and the parameter
  const char* const* answers;
  int answerCount;
  const char* askTrace;  // printf format of the channel name and the value, or null
};

const Choice kCoupling = {kChCoupling, kCouplings, &TaskForChannel::Coupling, "Run Func:  %s_COUPling() \n",
                          kCouplingTexts, 3, "%s_CouplingAsk = %d \n"};
const Choice kBwLimit = {kChBwLimit, kOnOff, &TaskForChannel::BwLimit, "Run Func:  %s_BwLimit()   para = %s \n",
                         kOffOnTexts, 2, nullptr};
const Choice kInvert = {kChInvert, kOnOff, &TaskForChannel::Invert, "Run Func:  %s_Invert()   para = %s \n",
                        kOffOnTexts, 2, nullptr};
const Choice kVernier = {kChVoltsDiv, kOnOff, &TaskForChannel::VoltsDiv, "Run Func:  %s_Probe()   para = %s \n",
                         kOffOnTexts, 2, nullptr};

template <const Choice& D>
int SetChoice(ChScpi& c, const char* p) {
  const int v = Keyword(c, p, D.words, D.trace);
  if (v < 0) return -1;
  c.SetPara = v;
  SetItem(c, D.item, uint64_t(v));
  (c.task.*D.apply)(kNone);
  c.task.MenuOp(kNone);  // the channel refresh: coupling and limit reach the front end
  Refresh();
  return 0;
}

template <const Choice& D>
int AskChoice(ChScpi& c, const char*) {
  const int v = Item(c, D.item);
  if (D.askTrace) std::printf(D.askTrace, L(c).textName, v);
  if (v >= D.answerCount) return -1;
  ScpiAnswer(D.answers[v]);
  return 0;
}

// ---- the CH key ----

int Key(ChScpi& c, const char*) {
  std::printf("Scpi_Key_%s ...\n", L(c).textName);
  return SystemResource.keyboard->AppendScpiKey(L(c).panelKey, 1);
}

int KeyLock(ChScpi& c, const char* p) {
  const int v = Keyword(c, p, kOnOff, nullptr);
  if (v < 0) return -1;
  c.SetPara = v;
  return SystemResource.keyboard->SetKeyValueLock(L(c).panelKey, v);
}

int KeyLockAsk(ChScpi& c, const char*) {
  ScpiAnswerNumber(SystemResource.keyboard->KeyValueIsLock(L(c).panelKey));
  return 0;
}

int OnAsk(ChScpi& c, const char*) {
  ScpiAnswerNumber(IsOn(c) ? 1 : 0);
  return 0;
}

// ---- display and select ----

// OFF switches the channel off and hands the menu to the channel now active;
// ON does what the CH key does, unless the channel is on and active already.
int Display(ChScpi& c, const char* p) {
  const int v = Keyword(c, p, kOnOff, "Run Func:  %s_Display()   para = %s \n");
  if (v < 0) return -1;
  c.SetPara = L(c).panelKey;
  if (v == 0) {
    if (IsOn(c)) {
      c.task.SendSysRequest(kReqChOnOff, L(c).channel, 0);
      const int id = ChannelTaskId(SystemResource.runStatus->GetActivCh());
      if (id >= 0) TaskManage.ActiveTask(id, -1);
    }
  } else {
    if (IsOn(c) && IsActive(c)) return 0;
    c.task.MenuOp(keypara{L(c).panelKey, 0, 0});
  }
  Refresh();
  return 0;
}

int Select(ChScpi& c, const char*) {
  SystemResource.runStatus->SetActivCh(L(c).channel);
  TaskManage.ActiveTask(L(c).taskId, 0);
  c.task.TaskMenu.SetCurrPage(0);
  c.task.SendSysRequest(kReqChOnOff, L(c).channel, 1);
  Refresh();
  SettingsWaitMs(kSelectWaitMs);  // the main loop shows the page meanwhile
  return 0;
}

int SelectAsk(ChScpi& c, const char*) {
  const int active = SystemResource.runStatus->GetActivCh();
  std::printf("ActiveCh = %#x\n", unsigned(active));
  ScpiAnswer(active == L(c).channel ? "1" : "0");
  return 0;
}

// ---- probe and unit ----

// The probe value whose ratio the number `p` is exactly ("1" is 1X), or -1.
int StandardProbe(const char* p) {
  const double r = std::strtod(p, nullptr);
  for (int i = 0; kProbes[i].pattern[0]; ++i)
    if (std::strtod(kProbes[i].pattern, nullptr) == r) return kProbes[i].value;
  return -1;
}

// A probe keyword, or a number: a standard ratio's keyword when it is one,
// else the custom ratio (0.001..1000).
int Probe(ChScpi& c, const char* p) {
  const int v = Keyword(c, p, kProbes, "Run Func:  %s_Probe()   para = %s \n", true);
  if (!p) return -1;
  if (v < 0) {
    char* end = nullptr;
    const double r = std::strtod(p, &end);
    if (end == p || std::isnan(r)) return ScpiRefuse();  // no number
  }
  const int standard = v >= 0 ? v : StandardProbe(p);
  if (standard >= 0) {
    SetItem(c, kChProbe, uint64_t(standard));
  } else {
    const double r = std::strtod(p, nullptr);
    const float ratio = float(std::clamp(r, double(kMinRatio), double(kMaxRatio)));
    SetItem(c, kChProbe, kChProbeCustom);
    SetItem(c, kChCustom, ItemParaFromF32(ratio));
    c.task.Custom(kNone);
  }
  c.SetPara = Item(c, kChProbe);
  c.task.Probe(kNone);
  c.task.MenuOp(kNone);
  Refresh();
  return 0;
}

int ProbeAsk(ChScpi& c, const char*) {
  const int v = Item(c, kChProbe);
  if (v < kChProbeCustom) {
    ScpiAnswer(kProbeTexts[v]);
  } else if (v == kChProbeCustom) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3fX", double(ItemParaF32(c.task.TaskMenu.GetMenuItem(kChCustom))));
    ScpiAnswer(text);
  } else {
    return -1;
  }
  return 0;
}

// Switches between the voltage and the current probe (and their pages).
void SwitchProbeType(ChScpi& c, int type) {
  if (type == 1)
    c.task.ProbeType(kNone);
  else
    c.task.ProbeType_A(kNone);
}

int ProbeType(ChScpi& c, const char* p) {
  const int v = Keyword(c, p, kProbeTypes, nullptr);
  if (v < 0) return -1;
  c.SetPara = v;
  if (v != Item(c, kChProbeType)) SwitchProbeType(c, v);
  c.task.MenuOp(kNone);
  Refresh();
  return 0;
}

int ProbeTypeAsk(ChScpi& c, const char*) {
  const int v = Item(c, kChProbeType);
  if (v > 1) return -1;
  ScpiAnswer(kProbeTypeTexts[v]);
  return 0;
}

// Unit A takes the current probe, the other units the voltage probe; the
// voltage probe then takes the unit asked for.
int Units(ChScpi& c, const char* p) {
  const int v = Keyword(c, p, kUnits, "Run Func:  %s_Probe()   para = %s \n");
  if (v < 0) return -1;
  c.SetPara = v;
  const int type = Item(c, kChProbeType);
  if (type == 0 && v == 1) {
    SwitchProbeType(c, 1);
    c.task.MenuOp(kNone);
  } else {
    if (type == 1 && v != 1) SwitchProbeType(c, 0);
    SetItem(c, kChUnit, uint64_t(v));
    c.task.Unit(kNone);
    if (type == 1 && v != 1) c.task.MenuOp(kNone);
  }
  Refresh();
  return 0;
}

// The unit of the probe page in force.
int UnitsAsk(ChScpi& c, const char*) {
  const int v = Item(c, CurrentProbe(c) ? int(L(c).unitA) : int(kChUnit));
  if (v > 3) return -1;
  ScpiAnswer(kUnitTexts[v]);
  return 0;
}

// ---- the tables ----

using ChCommand = int (*)(ChScpi&, const char*);

template <ChCommand F, int Ch>
void Run(scpi_para*, char* p) {
  F(Ctx(Ch), p);
}

// The design's handler of each command and channel; the channel context
// does the work (`Run`).
#define CH_SCPI(one, two, command)                                   \
  void one(scpi_para* s, char* p) { Run<command, 0>(s, p); }       \
  void two(scpi_para* s, char* p) { Run<command, 1>(s, p); }
CH_SCPI(Scpi_Key_Ch1, Scpi_Key_Ch2, Key)
CH_SCPI(Scpi_Key_Ch1Lock, Scpi_Key_Ch2Lock, KeyLock)
CH_SCPI(Scpi_Key_Ch1LockAsk, Scpi_Key_Ch2LockAsk, KeyLockAsk)
CH_SCPI(Scpi_Key_CH1LedAsk, Scpi_Key_CH2LedAsk, OnAsk)
CH_SCPI(Scpi_Ch1_Coupling, Scpi_Ch2_Coupling, SetChoice<kCoupling>)
CH_SCPI(Scpi_Ch1_CouplingAsk, Scpi_Ch2_CouplingAsk, AskChoice<kCoupling>)
CH_SCPI(Scpi_Ch1_BwLimit, Scpi_Ch2_BwLimit, SetChoice<kBwLimit>)
CH_SCPI(Scpi_Ch1_BwLimitAsk, Scpi_Ch2_BwLimitAsk, AskChoice<kBwLimit>)
CH_SCPI(Scpi_Ch1_Display, Scpi_Ch2_Display, Display)
CH_SCPI(Scpi_Ch1_DisplayAsk, Scpi_Ch2_DisplayAsk, OnAsk)
CH_SCPI(Scpi_Ch1_Invert, Scpi_Ch2_Invert, SetChoice<kInvert>)
CH_SCPI(Scpi_Ch1_InvertAsk, Scpi_Ch2_InvertAsk, AskChoice<kInvert>)
CH_SCPI(Scpi_Ch1_Probe, Scpi_Ch2_Probe, Probe)
CH_SCPI(Scpi_Ch1_ProbeAsk, Scpi_Ch2_ProbeAsk, ProbeAsk)
CH_SCPI(Scpi_Ch1_ProbeType, Scpi_Ch2_ProbeType, ProbeType)
CH_SCPI(Scpi_Ch1_ProbeTypeAsk, Scpi_Ch2_ProbeTypeAsk, ProbeTypeAsk)
CH_SCPI(Scpi_Ch1_Units, Scpi_Ch2_Units, Units)
CH_SCPI(Scpi_Ch1_UnitsAsk, Scpi_Ch2_UnitsAsk, UnitsAsk)
CH_SCPI(Scpi_Ch1_VoltsDiv, Scpi_Ch2_VoltsDiv, SetChoice<kVernier>)
CH_SCPI(Scpi_Ch1_VoltsDivAsk, Scpi_Ch2_VoltsDivAsk, AskChoice<kVernier>)
CH_SCPI(Scpi_Ch1_Select, Scpi_Ch2_Select, Select)
CH_SCPI(Scpi_Ch1_SelectAsk, Scpi_Ch2_SelectAsk, SelectAsk)
#undef CH_SCPI

struct Row {
  const char* pattern;  // %d: the channel number
  ScpiHandler handler[2];
};

const Row kRows[kChScpiRows] = {
    {"KEY:CH%d", {Scpi_Key_Ch1, Scpi_Key_Ch2}},
    {"KEY:CH%d:LOCK", {Scpi_Key_Ch1Lock, Scpi_Key_Ch2Lock}},
    {"KEY:CH%d:LOCK?", {Scpi_Key_Ch1LockAsk, Scpi_Key_Ch2LockAsk}},
    {"KEY:CH%d:LED?", {Scpi_Key_CH1LedAsk, Scpi_Key_CH2LedAsk}},
    {"CHANnel%d:COUPling", {Scpi_Ch1_Coupling, Scpi_Ch2_Coupling}},
    {"CHANnel%d:COUPling?", {Scpi_Ch1_CouplingAsk, Scpi_Ch2_CouplingAsk}},
    {"CHANnel%d:BWLimit", {Scpi_Ch1_BwLimit, Scpi_Ch2_BwLimit}},
    {"CHANnel%d:BWLimit?", {Scpi_Ch1_BwLimitAsk, Scpi_Ch2_BwLimitAsk}},
    {"CHANnel%d:DISPlay", {Scpi_Ch1_Display, Scpi_Ch2_Display}},
    {"CHANnel%d:DISPlay?", {Scpi_Ch1_DisplayAsk, Scpi_Ch2_DisplayAsk}},
    {"CHANnel%d:INVert", {Scpi_Ch1_Invert, Scpi_Ch2_Invert}},
    {"CHANnel%d:INVert?", {Scpi_Ch1_InvertAsk, Scpi_Ch2_InvertAsk}},
    {"CHANnel%d:PROBe", {Scpi_Ch1_Probe, Scpi_Ch2_Probe}},
    {"CHANnel%d:PROBe?", {Scpi_Ch1_ProbeAsk, Scpi_Ch2_ProbeAsk}},
    {"CHANnel%d:PROBe:TYPe", {Scpi_Ch1_ProbeType, Scpi_Ch2_ProbeType}},
    {"CHANnel%d:PROBe:TYPe?", {Scpi_Ch1_ProbeTypeAsk, Scpi_Ch2_ProbeTypeAsk}},
    {"CHANnel%d:UNITs", {Scpi_Ch1_Units, Scpi_Ch2_Units}},
    {"CHANnel%d:UNITs?", {Scpi_Ch1_UnitsAsk, Scpi_Ch2_UnitsAsk}},
    {"CHANnel%d:VERNier", {Scpi_Ch1_VoltsDiv, Scpi_Ch2_VoltsDiv}},
    {"CHANnel%d:VERNier?", {Scpi_Ch1_VoltsDivAsk, Scpi_Ch2_VoltsDivAsk}},
    {"CHANnel%d:SELect", {Scpi_Ch1_Select, Scpi_Ch2_Select}},
    {"CHANnel%d:SELect?", {Scpi_Ch1_SelectAsk, Scpi_Ch2_SelectAsk}},
};
}  // namespace

void BuildChannelInstr(instr* table, int ch) {
  if (!table || ch < 0 || ch > 1) return;
  for (int i = 0; i < kChScpiRows; ++i) {
    std::snprintf(table[i].pattern, sizeof table[i].pattern, kRows[i].pattern, ch + 1);
    table[i].handler = kRows[i].handler[ch];
  }
  table[kChScpiRows] = instr{};
}
