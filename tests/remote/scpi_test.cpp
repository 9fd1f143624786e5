// The SCPI engine: trimming and matching of command lines against registered
// tables, parameters, keyword tables and the three answer forms.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_thread.h"
#include "tests/bench/bench.h"

namespace {
struct Hit {
  int row = -1;
  int channel = -1;
  bool hasParam = false;
  std::string param;
};

std::mutex g_mu;
std::condition_variable g_cv;
std::vector<Hit> g_hits;

template <int Row>
void Record(scpi_para* para, char* parameter) {
  Hit h;
  h.row = Row;
  h.channel = para ? para->channel : -1;
  h.hasParam = parameter != nullptr;
  if (parameter) h.param = parameter;
  std::lock_guard<std::mutex> lock(g_mu);
  g_hits.push_back(h);
  g_cv.notify_all();
}

instr g_table[] = {
    {"CHANnel1:DISPlay", Record<0>},   {"CHANnel1:DISPlay?", Record<1>},
    {"CHANnel1:COUPling", Record<2>},  {"CHANnel1:COUPling?", Record<3>},
    {"CHANnel2:SCALe", Record<4>},     {"CHANnel2:SCALe?", Record<5>},
    {"*IDN?", Record<6>},              {"ACQuire:TYPE", Record<7>},
    {"ACQuire:TYPE", Record<8>},       {"MEASure:CHANnel#:FREQuency?", Record<9>},
    {"TRIGger:NONE", nullptr},         {"", nullptr},
};
// A second module sharing the first level "ACQuire", registered later.
instr g_later[] = {{"ACQuire:MODE", Record<20>}, {"", nullptr}};

struct Engine : ::testing::Test {
  Bench bench;
  void SetUp() override {
    ASSERT_EQ(0, Scpi.RegisterInstr(40, g_table));
    ASSERT_EQ(0, Scpi.RegisterInstr(41, g_later));
    ASSERT_EQ(0, StartScpiFuncThread());
  }
  // Runs a line as the SCPI thread does; the handler's record, or row -1.
  Hit Run(const char* line) {
    {
      std::lock_guard<std::mutex> lock(g_mu);
      g_hits.clear();
    }
    if (Scpi.RecvInstructions(ScpiMsgType(0, 1), line) < 0 || Scpi.InstrAnalysis() != 0) return Hit{};
    std::unique_lock<std::mutex> lock(g_mu);
    if (!g_cv.wait_for(lock, kWaitLimit, [] { return !g_hits.empty(); })) return Hit{};
    return g_hits.front();
  }
};

TEST_F(Engine, LinesMatchTheRowsTheRulesGive) {
  struct Case {
    const char* line;
    int row, channel;
    const char* param;  // null: no parameter
  };
  const Case cases[] = {
      {":CHAN1:DISPlay ON\r\n", 0, 1, "ON"},
      {"CHAN1:DISP", 0, 1, nullptr},
      {"CHANnel1:DISPlay?", 1, 1, nullptr},
      {"*IDN?", 6, 0, nullptr},
      {"*idn?", 6, 0, nullptr},
      {"chan1:coup?", -1, 0, nullptr},         // lower-case short form
      {"CHANNEL1:COUPLING?", 3, 1, nullptr},   // full form in any case
      {"CHAN1:COUP AC", 2, 1, "AC"},
      {"CHAN1:COUP?", 3, 1, nullptr},
      {"CHAN1:COUP", 2, 1, nullptr},           // the setter stands first
      {"CHAN1:COUPL?", -1, 0, nullptr},        // upper-case input on a lower-case letter
      {"CHA1:DISP", -1, 0, nullptr},
      {"CHAN2:DISP", -1, 0, nullptr},          // literal digit 1 only
      {"CHAN2:SCAL 0.5", 4, 2, "0.5"},
      {"CHAN2:SCALe?", 5, 2, nullptr},
      {"ACQ:TYPE NORM", 7, 0, "NORM"},         // the first of two equal rows
      {"ACQ:MODE PEAK", 20, 0, "PEAK"},        // the later module's table
      {"MEAS:CHAN2:FREQ?", 9, 0, nullptr},     // '#' takes any digit
      {"MEAS:CHANNEL2:FREQ?", -1, 0, nullptr}, // '#' is no digit at equal length
      {"CHAN1:DISP     ON   \r\n", 0, 1, "ON"},
      {"CHAN1:DISP \"a b\"", 0, 1, "\"a b\""},
      {"CHAN1 ON", 0, 1, "ON"},                // a blank after the first level ends the input
      {"CHAN1::DISP", -1, 0, nullptr},
      {"FOO:BAR", -1, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Hit h = Run(c.line);
    EXPECT_EQ(c.row, h.row);
    if (c.row < 0) continue;
    EXPECT_EQ(c.channel, h.channel);
    EXPECT_EQ(c.param != nullptr, h.hasParam);
    if (c.param) {
      EXPECT_EQ(c.param, h.param);
    }
  }
}

TEST_F(Engine, ARowWithoutHandlerMatchesAndRunsNothing) {
  ASSERT_GT(Scpi.RecvInstructions(1, "TRIG:NONE"), 0);
  EXPECT_EQ(0, Scpi.InstrAnalysis());
}

TEST(Compare, LevelRules) {
  EXPECT_EQ(1, scpi::InstrCompare("CHANnel1", "CHAN1"));
  EXPECT_EQ(1, scpi::InstrCompare("CHANnel1", "CHANnel1"));
  EXPECT_EQ(1, scpi::InstrCompare("CHANnel1", "CHANNEL1"));
  EXPECT_EQ(-1, scpi::InstrCompare("CHANnel1", "chan1"));
  EXPECT_EQ(-1, scpi::InstrCompare("CHANnel1", "CHAN2"));
  EXPECT_EQ(-1, scpi::InstrCompare("CHANnel1", "CHA1"));
  EXPECT_EQ(1, scpi::InstrCompare("CHANnel#", "CHAN1"));
  EXPECT_EQ(-1, scpi::InstrCompare("CHANnel#", "CHANNEL1"));
  EXPECT_EQ(1, scpi::InstrCompare("COUPling?", "COUP?"));
  EXPECT_EQ(1, scpi::InstrCompare("COUPling?", "COUP"));
  EXPECT_EQ(-1, scpi::InstrCompare("COUPling", "COUP?"));
  EXPECT_EQ(-1, scpi::InstrCompare("COUPling", "COUPLINGS"));
  EXPECT_EQ(-1, scpi::InstrCompare("COUPling", ""));
  EXPECT_EQ(-1, scpi::InstrCompare(nullptr, "X"));
  // The input may not end inside a number of the pattern.
  EXPECT_EQ(-1, scpi::InstrCompare("10X", "1"));
  EXPECT_EQ(-1, scpi::InstrCompare("100X", "10"));
  EXPECT_EQ(-1, scpi::InstrCompare("16", "1"));
  EXPECT_EQ(-1, scpi::InstrCompare("2048", "20"));
  EXPECT_EQ(-1, scpi::InstrCompare("0.1X", "0"));
  EXPECT_EQ(1, scpi::InstrCompare("16", "16"));
  EXPECT_EQ(1, scpi::InstrCompare("CHANnel12", "CHAN12"));
  EXPECT_EQ(2, scpi::GetInputInstrChNo("CHAN2"));
  EXPECT_EQ(-1, scpi::GetInputInstrChNo("TRIG"));
  EXPECT_EQ(INT16_MAX, scpi::GetInputInstrChNo("CHAN99999999999"));
}

TEST(Compare, KeywordTables) {
  const scpipara onOff[] = {{"ON", 1}, {"OFF", 0}, {"", -1}};
  EXPECT_EQ(0, scpi::InstrParaCompare(onOff, "ON"));
  EXPECT_EQ(1, scpi::InstrParaCompare(onOff, "OFF"));
  EXPECT_EQ(1, scpi::InstrParaCompare(onOff, "off"));
  EXPECT_EQ(-1, scpi::InstrParaCompare(onOff, "OF"));
  EXPECT_EQ(-1, scpi::InstrParaCompare(onOff, nullptr));
  const scpipara modes[] = {{"NORMal", 0}, {"PEAK", 1}, {"AVERage", 2}, {"", -1}};
  EXPECT_EQ(0, scpi::InstrParaCompare(modes, "NORM"));
  EXPECT_EQ(-1, scpi::InstrParaCompare(modes, "norm"));
  EXPECT_EQ(0, scpi::InstrParaCompare(modes, "normal"));
  EXPECT_EQ(2, scpi::InstrParaCompare(modes, "AVER"));
  EXPECT_EQ(-1, scpi::InstrParaCompare(modes, "AVE"));
  const scpipara empty[] = {{"", -1}};
  EXPECT_EQ(-1, scpi::InstrParaCompare(empty, "ON"));
}

TEST(Compare, Helpers) {
  int ip[4] = {};
  EXPECT_EQ(0, scpi::StringtoIPAddress("\"192.168.1.20\"", ip));
  EXPECT_EQ(192, ip[0]);
  EXPECT_EQ(20, ip[3]);
  EXPECT_EQ(-1, scpi::StringtoIPAddress("\"192.168.1.256\"", ip));
  EXPECT_EQ(-1, scpi::StringtoIPAddress("\"192.168.1\"", ip));
  EXPECT_EQ(3, scpi::SkipCharacter("ABc12"));
  EXPECT_EQ(4, scpi::SkipNum("1.25V"));
  EXPECT_EQ(-1, scpi::FindCharacter("abc", 'x'));
}

TEST(Receive, TrimsAndRefusesBadLines) {
  scpi& s = Scpi;
  EXPECT_EQ(16, s.RecvInstructions(1, ":CHAN1:DISPlay ON\r\n"));
  EXPECT_STREQ("CHAN1:DISPlay ON", s.CommandLine());
  EXPECT_EQ(-1, s.RecvInstructions(1, nullptr));
  EXPECT_EQ(-1, s.RecvInstructions(1, ""));
  EXPECT_EQ(-1, s.RecvInstructions(1, " :: : \r\n"));
  EXPECT_EQ(13, s.RecvInstructions(1, "CHAN1:DISP \xB0N"));  // above 0x7F: passes, matches nothing
  EXPECT_EQ(-1, s.RecvInstructions(1, "CHAN1\tDISP"));
  EXPECT_EQ(-1, s.RecvInstructions(1, std::string(1024, 'A').c_str()));
  EXPECT_EQ(1023, s.RecvInstructions(1, std::string(1023, 'A').c_str()));
  // A refused line leaves the stored one as it was.
  EXPECT_EQ(5, s.RecvInstructions(ScpiMsgType(7, 1), "*IDN?"));
  EXPECT_EQ(-1, s.RecvInstructions(ScpiMsgType(9, 2), "\x01"));
  EXPECT_STREQ("*IDN?", s.CommandLine());
  EXPECT_EQ(7, s.MessageTag());
  EXPECT_EQ(1, s.MessageSource());
}

TEST_F(Engine, OversizedLevelsAndParametersAreRefused) {
  std::string level(100, 'A');
  EXPECT_EQ(-1, Run(("CHAN1:" + level).c_str()).row);
  EXPECT_EQ(-1, Run((level + ":DISP").c_str()).row);
  EXPECT_EQ(0, Run(("CHAN1:DISP " + std::string(149, 'x')).c_str()).row);
  EXPECT_EQ(-1, Run(("CHAN1:DISP " + std::string(150, 'x')).c_str()).row);
}

std::vector<char> g_setup;
void CaptureSetup(scpi_para* para, char* block) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_setup.assign(block, block + kScpiMsgTextSize);
  g_hits.push_back(Hit{50, para ? 1 : 0, true, std::string()});
  g_cv.notify_all();
}

TEST_F(Engine, SetupBlockIsCheckedThenHandedOverWhole) {
  std::string data(1234, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 11 + 3);
  std::string block = "#41234" + data;
  ASSERT_EQ(int(block.size()), Scpi.SendScpiMsg2(1, block.data(), int(block.size())));
  ASSERT_EQ(0, Scpi.RecvScpiBinary());
  EXPECT_EQ(int(block.size()), Scpi.GetBinaryRecvLen());
  ASSERT_EQ(0, Scpi.DoSystemSetupCmd(CaptureSetup));
  EXPECT_EQ(1234, Scpi.GetBinaryDataLen());
  {
    std::unique_lock<std::mutex> lock(g_mu);
    ASSERT_TRUE(g_cv.wait_for(lock, kWaitLimit, [] { return !g_hits.empty(); }));
    EXPECT_EQ(0, g_hits.front().channel);  // the setup handler gets no scpi_para
    ASSERT_EQ(size_t(kScpiMsgTextSize), g_setup.size());
    EXPECT_EQ(data, std::string(g_setup.data(), 1234));
    EXPECT_EQ(std::string(kScpiMsgTextSize - 1234, '\0'), std::string(g_setup.data() + 1234, kScpiMsgTextSize - 1234));
    g_hits.clear();
  }
  // Bad headers are refused before anything is copied or queued.
  const std::string bad[] = {"", "#", "#0", "X41234", "#4", "#412", "#4a234xxxx", "#41234short",
                             "#9999999999"};
  for (const std::string& b : bad) {
    SCOPED_TRACE(b);
    ASSERT_GE(Scpi.SendScpiMsg2(1, b.data(), int(b.size())), 0);
    ASSERT_EQ(0, Scpi.RecvScpiBinary());
    EXPECT_EQ(-1, Scpi.DoSystemSetupCmd(CaptureSetup));
    EXPECT_EQ(0, Scpi.GetBinaryDataLen());
  }
  // The announced length must fit the bytes that came; CONFIG only reads it.
  std::string exact = "#15hello";
  Scpi.SendScpiMsg2(1, exact.data(), int(exact.size()));
  ASSERT_EQ(0, Scpi.RecvScpiBinary());
  EXPECT_EQ(0, Scpi.DoCONFIGCmd());
  EXPECT_EQ(5, Scpi.GetBinaryDataLen());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::lock_guard<std::mutex> lock(g_mu);
  EXPECT_TRUE(g_hits.empty());
}

std::vector<int> g_setupLens;
void RecordSetupLen(scpi_para*, char*) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_setupLens.push_back(Scpi.GetBinaryDataLen());
  g_cv.notify_all();
}

// Each queued setup call loads the length announced with its own block, even
// when a later upload came before it ran.
TEST_F(Engine, QueuedSetupCallsKeepTheirOwnLength) {
  std::mutex gate;
  std::unique_lock<std::mutex> hold(gate);
  PushScpiFunc([&gate] { std::lock_guard<std::mutex> wait(gate); });
  for (const std::string b : {"#15hello", "#19123456789"}) {
    ASSERT_GE(Scpi.SendScpiMsg2(1, b.data(), int(b.size())), 0);
    ASSERT_EQ(0, Scpi.RecvScpiBinary());
    ASSERT_EQ(0, Scpi.DoSystemSetupCmd(RecordSetupLen));
  }
  EXPECT_EQ(9, Scpi.GetBinaryDataLen());
  hold.unlock();
  std::unique_lock<std::mutex> lock(g_mu);
  ASSERT_TRUE(g_cv.wait_for(lock, kWaitLimit, [] { return g_setupLens.size() == 2; }));
  EXPECT_EQ((std::vector<int>{5, 9}), g_setupLens);
}

// Control bytes and NUL are refused; bytes above 0x7F pass (UTF-8 names).
TEST_F(Engine, OnlyControlBytesAreRefused) {
  EXPECT_GT(Scpi.RecvInstructions(1, "MMEM:LOAD \"m\xC3\xA9sure.csv\""), 0);
  EXPECT_EQ(-1, Scpi.RecvInstructions(1, "CHAN1:DISP \x01"));
  EXPECT_EQ(-1, Scpi.RecvInstructions(1, "CHAN1:DISP \x7F"));
  EXPECT_EQ(-1, Scpi.RecvInstructions(1, "CHAN1:DI\tSP ON"));
  Hit h = Run("CHAN1:DISP \"\xC3\xA9\"");
  EXPECT_EQ(0, h.row);
  EXPECT_EQ("\"\xC3\xA9\"", h.param);
}

std::string Response() { return std::string(Scpi.GetResponseDataBuff(0), size_t(Scpi.GetResponseDataLength())); }

TEST(Answer, TextGetsCrLfAndAWebCopy) {
  scpi_msg web;
  EXPECT_EQ(-1, Scpi.GetWebScpiMsg(&web));
  EXPECT_EQ(3, Scpi.WriteResponseData("1", 0));
  EXPECT_EQ(std::string("1\r\n"), Response());
  EXPECT_EQ(1, Scpi.GetResponseFinish());
  ASSERT_EQ(int(sizeof(scpi_msg)), Scpi.GetWebScpiMsg(&web));
  EXPECT_EQ(0, web.type);
  EXPECT_STREQ("1", web.text);
  EXPECT_EQ(-1, Scpi.WriteResponseData(nullptr, 0));
  EXPECT_EQ(-1, Scpi.WriteResponseData("x", kScpiResponseSize));
}

TEST(Answer, BlockHeaders) {
  for (int len : {0, 9, 10, 1000, 1400, 99999, 2097141}) {
    SCOPED_TRACE(len);
    std::string data(size_t(len), '\0');
    for (int i = 0; i < len; ++i) data[size_t(i)] = char(i * 7);
    std::string n = std::to_string(len);
    std::string expect = "#" + std::to_string(n.size()) + n + data + "\r\n";
    EXPECT_EQ(int(expect.size()), Scpi.WriteResponseDataRaw(data.data(), len));
    EXPECT_EQ(expect, Response());
  }
  EXPECT_EQ(1008, Scpi.WriteResponseDataRaw(std::string(1000, 'a').data(), 1000));
  EXPECT_EQ(kScpiResponseSize, Scpi.WriteResponseDataRaw(std::string(2097141, 'b').data(), 2097141));
}

TEST(Answer, NothingWritesPastTheBuffer) {
  ASSERT_EQ(3, Scpi.WriteResponseData("1", 0));
  std::string big(kScpiResponseSize, 'z');
  // One byte too many for each form: refused, the previous answer stays.
  EXPECT_EQ(-1, Scpi.WriteResponseDataRaw(big.data(), 2097142));
  EXPECT_EQ(-1, Scpi.WriteResponseDataPure(big.data(), kScpiResponseSize));
  EXPECT_EQ(-1, Scpi.WriteResponseData(std::string(kScpiResponseSize - 1, 't').c_str(), 0));
  EXPECT_EQ(-1, Scpi.WriteResponseDataRaw(big.data(), -1));
  EXPECT_EQ(std::string("1\r\n"), Response());
  // The largest of each form fits exactly.
  EXPECT_EQ(kScpiResponseSize, Scpi.WriteResponseData(std::string(kScpiResponseSize - 2, 't').c_str(), 0));
  EXPECT_EQ(kScpiResponseSize - 1, Scpi.WriteResponseDataPure(big.data(), kScpiResponseSize - 1));
  EXPECT_EQ(std::string(kScpiResponseSize - 1, 'z'), Response());
}

TEST(Answer, PureBytesAndChunks) {
  const char bytes[] = {'\x00', '\n', '\xFF'};
  EXPECT_EQ(3, Scpi.WriteResponseDataPure(bytes, 3));
  EXPECT_EQ(std::string(bytes, 3), Response());
  EXPECT_EQ(Scpi.GetResponseDataBuff(0) + 512, Scpi.GetResponseDataBuff(1));
  EXPECT_EQ(Scpi.GetResponseDataBuff(0), Scpi.GetResponseDataBuff(kScpiResponseChunks));
  EXPECT_EQ(Scpi.GetResponseDataBuff(0), Scpi.GetResponseDataBuff(-1));
  Scpi.SetResponseFinish(5);
  EXPECT_EQ(1, Scpi.GetResponseFinish());
}

TEST(Registry, KeywordsAreKeptOncePerTask) {
  instr a[] = {{"DISPlay:GRID", Record<30>}, {"DISPlay:MENU", Record<31>}, {"", nullptr}};
  EXPECT_EQ(-1, Scpi.RegisterInstr(5, nullptr));
  EXPECT_EQ(-1, Scpi.RegisterInstr(-1, a));
  EXPECT_EQ(-1, Scpi.RegisterInstr(kScpiTaskSlots, a));
  EXPECT_EQ(0, Scpi.RegisterInstr(5, a));
  EXPECT_EQ(1, Scpi.FindRegisterInsrt(5, "DISPlay"));
  EXPECT_EQ(1, Scpi.FindRegisterInsrt(5, "DISP"));
  EXPECT_EQ(2, Scpi.FindRegisterInsrt(6, "DISP"));
  EXPECT_EQ(-1, Scpi.FindRegisterInsrt(5, nullptr));
  testing::internal::CaptureStdout();
  Scpi.ListRegisterTable();
  EXPECT_EQ("FristLevel : [DISPlay]   Taskid = 0x5\n", testing::internal::GetCapturedStdout());
}

TEST(KeyLock, SourceAndBusy) {
  EXPECT_EQ(kKeyLockNone, Scpi.GetKeyLockFrom());
  Scpi.SetKeyLockFrom(kKeyLockVxi11);
  EXPECT_EQ(kKeyLockVxi11, Scpi.GetKeyLockFrom());
  EXPECT_FALSE(Scpi.IsScpiBusy());
  Scpi.SetScpiBusyState(true);
  EXPECT_TRUE(Scpi.IsScpiBusy());
}
}  // namespace
