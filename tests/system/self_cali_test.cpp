// Self-calibration on the simulated board: front-end offset and external
// comparator errors set in the board are measured and cancelled on every
// range, the result goes into the calibration file and comes back from it,
// and a cancel or a failure leaves the file alone.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "acquisition/acquire/task_acquire.h"
#include "acquisition/channel/task_ch1.h"
#include "acquisition/channel/task_ch2.h"
#include "acquisition/engine/wave.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/ch_cali_data.h"
#include "core/board/control.h"
#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "core/input/rs232.h"
#include "core/menu/keypara.h"
#include "core/messages/msg.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"
#include "platform/sim/acquisition/sim_frontend.h"
#include "platform/sim/acquisition/sim_frontend_errors.h"
#include "platform/sim/fpga/sim_decode_vertical.h"
#include "platform/sim/fpga/sim_fpga.h"
#include "remote/scpi/scpi_client.h"
#include "system/calibration/self_cali.h"
#include "system/utility/task_utility.h"
#include "tests/bench/bench.h"
#include "tests/bench/eeprom_addresses.h"
#include "trigger/analog/task_trigger.h"
#include "ui/draw/picture.h"

namespace {
constexpr keypara kConfirm{KEY_NO_KEY, 0, 0};

struct SelfCali_ : ::testing::Test {
  Bench b;

  void TearDown() override { plat::SetFrontEndErrors({}); }
  void SetUp() override {
    plat::SetFrontEndErrors({});
    b.SetEeprom(FormattedEeprom(6, 0));
    b.SetEepromByte(EE_SELFCAL_STATE2, 0x68);
    plat::TestSignal ground;
    ground.shape = plat::SignalShape::kDc;
    ground.amplitudeV = 0;
    for (int in : {plat::kSignalCh1, plat::kSignalCh2, plat::kSignalExt}) b.Fpga().SetSignal(in, ground);
    ASSERT_EQ(b.Start(), 0);
    b.StopThreads();
    b.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
    ASSERT_EQ(StartScpiThread(), 0);
    QelMsg.ClearMessage();
  }
  static void Set(const char* line) {
    ScpiQuery(line, kScpiSourceTransport, 0);
    ASSERT_FALSE(ScpiQuery("*IDN?\n").empty());  // the worker ran the setter
  }
  // Settings a user meets away from their defaults: CH1 AC, inverted and
  // band-limited at 0.5 V/div, moved up; CH2 on at 2 V/div; AUTO depth with
  // peak detection; normal sweep, falling edge on CH2, AC coupling; 200 us/div.
  static void SetUserSettings() {
    for (const char* line :
         {"CHAN1:COUP AC\n", "CHAN1:INV ON\n", "CHAN1:BWL ON\n", "CHAN1:SCAL 0.5\n", "CHAN1:OFFS 0.5\n",
          "CHAN2:DISP ON\n", "CHAN2:SCAL 2\n", "ACQ:MEM:DEPT AUTO\n", "ACQ:TYPE PEAK\n",
          "TRIG:SWE NORM\n", "TRIG:SOUR CHAN2\n", "TRIG:EDGE:SLOP NEG\n", "TRIG:COUP AC\n",
          "TIM:SCAL 2e-4\n"})
      Set(line);
  }
  // What the instrument says is in force (the queries) and what its menus
  // hold (every item of the channel, trigger and acquire menus), with the
  // run state's depth and sweep behind them.
  struct Settings {
    std::vector<std::string> answers;
    std::vector<std::vector<uint8_t>> menus;
    int depth, sweep, mask;
    bool operator==(const Settings& o) const {
      return answers == o.answers && menus == o.menus && depth == o.depth && sweep == o.sweep &&
             mask == o.mask;
    }
  };
  static Settings InForce() {
    Settings s;
    for (const char* q :
         {"CHAN1:COUP?\n", "CHAN1:INV?\n", "CHAN1:BWL?\n", "CHAN1:SCAL?\n", "CHAN1:OFFS?\n",
          "CHAN1:DISP?\n", "CHAN2:DISP?\n", "CHAN2:SCAL?\n", "CHAN2:COUP?\n", "ACQ:MEM:DEPT?\n",
          "ACQ:TYPE?\n", "TRIG:MODE?\n", "TRIG:SWE?\n", "TRIG:SOUR?\n", "TRIG:COUP?\n",
          "TRIG:EDGE:SLOP?\n", "TRIG:LEV?\n", "TIM:SCAL?\n", "TIM:OFFS?\n"})
      s.answers.push_back(std::string(q) + " " + ScpiQuery(q));
    for (task* t : {static_cast<task*>(&TaskCh1), static_cast<task*>(&TaskCh2),
                    static_cast<task*>(&TaskTrigger), static_cast<task*>(&TaskAcquire)}) {
      const menu* record = t->TaskMenu.GetMenuInfo();
      std::vector<uint8_t> image(Menu::ImageBytes(record));
      t->TaskMenu.MenuAllItemCopyMem(record, image.data(), image.size());
      s.menus.push_back(image);
    }
    s.depth = SysRunStatus.GetMemDepth(nullptr);
    s.sweep = SysRunStatus.GetTriggerMode();
    s.mask = SysRunStatus.GetChStatus();
    return s;
  }
  static std::string Differences(const Settings& a, const Settings& b) {
    std::string d;
    for (size_t i = 0; i < a.answers.size(); ++i)
      if (a.answers[i] != b.answers[i]) d += a.answers[i] + " -> " + b.answers[i];
    for (size_t m = 0; m < a.menus.size(); ++m)
      for (size_t i = 0; i + 8 <= a.menus[m].size(); i += 8)
        if (std::memcmp(&a.menus[m][i], &b.menus[m][i], 8) != 0)
          d += " menu " + std::to_string(m) + " item " + std::to_string(i / 8) + ";";
    d += " depth " + std::to_string(a.depth) + "/" + std::to_string(b.depth) + " sweep " +
         std::to_string(a.sweep) + "/" + std::to_string(b.sweep) + " mask " + std::to_string(a.mask) +
         "/" + std::to_string(b.mask);
    return d;
  }
  void InjectErrors() {
    plat::FrontEndErrors e;
    e.offsetCodes[0] = 3.4;
    e.offsetCodes[1] = -2.7;
    e.offsetPerRange[0] = 0.6;
    e.offsetPerRange[1] = -0.4;
    e.extTrigCodes = 4.0;
    plat::SetFrontEndErrors(e);
  }
  std::string CaliFile() const { return b.Root() + ChCaliDataName; }
  std::vector<char> CaliFileBytes() const {
    std::ifstream f(CaliFile(), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  // Where 0 V of each channel lands on `range` at position 127, as the board
  // makes it from the words and DAC codes it was sent.
  static double ZeroAt(int ch, int range) {
    Vertical.SetRealYsensitivity(ch, range);
    Vertical.SetRealYposition(ch, 127);
    Vertical.AdjYsensitivity(ch, 0);
    return plat::SimDecodedChannel(ch).zeroPosition;
  }
};
}  // namespace

TEST_F(SelfCali_, CancelsTheBoardsOffsetsOnEveryRangeAndStoresThem) {
  InjectErrors();
  EXPECT_GT(std::abs(ZeroAt(0, 12) - 127), 2.0);  // the error shows before
  const Settings before = InForce();
  ASSERT_EQ(Utili_SelfCali_Sure(kConfirm), 0);
  EXPECT_EQ(QelMsg.GetMessageID(), 91);
  EXPECT_EQ(SelfCaliProgress(), 40);
  const Settings after = InForce();
  EXPECT_TRUE(after == before) << Differences(before, after);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & 0x80, 0u);

  for (int range = 3; range <= 16; ++range)
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_NEAR(ZeroAt(ch, range), 127, 1.0) << "ch " << ch << " range " << range;
      const CaliRecord* r = ChSelfCaliData.Record(ch, range);
      EXPECT_EQ(r->centrePos, 127);
      EXPECT_EQ(r->upperPos, 202);
      EXPECT_EQ(r->lowerPos, 52);
      // The upper and lower points lie 75 codes either side on the board.
      EXPECT_NEAR(
          plat::simfe::ZeroPosition(ch, r->upperDac) - plat::simfe::ZeroPosition(ch, r->centreDac), 75,
          1.0);
      EXPECT_NEAR(
          plat::simfe::ZeroPosition(ch, r->centreDac) - plat::simfe::ZeroPosition(ch, r->lowerDac), 75,
          1.0);
    }
  // The external comparator's zero: where its level meets the grounded input.
  const double extZero = plat::simfe::kExtTrigDacZero - 4.0 * plat::simfe::kExtTrigDacPerCode;
  EXPECT_NEAR(ChSelfCaliData.Record(0, 16)->extDc.zero, extZero, 2.0);
  EXPECT_NEAR(ChSelfCaliData.Record(0, 16)->extAc.zero, extZero, 2.0);

  // The file holds the records: what the next start-up reads back.
  const uint16_t centre = ChSelfCaliData.Record(1, 7)->centreDac;
  ChSelfCaliData.Record(1, 7)->centreDac = 0;
  ASSERT_EQ(SysRunStatus.LoadChCaliData(), 0);
  EXPECT_EQ(ChSelfCaliData.Record(1, 7)->centreDac, centre);
}

// Without errors every channel already sits on its centre: one reading each,
// and the shipped DAC codes stay as they were.
TEST_F(SelfCali_, ChannelsAlreadyOnTargetKeepTheirDacs) {
  uint16_t before[2][17] = {};
  for (int range = 3; range <= 16; ++range)
    for (int ch = 0; ch < 2; ++ch) before[ch][range] = ChSelfCaliData.Record(ch, range)->centreDac;
  ASSERT_EQ(Utili_SelfCali_Sure(kConfirm), 0);
  for (int range = 3; range <= 16; ++range)
    for (int ch = 0; ch < 2; ++ch)
      EXPECT_EQ(ChSelfCaliData.Record(ch, range)->centreDac, before[ch][range]) << range;
}

TEST_F(SelfCali_, F2CancelsWithoutWritingTheFile) {
  InjectErrors();
  const std::vector<char> before = CaliFileBytes();
  b.PanelByte(50);
  EXPECT_EQ(Utili_SelfCali_Sure(kConfirm), -1);
  EXPECT_EQ(CaliFileBytes(), before);
  EXPECT_NE(QelMsg.GetMessageID(), 91);
}

TEST_F(SelfCali_, ATimeOutFailsRestoresAndWritesNothing) {
  const std::vector<char> before = CaliFileBytes();
  b.Fpga().SetReg(804, 0);
  EXPECT_EQ(Utili_SelfCali_Sure(kConfirm), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 90);
  EXPECT_EQ(CaliFileBytes(), before);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & 0x80, 0u);
  b.Fpga().ClearReg(804);
}

// The run composes its dialog as it goes: the box, then the progress bar of
// pictures 118 (frame) and 119 (one segment per 40th) at (380, 215). Keys
// that are not F2 are taken one per range; F2 after five ranges cancels the
// run with the progress of those five (5 x 40 / 14 = 14 segments) on the
// screen last shown.
TEST_F(SelfCali_, TheDialogShowsTheProgressOfTheRun) {
  for (int i = 0; i < 5; ++i) b.PanelByte(49);
  b.PanelByte(50);
  EXPECT_EQ(Utili_SelfCali_Sure(kConfirm), -1);
  const PicInfo* frame = QelSysPic.GetPictureMsg(118);
  const PicInfo* segment = QelSysPic.GetPictureMsg(119);
  ASSERT_TRUE(frame && frame->pixels && segment && segment->pixels);
  const uint32_t lit = segment->pixels[7 * segment->width + 4] & 0xFFFFFF;
  auto unlit = [&](int i) { return frame->pixels[10 * frame->width + 2 + 9 * i + 4] & 0xFFFFFF; };
  ASSERT_NE(lit, unlit(14));
  for (int i = 0; i < 14; ++i) EXPECT_EQ(b.Pixel(380 + 3 + 7, 215 + 2 + 9 * i + 4), lit) << i;
  for (int i = 14; i < 40; ++i) EXPECT_EQ(b.Pixel(380 + 10, 215 + 2 + 9 * i + 4), unlit(i)) << i;
  // The dialog's box (picture 102) above it.
  const PicInfo* box = QelSysPic.GetPictureMsg(102);
  ASSERT_TRUE(box && box->pixels);
  EXPECT_EQ(b.Pixel(130 + 1, 200 + 1), box->pixels[box->width + 1] & 0xFFFFFF);
  // The cancel closed it: the next frame has neither box nor bar.
  EXPECT_EQ(TaskUtility.GetFunBits(), 0u);
  SysRunStatus.SetDrawRefresh();
  b.Pass();
  EXPECT_NE(b.Pixel(380 + 10, 215 + 2 + 4), lit);
}

// Every setting the run changes comes back, the menus' items as well as
// what is in force (the depth AUTO reads AUTO, as the status bar says): after
// a run that completes, one that fails (the board never reports an
// acquisition) and one cancelled with F2.
TEST_F(SelfCali_, EverySettingComesBackHoweverTheRunEnds) {
  SetUserSettings();
  const Settings before = InForce();
  ASSERT_EQ(before.answers[9], "ACQ:MEM:DEPT?\n AUTO\r\n");
  ASSERT_EQ(before.answers[0], "CHAN1:COUP?\n AC\r\n");

  ASSERT_EQ(Utili_SelfCali_Sure(kConfirm), 0);
  Settings after = InForce();
  EXPECT_TRUE(after == before) << "completed:" << Differences(before, after);
  EXPECT_EQ(b.EepromByte(ee::kCh1Coupling), 1);  // what the next start-up takes, AC

  b.Fpga().SetReg(804, 0);
  EXPECT_EQ(Utili_SelfCali_Sure(kConfirm), -1);
  EXPECT_EQ(QelMsg.GetMessageID(), 90);
  b.Fpga().ClearReg(804);
  after = InForce();
  EXPECT_TRUE(after == before) << "failed:" << Differences(before, after);

  b.PanelByte(50);  // F2: cancelled at the first range
  EXPECT_EQ(Utili_SelfCali_Sure(kConfirm), -1);
  after = InForce();
  EXPECT_TRUE(after == before) << "cancelled:" << Differences(before, after);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & 0x80, 0u);
}

// An instrument whose ADC phases were never found runs only the phase
// search, which switches the channels one at a time and moves the time base:
// afterwards CH1 and CH2 are on as before, the time base is back and the
// dialog is gone.
TEST(SelfCaliPhaseOnly, TheSearchEndsWithTheInstrumentAsItWas) {
  Bench b;
  b.SetEeprom(FormattedEeprom(6, 0));
  ASSERT_EQ(b.Start(), 0);
  b.StopThreads();
  b.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
  ASSERT_NE(b.EepromByte(EE_SELFCAL_STATE2), 0x68);
  Vertical.SetChOnOff(1, 1);
  SysRunStatus.SetChStatus(3);
  const int timeBase = TimeBase.GetRealTimeBase(0), vdiv = Vertical.GetRealYsensitivity(0);
  KeyBoard.AppendScpiKey(kKeyScpiSelfCal, 0);  // what SYSTem:CAL queues
  b.Pass();
  EXPECT_EQ(Vertical.GetChOnOff(0), 1);
  EXPECT_EQ(Vertical.GetChOnOff(1), 1);
  EXPECT_EQ(SysRunStatus.GetChStatus() & 3, 3);
  EXPECT_EQ(b.EepromByte(EE_SOURCE_ON) & 3, 3);  // what the next start-up switches on
  EXPECT_EQ(TimeBase.GetRealTimeBase(0), timeBase);
  EXPECT_EQ(Vertical.GetRealYsensitivity(0), vdiv);
  EXPECT_EQ(TaskUtility.GetFunBits(), 0u);
  EXPECT_EQ(TaskManage.FindUserTaskDisplay(kTaskUtility), TASK_NOT_LISTED);
  EXPECT_EQ(SysRunStatus.GetFuncBits() & 0x80, 0u);
}
