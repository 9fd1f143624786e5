// The system commands through the SCPI thread and its worker, as a transport
// sends them: identity and state answers byte for byte, run and stop reaching
// the simulated FPGA, key presses and locks, positions, scales, offsets and
// levels in the models and the decoded words, and the setup transfer.
#include <gtest/gtest.h>

#include <cstring>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/system_module/task_system.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/eeprom_map.h"
#include "core/messages/msg.h"
#include "core/input/rs232.h"
#include "core/state/sys_run_info.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "system/utility/task_utility.h"
#include "tests/bench/bench.h"

namespace {
struct SysScpi : ::testing::Test {
  Bench bench;
  plat::SimFpga& fpga = plat::Fpga();

  void SetUp() override {
    auto e = FormattedEeprom(6, 0, 0);
    e[EE_SOURCE_ON] = 1;
    bench.SetEeprom(e);
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    SetWaveTestSettings();
    ASSERT_EQ(0, StartScpiThread());
    QelMsg.ClearMessage();
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n"); }
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("SYSTem:ERRor?").empty());
  }
  // The setup command and its block as two messages, as the transports send them.
  void SendSetup(const std::string& block) {
    ScpiQuery("SYSTem:SETup\r\n", kScpiSourceTransport, 0);
    Scpi.SendScpiMsg2(kScpiSourceTransport, block.data(), int(block.size()));
  }
  int16_t Raw16(const std::string& a) {
    EXPECT_EQ(a.size(), 2u);
    int16_t v = 0;
    if (a.size() == 2) std::memcpy(&v, a.data(), 2);
    return v;
  }
};
}  // namespace

TEST_F(SysScpi, IdentityErrorsAndScreen) {
  // The serial number is the one the board's SN.txt holds.
  EXPECT_EQ(ReadRootFile("SN.txt"), "[SERIAL] QEL2200000001\n");
  EXPECT_EQ(Ask("*IDN?"), "KOLVET Technologies,QEL2200KS,QEL2200000001,1.0.0\r\n");
  EXPECT_EQ(Ask("SYSTem:ERRor?"), "0,\"No error\"\r\n");
  EXPECT_EQ(Ask("SYST:ERR?").size(), 14u);
  EXPECT_EQ(Ask("SYSTem:INFO?"), "SCPI,1.0.0,1.0,DSO,QEL2200KS,200MHz,1GSa/s,2,QEL2200KS,EN,QEL2200000001,2026-12-01,0\r\n");
  const std::string scn = Ask("SCN?");
  ASSERT_EQ(scn.size(), 20u);
  const int16_t expect[10] = {800, 480, 14, 8, 50, 50, 33, 30, 433, 730};
  EXPECT_EQ(std::memcmp(scn.data(), expect, 20), 0);
  EXPECT_EQ(Ask("CHSEL?"), "0\r\n");
  SysRunStatus.SetActivCh(5);
  EXPECT_EQ(Ask("CHSEL?"), "0xFF\r\n");
}

TEST_F(SysScpi, SerialNumberNeedsBothQuotesAndFitsItsSlot) {
  Set("FACTory:MIS:SN \"SN2200-77\"");
  EXPECT_EQ(Ask("FACTory:MIS:SN?"), "SN2200-77\r\n");
  EXPECT_EQ(Ask("*IDN?"), "KOLVET Technologies,QEL2200KS,SN2200-77,1.0.0\r\n");
  EXPECT_TRUE(RootFileExists("SN.txt"));
  Set("FACTory:MIS:SN \"OPEN");
  Set("FACTory:MIS:SN \"" + std::string(40, 'x') + "\"");
  EXPECT_EQ(Ask("FACT:MIS:SN?"), "SN2200-77\r\n");
}

TEST_F(SysScpi, RunStopAndProcReachTheFpga) {
  fpga.AcquireNow();
  bench.Pass();
  bench.AdvanceMs(10);  // the raster is drawn: STOP finds the drawing idle
  Set(":STOP");
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 4);
  EXPECT_EQ(fpga.Word(128), 1);
  std::string proc = Ask("PROC?");
  ASSERT_EQ(proc.size(), 4u);
  int32_t v;
  std::memcpy(&v, proc.data(), 4);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(Ask("KEY:RS:LED?"), "2\r\n");
  EXPECT_EQ(Ask("KEY:LED?"), "1000\r\n");
  Set(":RUN");
  EXPECT_EQ(SysRunStatus.GetAcquireStatus(0), 1);  // starting
  EXPECT_EQ(fpga.Word(128), 0);
  proc = Ask("PROC?");
  std::memcpy(&v, proc.data(), 4);
  EXPECT_EQ(v, 4);  // status 1 reports 4
  EXPECT_EQ(Ask("KEY:LED?"), "1001\r\n");
  EXPECT_EQ(Ask("*OPC?"), "1\r\n");
}

TEST_F(SysScpi, KeysQueueTheirCodesAndLocksAreReported) {
  const int tb = SysRunStatus.GetRealTimeBase(0);
  Set("KEY:TBKNRight");
  bench.Pass();  // the main loop takes the key: the time base steps one faster
  fpga.AcquireNow();
  bench.Pass();
  EXPECT_EQ(SysRunStatus.GetRealTimeBase(0), tb - 1);

  EXPECT_EQ(Ask("KEY:LOCK?"), std::string(41, '0') + "\r\n");
  Set("KEY:F1:LOCK ON");
  std::string locks = Ask("KEY:LOCK?");
  ASSERT_EQ(locks.size(), 43u);
  EXPECT_EQ(locks[10], '1');
  EXPECT_EQ(locks.find('1'), 10u);
  EXPECT_EQ(Ask("KEY:F1:LOCK?"), "1\r\n");
  Set("KEY:F1:LOCK 0");
  EXPECT_EQ(Ask("KEY:F1:LOCK?"), "0\r\n");

  Set("SYSTem:LOCK ON");
  EXPECT_EQ(Ask("SYSTem:LOCK?"), "1\r\n");
  EXPECT_EQ(QelMsg.GetMessageID(), 79);
  Set("SYST:LOCK OFF");
  EXPECT_EQ(Ask("SYSTem:LOCK?"), "0\r\n");
  EXPECT_EQ(QelMsg.GetMessageID(), 80);
}

TEST_F(SysScpi, PositionsAreClampedAndAnsweredRaw) {
  Set("CHANnel1:POSition 400");
  EXPECT_EQ(Vertical.GetRealYposition(0), 327);
  EXPECT_EQ(QelMsg.GetMessageID(), 2);
  EXPECT_EQ(Raw16(Ask("CHANnel1:POSition?")), 228);
  Set("CHAN1:POS 150");
  EXPECT_EQ(Raw16(Ask("CHAN1:POS?")), 150);
  EXPECT_NEAR(plat::SimDecodedChannel(0).zeroPosition, 150, 0.5);
  Set("CHANnel2:POSition 50");  // CH2 is off: nothing
  EXPECT_EQ(Vertical.GetRealYposition(1), 127);

  Set("TRIGger:POSition 150");
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), 100);
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), 100);
  const std::string t = Ask("TRIGger:POSition?");
  ASSERT_EQ(t.size(), 4u);
  int32_t v;
  std::memcpy(&v, t.data(), 4);
  EXPECT_EQ(v, 100);
}

TEST_F(SysScpi, ScaleOffsetAndLevels) {
  Set("CHANnel1:SCALe 0.5");
  EXPECT_EQ(Ask("CHANnel1:SCALe?"), "5.000000e-01 \r\n");
  EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, 0.5, 1e-6);
  Set("CHAN1:SCAL UP");
  EXPECT_EQ(Ask("CHAN1:SCAL?"), "1.000000e+00 \r\n");
  Set("CHAN1:SCAL 10mV");
  EXPECT_EQ(Ask("CHAN1:SCAL?"), "1.000000e-02 \r\n");
  EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, 0.01, 1e-9);

  Set("CHANnel1:OFFSet 20m");  // 0.4 mV a code: 50 codes up
  EXPECT_EQ(Vertical.GetRealYposition(0), 177);
  EXPECT_EQ(Ask("CHAN1:OFFS?"), "2.000000e-02 \r\n");
  EXPECT_NEAR(plat::SimDecodedChannel(0).offsetVolts, 0.02, 1e-4);

  Set("CHAN1:SCAL 1.0V");
  Set("CHAN1:POS 127");  // levels in volts are counted from the centred trace
  Set("TRIGger:LEVel 1.2");  // 40 mV a code: 30 codes
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), 30);
  EXPECT_NEAR(std::stod(Ask("TRIGger:LEVel?")), 1.2, 0.05);
  Set("TRIGger:LEVel:LOW -0.4");
  EXPECT_EQ(Trigger.GetTriggerPos(0, 0), -10);
  EXPECT_EQ(SysRunStatus.GetTrigLevelLowHigh(), 0);
  EXPECT_NEAR(std::stod(Ask("TRIG:LEV:LOW?")), -0.4, 0.05);
  Set("CHANnel9:SCALe 0.5");  // no such channel
  EXPECT_EQ(Ask("CHANnel9:SCALe?"), "");
}

// A value past a limit, in any number form, holds the setting at the limit
// rather than being ignored or misread.
TEST_F(SysScpi, ValuesPastALimitClampToIt) {
  Set("CHAN1:SCAL 1.0V");
  Set("CHANnel1:OFFSet 100");
  const int top = Vertical.GetRealYposition(0);
  const double topVolts = plat::SimDecodedChannel(0).offsetVolts;
  ASSERT_GT(topVolts, 1.0);
  const std::string topAnswer = Ask("CHAN1:OFFS?");
  Set("CHANnel1:OFFSet -100");
  const int bottom = Vertical.GetRealYposition(0);
  const double bottomVolts = plat::SimDecodedChannel(0).offsetVolts;
  ASSERT_LT(bottomVolts, -1.0);
  for (const char* big : {"1e4", "1E4", "+1.0e+04", "10kV", "1e400"}) {
    Set("CHANnel1:OFFSet 0");
    ASSERT_EQ(Vertical.GetRealYposition(0), 127);
    Set(std::string("CHANnel1:OFFSet ") + big);
    EXPECT_EQ(Vertical.GetRealYposition(0), top) << big;
    EXPECT_NEAR(plat::SimDecodedChannel(0).offsetVolts, topVolts, 1e-3) << big;
    EXPECT_EQ(Ask("CHAN1:OFFS?"), topAnswer) << big;
  }
  Set("CHANnel1:OFFSet -1e4");
  EXPECT_EQ(Vertical.GetRealYposition(0), bottom);
  EXPECT_NEAR(plat::SimDecodedChannel(0).offsetVolts, bottomVolts, 1e-3);
  // In range, the exponent form means what it says: 40 mV a code, 25 codes.
  Set("CHANnel1:OFFSet 1e0");
  EXPECT_EQ(Vertical.GetRealYposition(0), 152);
  EXPECT_NEAR(plat::SimDecodedChannel(0).offsetVolts, 1.0, 0.02);
  Set("CHANnel1:OFFSet 20 m");
  EXPECT_EQ(Vertical.GetRealYposition(0), 127);  // half a code: the centred trace
  // Not a number: nothing changes.
  Set("CHANnel1:OFFSet 1.0");
  Set("CHANnel1:OFFSet nan");
  Set("CHANnel1:OFFSet 2x");
  EXPECT_EQ(Vertical.GetRealYposition(0), 152);

  QelMsg.ClearMessage();
  Set("CHANnel1:POSition 1e4");
  EXPECT_EQ(Vertical.GetRealYposition(0), 327);
  EXPECT_EQ(QelMsg.GetMessageID(), 2);
  Set("CHANnel1:POSition 1.5e2");
  EXPECT_EQ(Raw16(Ask("CHAN1:POS?")), 150);
  Set("TRIGger:POSition -1e9");
  EXPECT_EQ(Trigger.GetTriggerPos(0, 1), -100);
}

TEST_F(SysScpi, SetupTransferRoundTripAndTruncatedBlocks) {
  Set("CHANnel1:SCALe 0.2");
  const std::string block = Ask("SYSTem:SETup?");
  ASSERT_GT(block.size(), 17471u);
  ASSERT_EQ(block[0], '#');
  const int digits = block[1] - '0';
  const int len = std::stoi(block.substr(2, size_t(digits)));
  const std::string data = block.substr(2 + size_t(digits), size_t(len));
  EXPECT_EQ(data.find("TASK-CH1\r\n"), 0u);
  EXPECT_NE(data.find("TASK-SYSTEM\r\n"), std::string::npos);
  EXPECT_EQ(Ask("CONFIG?").size(), block.size());

  Set("CHANnel1:SCALe 2");
  ASSERT_EQ(Ask("CHAN1:SCAL?"), "2.000000e+00 \r\n");
  // The block announced longer than what arrived: refused, nothing changes.
  SendSetup("#6" + std::to_string(1000000 + len).substr(1) + data.substr(0, 1000));
  EXPECT_EQ(Ask("CHAN1:SCAL?"), "2.000000e+00 \r\n");

  // A block cut inside the run-state image: the system block is refused.
  const int pos = Vertical.GetRealYposition(0);
  const size_t sys = data.find("TASK-SYSTEM\r\n");
  const std::string part = data.substr(0, sys + 5000);
  char head[16];
  std::snprintf(head, sizeof head, "#6%06zu", part.size());
  SysRunInfo.vertical[0].position = int16_t(pos + 3);
  SendSetup(std::string(head) + part);
  EXPECT_EQ(Ask("*IDN?").substr(0, 5), "KOLVE");
  EXPECT_EQ(SysRunInfo.vertical[0].position, pos + 3);

  // The whole block: the saved scale comes back.
  std::snprintf(head, sizeof head, "#6%06d", len);
  SendSetup(std::string(head) + data);
  EXPECT_TRUE(WaitUntil([&] { return Ask("CHAN1:SCAL?") == "2.000000e-01 \r\n"; }));
  EXPECT_NEAR(plat::SimDecodedChannel(0).vdiv, 0.2, 1e-6);
}

// RUN runs on the SCPI worker: in single mode the new status is drawn by the
// main loop's next pass, never pushed to the screen beside it.
TEST_F(SysScpi, SingleRunLeavesTheStatusDrawingToTheMainLoop) {
  Trigger.SetTriggerMode(2);
  Set("STOP");
  ASSERT_EQ(SysRunStatus.GetAcquireStatus(0), 4);
  bench.Pass(2);
  const std::vector<uint32_t> shown = bench.Screen();
  Set("RUN");
  EXPECT_LT(SysRunStatus.GetAcquireStatus(0), 4);
  EXPECT_TRUE(bench.Screen() == shown) << "the worker drew on the screen";
  bench.Pass();
  EXPECT_FALSE(bench.Screen() == shown) << "the main loop did not show the new status";
}
