// The measure commands through the SCPI thread and its worker, as a transport
// sends them: a 1 kHz sine on CH1 and a 1 kHz square on CH2, every query's
// reply byte for byte in its "%e" form against the engine's result and, for
// the main parameters, against the applied signal; "*" for switched-off
// sources; the settings reaching the menu items; the voltmeter commands.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "analysis/measure/task_measure.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"

namespace {
using plat::SignalShape;
using plat::TestSignal;

constexpr int kTb200us = 19, kV500mV = 11;

TestSignal Sig(SignalShape shape, double freq, double amp) {
  TestSignal s;
  s.shape = shape;
  s.frequencyHz = freq;
  s.amplitudeV = amp;
  s.duty = 0.5;
  return s;
}

std::string Line(const std::string& text) { return text + "\r\n"; }
std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%e", v);
  return text;
}
// The reply the engine's result for `para` of `source` must give.
std::string Expected(int source, int para) {
  float v = 0;
  return MeasureParaCalcu.GetMeasurePara(source, para, &v) == 0 ? Number(double(v)) : "*";
}
double Value(const std::string& reply) { return std::strtod(reply.c_str(), nullptr); }

constexpr int kReplyLimitMs = 30000;  // a reply that is due; only a fault waits this long

struct MeasureScpi : ::testing::Test {
  Bench bench;

  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kOnDemand);
    SysRunStatus.SetMemDepth(1);
    SetWaveTestSettings();
    SysRunInfo.sourceOn = 3;
    TimeBase.SetRealTimeBase(0, kTb200us);
    TimeBase.AdjTimeBase(0, 0);
    for (int ch = 0; ch < 2; ++ch) {
      Vertical.SetRealYsensitivity(ch, kV500mV);
      Vertical.AdjYsensitivity(ch, 0);
    }
    Vertical.YParaSyncRefresh();
    TimeBase.XParaSyncRefresh(0);
    bench.Fpga().SetSignal(0, Sig(SignalShape::kSine, 1000, 1.0));
    bench.Fpga().SetSignal(1, Sig(SignalShape::kSquare, 1000, 1.0));
    WaveOp.RequestChData(3);
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    bench.Pass();
    ASSERT_EQ(0, StartScpiThread());
    SysRunStatus.ClearDrawRefresh();
    QelMsg.ClearMessage();
  }
  // A measurement answers from records the main loop reads after it was
  // asked: the loop's passes run, each with an acquisition, until the reply
  // is in.
  std::string Ask(const std::string& line) {
    const bool measures = line.rfind("MEAS", 0) == 0 && line.find('?') != std::string::npos &&
                          line.find("SOUR") == std::string::npos &&
                          line.find("ALL?") == std::string::npos;
    if (!measures) return ScpiQuery(line + "\n");
    std::atomic<bool> replied{false};
    std::thread loop([&] {
      while (!replied) {
        bench.Fpga().AcquireNow();
        bench.Pass();
      }
    });
    const std::string reply = ScpiQuery(line + "\n", kScpiSourceTransport, kReplyLimitMs);
    replied = true;
    loop.join();
    return reply;
  }
  // No reply within half a second (a reply takes a few milliseconds).
  bool Silent(const std::string& line) { return ScpiQuery(line + "\n", kScpiSourceTransport, 500).empty(); }
  // A setter, then a query the worker runs after it.
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("MEAS:ALL?").empty());
  }
  // The reply to `line`, then the engine's result it must show.
  void ExpectReply(const std::string& line, int source, int para) {
    const std::string reply = Ask(line);
    EXPECT_EQ(reply, Line(Expected(source, para))) << line;
  }
  int Item(int n) { return int(uint16_t(TaskMeasure.TaskMenu.GetMenuItem(n))); }
};

struct Row {
  const char* command;
  int para;
};
const Row kSingles[] = {{"PDUTy", kParaPduty},   {"NDUTy", kParaNduty},     {"VPP", kParaPkPk},
                        {"VMAX", kParaMax},      {"VMIN", kParaMin},        {"VAMPlitude", kParaAmpl},
                        {"VTOP", kParaHigh},     {"VBASe", kParaLow},       {"VMIDdle", kParaMiddle},
                        {"OVERshoot", kParaOverSht}, {"PREShoot", kParaPreSht}, {"FREQuency", kParaFreq},
                        {"RISetime", kParaRise}, {"FALLtime", kParaFall},   {"PERiod", kParaPeriod},
                        {"PWIDth", kParaPwidth}, {"NWIDth", kParaNwidth},   {"PULSes", kParaPulse},
                        {"ACRMs", kParaAcRms}};
const Row kPairs[] = {{"PDELay", kParaRiseDelay}, {"NDELay", kParaFallDelay}, {"PHASe", kParaPhase},
                      {"FRR", kParaFRFR},         {"FRF", kParaFRFF},         {"FFR", kParaFFFR},
                      {"FFF", kParaFFFF},         {"LRR", kParaFRLR},         {"LRF", kParaFRLF},
                      {"LFR", kParaFFLR},         {"LFF", kParaFFLF}};
}  // namespace

TEST_F(MeasureScpi, SingleSourceQueriesReplyTheEnginesResult) {
  for (const char* src : {"CHANnel1", "CHAN2"}) {
    const int s = src[4] == 'n' ? 0 : 1;
    for (const Row& r : kSingles) {
      SCOPED_TRACE(std::string(r.command) + " " + src);
      ExpectReply(std::string("MEASure:") + r.command + "? " + src, s, r.para);
    }
  }
  // Against the applied signals: the 1 V sine and the 1 V square.
  EXPECT_NEAR(Value(Ask("MEAS:FREQ? CHAN1")), 1000, 5);
  EXPECT_NEAR(Value(Ask("MEAS:PER? CHAN1")), 1e-3, 5e-6);
  EXPECT_NEAR(Value(Ask("MEAS:VPP? CHAN1")), 2.0, 0.06);
  EXPECT_NEAR(Value(Ask("MEAS:VMAX? CHAN1")), 1.0, 0.03);
  EXPECT_NEAR(Value(Ask("MEAS:ACRM? CHAN1")), 1 / std::sqrt(2.0), 0.02);
  EXPECT_NEAR(Value(Ask("MEAS:PDUT? CHAN2")), 50, 1);
  EXPECT_NEAR(Value(Ask("MEAS:VAMP? CHAN2")), 2.0, 0.06);
  EXPECT_NEAR(Value(Ask("MEAS:PWID? CHAN2")), 5e-4, 8e-6);
  // No parameter: the menu's master (CH1); an unknown keyword: no reply.
  ExpectReply("MEAS:FREQ?", 0, kParaFreq);
  Ask("MEAS:SOUR CHAN2");
  ExpectReply("MEAS:PDUT?", 1, kParaPduty);
  EXPECT_TRUE(Silent("MEAS:VPP? CHAN3"));
  EXPECT_TRUE(Silent("MEAS:VPP? 5"));
}

TEST_F(MeasureScpi, SwitchedOffSourcesAndMathReplyAStar) {
  SysRunInfo.sourceOn = 1;
  EXPECT_EQ(Ask("MEAS:VPP? CHAN2"), "*\r\n");
  EXPECT_EQ(Ask("MEAS:VPP? MATH"), "*\r\n");
  EXPECT_EQ(Ask("MEAS:VPP? 2"), "*\r\n");
  EXPECT_EQ(Ask("MEAS:PDEL? CHAN1,CHAN2"), "*\r\n");
  EXPECT_EQ(Ask("MEAS:VRMS? CYCL,CHAN2"), "*\r\n");
  EXPECT_NE(Ask("MEAS:VPP? 0"), "*\r\n");
}

TEST_F(MeasureScpi, IntervalQueriesChooseCycleOrDisplay) {
  const struct {
    const char* command;
    int cycle, display;
  } rows[] = {{"VAVerage", kParaCycMean, kParaMean}, {"VRMS", kParaCycRms, kParaRms}, {"AREa", kParaCycArea, kParaArea}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.command);
    const std::string q = std::string("MEAS:") + r.command + "? ";
    ExpectReply(q + "CYCLe", 0, r.cycle);  // the master, CH1
    ExpectReply(q + "CHANnel2", 1, r.display);
    ExpectReply(q + "DISP,CHAN2", 1, r.display);
    ExpectReply(q + "0,CHAN1", 0, r.cycle);
    EXPECT_TRUE(Silent(q + "CYCL,CHAN7"));
    EXPECT_TRUE(Silent(q + "CYCLe,CHANnel1CHANnel1"));  // a part longer than 14 characters
  }
  EXPECT_NEAR(Value(Ask("MEAS:VRMS? CYCL,CHAN1")), 1 / std::sqrt(2.0), 0.02);
  EXPECT_NEAR(Value(Ask("MEAS:VRMS? CHAN2")), 1.0, 0.03);
  EXPECT_NEAR(Value(Ask("MEAS:VAV? CYCLE,CHAN1")), 0.0, 0.03);
}

TEST_F(MeasureScpi, TwoSourceQueries) {
  for (const Row& r : kPairs) {
    SCOPED_TRACE(r.command);
    const std::string q = std::string("MEASure:") + r.command + "?";
    ExpectReply(q + " CHANnel1,CHANnel2", 0, r.para);
    EXPECT_NE(Expected(0, r.para), "*");
    EXPECT_EQ(Ask(q + " CHAN2,CHAN2"), "0.000000e+00\r\n");
    EXPECT_TRUE(Silent(q + " CHANnel1"));  // no comma: no reply
    EXPECT_TRUE(Silent(q + " CHAN1,XYZ"));
  }
  // Both at the menu's master CH1 and slave CH1 without a parameter.
  EXPECT_EQ(Ask("MEAS:PDEL?"), "0.000000e+00\r\n");
  Ask("MEAS:SLAV:SOUR CHAN2");
  ExpectReply("MEAS:PHAS?", 0, kParaPhase);
}

TEST_F(MeasureScpi, DataAnswersAllParametersInItsOrder) {
  const int order[kMeaParas] = {0,  1,  2,  6,  3,  5,  4,  7,  8,  9,  10, 30, 31, 32, 33, 12, 13, 14,
                                15, 18, 19, 28, 29, 16, 17, 34, 20, 21, 22, 23, 24, 25, 26, 27, 35, 11};
  auto fields = [](std::string reply) {
    std::vector<std::string> out;
    EXPECT_EQ(reply.substr(reply.size() - 3), ",\r\n");  // the trailing comma stays
    reply.resize(reply.size() - 3);
    size_t at = 0;
    for (size_t c; (c = reply.find(',', at)) != std::string::npos; at = c + 1) out.push_back(reply.substr(at, c - at));
    out.push_back(reply.substr(at));
    return out;
  };
  Ask("MEAS:SLAV:SOUR CHAN2");
  std::string reply = Ask("MEASure:DATA?");
  EXPECT_LE(reply.size(), 511u + 2);
  std::vector<std::string> f = fields(reply);
  ASSERT_EQ(f.size(), size_t(kMeaParas));
  for (int i = 0; i < kMeaParas; ++i) EXPECT_EQ(f[size_t(i)], Expected(0, order[i])) << i;
  EXPECT_NEAR(Value(f[16]), 1000, 5);  // Freq

  SysRunInfo.sourceOn = 1;  // only the master: the two-source fields are "*"
  f = fields(Ask("MEAS:DATA?"));
  ASSERT_EQ(f.size(), size_t(kMeaParas));
  for (int i = 0; i < kMeaParas; ++i) {
    if (MeasureIsDoublePara(order[i]) == 1)
      EXPECT_EQ(f[size_t(i)], "*") << i;
    else
      EXPECT_EQ(f[size_t(i)], Expected(0, order[i])) << i;
  }
  SysRunInfo.sourceOn = 2;  // master off: every field "*"
  f = fields(Ask("MEAS:DATA?"));
  for (const std::string& s : f) EXPECT_EQ(s, "*");
}

TEST_F(MeasureScpi, SettingsReachTheMenuItems) {
  EXPECT_EQ(Ask("MEAS:SOUR?"), "CHANnel1\r\n");
  Set("MEASure:SOURce MATH");
  EXPECT_EQ(Item(kMeaMasterSrc), 2);
  EXPECT_TRUE(SysRunStatus.IsDrawRefresh());
  EXPECT_EQ(Ask("MEASure:SOURce?"), "MATH\r\n");
  Set("MEAS:SOUR 1");
  EXPECT_EQ(Ask("MEAS:SOUR?"), "CHANnel2\r\n");
  Set("MEAS:SOUR CH2");  // no such keyword
  Set("MEAS:SOUR");
  EXPECT_EQ(Item(kMeaMasterSrc), 1);
  Set("MEAS:SLAVe:SOURce CHAN2");
  EXPECT_EQ(Item(kMeaSlaveSrc), 1);
  EXPECT_EQ(Ask("MEAS:SLAV:SOUR?"), "CHANnel2\r\n");

  EXPECT_EQ(Ask("MEAS:ALL?"), "0\r\n");
  Set("MEASure:ALL ON");
  EXPECT_TRUE(TaskMeasure.IsAllParaOn());
  EXPECT_EQ(Ask("MEAS:ALL?"), "1\r\n");
  Set("MEAS:ALL maybe");
  EXPECT_TRUE(TaskMeasure.IsAllParaOn());
  Set("MEAS:ALL 0");
  EXPECT_FALSE(TaskMeasure.IsAllParaOn());

  TaskMeasure.SetSlot(0, kParaFreq, 0);
  Set("MEASure:CLEar");
  EXPECT_EQ(TaskMeasure.SlotPara(0), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 44);
  EXPECT_EQ(bench.EepromWord(137), 0xFFFF);

  Set("KEY:MEASure:LOCK ON");
  EXPECT_EQ(Ask("KEY:MEAS:LOCK?"), "1\r\n");
  Set("KEY:MEAS:LOCK 0");
  EXPECT_EQ(Ask("KEY:MEAS:LOCK?"), "0\r\n");
}

TEST_F(MeasureScpi, VoltmeterCommands) {
  EXPECT_EQ(Ask("DVM:ENAB?"), "0\r\n");
  Set("DVM:ENABle ON");
  EXPECT_TRUE(TaskMeasure.IsDVMOn());
  EXPECT_EQ(Ask("DVM:ENABle?"), "1\r\n");
  Set("DVM:ENAB ON");  // already on: stays on
  EXPECT_TRUE(TaskMeasure.IsDVMOn());

  EXPECT_EQ(Ask("DVM:SOURC?"), "CHANnel1\r\n");
  Set("DVM:SOURCe CHANnel2");
  EXPECT_EQ(TaskMeasure.GetDVMSource(), 1);
  EXPECT_EQ(bench.Fpga().Word(74), 1);
  EXPECT_EQ(Ask("DVM:SOURCe?"), "CHANnel2\r\n");
  Set("DVM:SOURC CHAN2");  // a keyword of the table only
  EXPECT_EQ(TaskMeasure.GetDVMSource(), 1);

  Set("DVM:MODE DCRMs");
  EXPECT_EQ(Ask("DVM:MODE?"), "DCRMs\r\n");
  Set("DVM:MODE ACRM");
  EXPECT_EQ(Ask("DVM:MODE?"), "ACRMs\r\n");
  // The AC-coupled channel reads only AC RMS: DC is refused.
  Vertical.SetChCoupling(1, 1);
  MeasureDVMModeSync();
  Set("DVM:MODE DC");
  EXPECT_EQ(Ask("DVM:MODE?"), "ACRMs\r\n");
  Vertical.SetChCoupling(1, 0);
  MeasureDVMModeSync();
  Set("DVM:MODE DC");
  EXPECT_EQ(Ask("DVM:MODE?"), "DC\r\n");

  // The reading: the AC RMS of the 1 V square on CH2, as its mantissa.
  Set("DVM:MODE ACRMs");
  Ask("MEAS:VPP? CHAN2");  // a pass over CH2 reads the voltmeter too
  FloatElement e{};
  ASSERT_EQ(MeasureParaCalcu.GetDVMResult(1, 2, &e), 0);
  char text[32];
  std::snprintf(text, sizeof text, "%.3E", e.mantissa);
  EXPECT_EQ(Ask("DVM:CURRent?"), Line(text));
  EXPECT_NEAR(MeasureParaCalcu.GetDVMValue(1, 2), 1.0, 0.05);

  Set("DVM:ENAB OFF");
  EXPECT_FALSE(TaskMeasure.IsDVMOn());
}
