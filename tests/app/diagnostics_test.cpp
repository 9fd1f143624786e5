// The bench routines of the start-up source on the simulated board: the menu
// texts exported to the USB disk, the ADC phase and pattern registers, the
// trigger comparator sweep, the sample extremes of an applied square, the web
// server restart commands and the SCPI line posted.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/channel/task_ch1.h"
#include "acquisition/tables/voltage_tables.h"
#include "acquisition/models/y_system.h"
#include "app/diagnostics.h"
#include "core/menu/menu.h"
#include "platform/sim/devices/sim_controls.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "remote/scpi/scpi.h"
#include "tests/bench/bench.h"

namespace {
struct Diagnostics : ::testing::Test {
  Bench b;
  void SetUp() override {
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
  }
  static std::string Utf8(const uint16_t* text) {
    std::string s;
    for (const uint16_t* p = text; p && *p; ++p) s += char(*p);  // the English texts are ASCII
    return s;
  }
};
}  // namespace

TEST_F(Diagnostics, ExportLanguageWritesEveryItemsTextsToTheDisk) {
  plat::SimUsbPlug(false);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ExportLanguage(), -1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Open Path: /udisk/Language.csv fail!"),
            std::string::npos);

  plat::SimUsbPlug(true);
  testing::internal::CaptureStdout();
  ASSERT_EQ(ExportLanguage(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("TaskTop = 6 \n"), std::string::npos);
  EXPECT_NE(out.find("ExportLanguage Ok!"), std::string::npos);
  const std::string csv = ReadRootFile("udisk/Language.csv");
  // CH1's coupling item: its title and its choices, in the menu's order.
  const MenuItem& it = TaskCh1.TaskMenu.GetMenuInfo()->pages[0].items[0];
  std::string line = Utf8(it.title);
  for (const MenuOption* o = it.options; o; o = o->next) line += "," + Utf8(o->text);
  EXPECT_NE(csv.find(line + "\n"), std::string::npos) << line;
  EXPECT_GT(std::count(csv.begin(), csv.end(), '\n'), 100);
}

TEST_F(Diagnostics, AdcPhaseStepsAndThePatternToggles) {
  for (int sel : {0, 1, 2, 3, 4, 5, 6, 0}) {
    EXPECT_EQ(Adj_ADC(), sel);
    for (int adc = 0; adc < 2; ++adc) EXPECT_EQ(b.Fpga().AdcRegister(adc, 41), sel * 16 | 0xD109);
  }
  EXPECT_EQ(Adj_ADC_Wave(), 1);
  for (int adc = 0; adc < 2; ++adc) EXPECT_EQ(b.Fpga().AdcRegister(adc, 108), 8);
  EXPECT_EQ(Adj_ADC_Wave(), 0);
  for (int adc = 0; adc < 2; ++adc) EXPECT_EQ(b.Fpga().AdcRegister(adc, 108), 0);
}

TEST_F(Diagnostics, SampleExtremesFollowTheAppliedSquare) {
  plat::TestSignal s;
  s.shape = plat::SignalShape::kSquare;
  s.frequencyHz = 1000;
  s.amplitudeV = 1.0;  // +-1 V about code 127
  b.Fpga().SetSignal(0, s);
  int max1 = 0, min1 = 0, max2 = 0, min2 = 0;
  GetChMaxMin(&max1, &min1, &max2, &min2);
  const double codes =
      std::min(100.0, 1.0 / Voltage[Vertical.GetRealYsensitivity(0)] * 25);  // 25 codes a division
  EXPECT_NEAR(max1, 127 + codes, 3);
  EXPECT_NEAR(min1, 127 - codes, 3);
  EXPECT_NEAR(max2, min2, 3);  // CH2 has no signal
  testing::internal::CaptureStdout();
  TestMaxMin();
  std::ostringstream want;
  want << "CH1 Max = " << max1 << "  Min = " << min1 << " \n";
  EXPECT_NE(testing::internal::GetCapturedStdout().find(want.str()), std::string::npos);
}

TEST_F(Diagnostics, TriggerSweepFindsTheComparatorsSwitchingCode) {
  testing::internal::CaptureStdout();
  const int code = StartTriggerCali();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_GE(code, 0) << out;
  EXPECT_NE(out.find("Low ---> High TrigDacVal = " + std::to_string(code) + " \n"), std::string::npos);
}

TEST_F(Diagnostics, WebServerRestartAndTheScpiTestLine) {
  WebServerStart();
  const std::vector<std::string> log = b.ShellLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "killall webserver");
  EXPECT_EQ(log.back(), "./WebServer/webserver &");
  EXPECT_EQ(ScpiInstrTest(), int(sizeof "CHANnel1:COUPling \n" - 1));
  EXPECT_EQ(SwitchTriggerAlternate(), 0);
}
