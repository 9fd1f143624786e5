// The help module on the simulated board: the HELP key opens the window over
// the current module, the select knob moves in the topic list and scrolls
// long texts, HELP or another module's key closes it and gives the knob back;
// help files that are missing or damaged leave an empty window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/state/ids.h"
#include "core/menu/keypara.h"
#include "core/state/task_manage.h"
#include "platform/root.h"
#include "system/help/task_help.h"
#include "tests/bench/bench.h"
#include "ui/draw/picture.h"
#include "ui/display/task_display.h"

namespace {
constexpr uint8_t kHelp = 71, kPush = 72, kRight = 76, kLeft = 77, kCh1 = 64, kDisplay = 61;
constexpr uint32_t kText = 0xC8C8AF, kHighlight = 0x313031;
constexpr int kRow = 63, kCol = 70;  // window origin
constexpr char kHelpFile[] = "Data/Help/QelHelpEnglish.txt";

bool InDisplayList(int id) {
  const std::vector<int> l = TaskManage.DisplayList();
  return std::find(l.begin(), l.end(), id) != l.end();
}

// A help file image: byte-order mark, then `text` with LF turned into CR LF.
std::string HelpFile(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    if (c == '\n') out += std::string("\r\0", 2);
    out += c;
    out += '\0';
  }
  return out;
}

std::vector<uint16_t> Units(const std::string& text) {
  const std::string bytes = HelpFile(text);
  std::vector<uint16_t> u(bytes.size() / 2);
  for (size_t i = 0; i < u.size(); ++i)
    u[i] = uint16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
  return u;
}

// `topics` topics "T0".."Tn", topic i with `subs` sub-items; the text of
// sub-item 1 of topic 0 has `longLines` paragraphs.
std::string Generated(int topics, int subs, int longLines = 1) {
  std::string s = "<Summary Start>\n";
  for (int i = 0; i < topics; ++i) s += "T" + std::to_string(i) + "\n";
  s += "<Summary End>\n";
  for (int i = 0; i < topics; ++i) {
    const std::string n = "T" + std::to_string(i);
    s += "<" + n + " Describe Start>\n<#\nAbout " + n + "\n#>\n";
    for (int k = 1; k <= subs; ++k) {
      s += "<@S" + std::to_string(k) + "\n<!\n";
      const int lines = i == 0 && k == 1 ? longLines : 1;
      for (int l = 0; l < lines; ++l) s += "Line " + std::to_string(l) + " of " + n + "\n";
      s += "!>\n";
    }
    s += "<" + n + " Describe End>\n";
  }
  return s;
}

struct Help : ::testing::Test {
  Bench bench;
  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(kTaskDisplay, 0));
    ASSERT_EQ(bench.Start(), 0);
    bench.StopThreads();
    bench.AdvanceMs(4000);
  }
  void TearDown() override {
    if (TaskHelp.IsOpen()) TaskHelp.Default();
  }
  // Replaces the help file and reloads it the way a language change does.
  void Reload(const std::string* bytes) {
    RemoveRootFile(kHelpFile);
    if (bytes) WriteRootFile(kHelpFile, *bytes);
    taskresponse r{};
    r.key.key = KEY_WORD_LANGUAGE;
    TaskHelp.OpResponse(&r);
  }
  int Count(uint32_t colour, int row, int col, int width, int height) const {
    return bench.CountPixels(row, col, width, height, colour);
  }
  // The text area of the window.
  std::vector<uint32_t> TextArea() const {
    std::vector<uint32_t> p;
    for (int r = kRow + 40; r < kRow + 310; ++r)
      for (int c = kCol + 150; c < kCol + 570; ++c) p.push_back(bench.Pixel(r, c));
    return p;
  }
};
}  // namespace

TEST_F(Help, TheGeneratedFileParses) {
  ASSERT_TRUE(RootFileExists(kHelpFile));
  ASSERT_GE(TaskHelp.TopicCount(), 10);
  const HelpTopic& ch = TaskHelp.Topic(0);
  EXPECT_STREQ(ch.nameAscii, "Channel");
  EXPECT_EQ(ch.subCount, 7);
  EXPECT_GT(ch.body.length, 20);
  EXPECT_EQ(ch.body.text[0], u'T');  // the line break after the marker is not text
  for (int i = 0; i < TaskHelp.TopicCount(); ++i) {
    const HelpTopic& t = TaskHelp.Topic(i);
    EXPECT_GT(t.body.length, 0) << t.nameAscii;
    for (int s = 0; s < t.subCount; ++s) EXPECT_GT(t.sub[s].body.length, 0) << t.nameAscii << s;
  }
  EXPECT_STREQ(TaskHelp.Topic(TaskHelp.TopicCount() - 1).nameAscii, "Help");
}

TEST_F(Help, HelpOpensTheWindowOverTheModuleAndClosesBackToIt) {
  const std::vector<uint32_t> before = bench.Screen();
  bench.Key(kHelp);
  EXPECT_TRUE(TaskHelp.IsOpen());
  EXPECT_TRUE(InDisplayList(kTaskHelp));
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskHelp);
  EXPECT_EQ(TaskHelp.SavedTask(), kTaskDisplay);
  EXPECT_NE(bench.Screen(), before);
  EXPECT_GT(Count(kText, kRow + 60, kCol, 130, 250), 50);        // the list
  EXPECT_GT(Count(kText, kRow + 40, kCol + 150, 420, 270), 100);  // the text
  EXPECT_GT(Count(kHighlight, kRow + 65, kCol, 130, 20), 100);    // the first line selected
  EXPECT_EQ(Count(kHighlight, kRow + 85, kCol, 130, 20), 0);

  bench.Key(kHelp);
  EXPECT_FALSE(TaskHelp.IsOpen());
  EXPECT_FALSE(InDisplayList(kTaskHelp));
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskDisplay);
  EXPECT_EQ(Count(kHighlight, kRow + 65, kCol, 130, 20), 0);
  // The knob is the display module's again.
  bench.Key(kRight);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 0);
}

TEST_F(Help, AnotherModulesKeyClosesTheWindowAndKeepsThatModule) {
  bench.Key(kHelp);
  ASSERT_TRUE(TaskHelp.IsOpen());
  bench.Key(kCh1);
  EXPECT_FALSE(TaskHelp.IsOpen());
  EXPECT_FALSE(InDisplayList(kTaskHelp));
  EXPECT_EQ(TaskManage.GetTaskCurrId(), 6);
  // A window closed by the factory default leaves HELP working as before.
  bench.Key(kHelp);
  ASSERT_TRUE(TaskHelp.IsOpen());
  EXPECT_EQ(TaskHelp.SavedTask(), 6);
  taskresponse r{};
  r.key.key = KEY_WORD_DEFAULT;
  TaskHelp.OpResponse(&r);
  EXPECT_FALSE(InDisplayList(kTaskHelp));
  bench.Key(kDisplay);
  EXPECT_FALSE(TaskHelp.IsOpen());
  EXPECT_EQ(TaskManage.GetTaskCurrId(), kTaskDisplay);
}

TEST_F(Help, TheKnobMovesTheSelectionAndPushOpensTheSubList) {
  bench.Key(kHelp);
  const std::vector<uint32_t> first = TextArea();
  bench.Key(kRight);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 1);
  EXPECT_NE(TextArea(), first);
  EXPECT_GT(Count(kHighlight, kRow + 85, kCol, 130, 20), 100);
  bench.Key(kLeft);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 0);
  EXPECT_EQ(TextArea(), first);

  const int lines = TaskHelp.TotalLines();
  bench.Key(kPush);  // Channel opens its seven sub-items
  EXPECT_TRUE(TaskHelp.Topic(0).expanded);
  bench.Key(kRight);
  EXPECT_EQ(TaskHelp.TotalLines(), lines + 7);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 0);
  EXPECT_EQ(TaskHelp.Topic(0).selected, 1);
  EXPECT_EQ(TaskHelp.SelectedText().text, TaskHelp.Topic(0).sub[0].body.text);
  EXPECT_NE(TextArea(), first);
  EXPECT_GT(Count(kHighlight, kRow + 85, kCol, 130, 20), 100);  // sub-item line 2
  EXPECT_EQ(TaskHelp.GetSlideBarPos(0), 2);
  EXPECT_EQ(TaskHelp.GetFuncCnt(1), 9);

  for (int i = 0; i < 7; ++i) bench.Key(kRight);  // past the last sub-item
  EXPECT_EQ(TaskHelp.CurrentTopic(), 1);
  EXPECT_EQ(TaskHelp.GetSlideBarPos(1), 9);
  bench.Key(kLeft);  // back to the last sub-item of the open topic
  EXPECT_EQ(TaskHelp.CurrentTopic(), 0);
  EXPECT_EQ(TaskHelp.Topic(0).selected, 7);
  for (int i = 0; i < 7; ++i) bench.Key(kLeft);
  EXPECT_EQ(TaskHelp.Topic(0).selected, 0);
  bench.Key(kPush);  // closes it again
  EXPECT_FALSE(TaskHelp.Topic(0).expanded);
  bench.Key(kRight);
  EXPECT_EQ(TaskHelp.TotalLines(), lines);
}

TEST_F(Help, TheListStopsAtBothEndsAndItsWindowFollows) {
  const std::string file = HelpFile(Generated(20, 2));
  Reload(&file);
  ASSERT_EQ(TaskHelp.TopicCount(), 20);
  bench.Key(kHelp);
  bench.Key(kLeft);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 0);
  for (int i = 0; i < 15; ++i) bench.Key(kRight);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 15);
  EXPECT_EQ(TaskHelp.ListStart(), 15 - 11);
  EXPECT_GT(Count(kHighlight, kRow + 65 + 11 * 20, kCol, 130, 20), 100);  // the bottom line
  for (int i = 0; i < 10; ++i) bench.Key(kRight);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 19);
  bench.Key(kPush);  // the last topic open: down stops on its last sub-item
  for (int i = 0; i < 5; ++i) bench.Key(kRight);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 19);
  EXPECT_EQ(TaskHelp.Topic(19).selected, 2);
  EXPECT_EQ(TaskHelp.TotalLines(), 22);
  EXPECT_EQ(TaskHelp.ListStart(), 22 - 12);
  for (int i = 0; i < 25; ++i) bench.Key(kLeft);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 0);
  EXPECT_EQ(TaskHelp.ListStart(), 0);
}

TEST_F(Help, PushOnALongTextScrollsItAndPushAgainReturnsToTheList) {
  const std::string file = HelpFile(Generated(2, 2, 20));
  Reload(&file);
  bench.Key(kHelp);
  bench.Key(kPush);
  bench.Key(kRight);  // T0 / S1, 20 lines
  ASSERT_EQ(TaskHelp.Topic(0).selected, 1);
  const HelpText& text = TaskHelp.SelectedText();
  EXPECT_EQ(text.lines, 20);
  EXPECT_EQ(text.longText, 1);
  EXPECT_EQ(text.scrollStep, 150 / 9);
  const std::vector<uint32_t> top = TextArea();
  bench.Key(kPush);
  EXPECT_TRUE(TaskHelp.IsScrolling());
  bench.Key(kLeft);
  EXPECT_EQ(text.firstLine, 0);
  for (int i = 0; i < 15; ++i) bench.Key(kRight);
  EXPECT_EQ(text.firstLine, 9);  // 11 lines stay shown
  EXPECT_EQ(TaskHelp.Topic(0).selected, 1);
  EXPECT_NE(TextArea(), top);
  bench.Key(kPush);
  EXPECT_FALSE(TaskHelp.IsScrolling());
  bench.Key(kRight);
  EXPECT_EQ(TaskHelp.Topic(0).selected, 2);
  // A short text does not scroll: push stays in the list.
  bench.Key(kPush);
  EXPECT_FALSE(TaskHelp.IsScrolling());
}

TEST_F(Help, AMissingOrDamagedFileLeavesAnEmptyWindow) {
  Reload(nullptr);
  EXPECT_EQ(TaskHelp.TopicCount(), 0);
  bench.Key(kHelp);
  EXPECT_TRUE(TaskHelp.IsOpen());
  EXPECT_TRUE(InDisplayList(kTaskHelp));
  EXPECT_EQ(Count(kHighlight, kRow + 60, kCol, 130, 250), 0);
  for (uint8_t k : {kRight, kLeft, kPush}) bench.Key(k);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 0);
  bench.Key(kHelp);
  EXPECT_FALSE(TaskHelp.IsOpen());

  const std::string good = Generated(3, 1);
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {"no summary", good.substr(good.find("<Summary End>"))},
      {"no summary end", "<Summary Start>\nT0\n"},
      {"no topic block", "<Summary Start>\nT0\nT9\n<Summary End>\n" + good.substr(good.find("<T0 Describe"))},
      {"no block end", good.substr(0, good.find("<T2 Describe End>"))},
      {"no topic text", "<Summary Start>\nA\n<Summary End>\n<A Describe Start>\nx\n<A Describe End>\n"},
      {"no sub-item text", "<Summary Start>\nA\n<Summary End>\n<A Describe Start>\n<#a#>\n<@B\n<A Describe End>\n<!b!>\n"},
      {"unclosed text", "<Summary Start>\nA\n<Summary End>\n<A Describe Start>\n<#a\n<A Describe End>\n#>\n"},
  };
  for (const auto& [what, text] : damaged) {
    EXPECT_EQ(TaskHelp.HelpParse(Units(text)), -1) << what;
    EXPECT_EQ(TaskHelp.TopicCount(), 0) << what;
  }
  // Without a byte-order mark and with a stray odd byte at the end the file
  // still reads; an empty one is rejected.
  std::string odd = HelpFile(good).substr(2) + "x";
  Reload(&odd);
  EXPECT_EQ(TaskHelp.TopicCount(), 3);
  std::string empty;
  Reload(&empty);
  EXPECT_EQ(TaskHelp.TopicCount(), 0);
  // More topics and sub-items than the list holds: the first 50 of each.
  const std::string big = HelpFile(Generated(60, 60));
  Reload(&big);
  EXPECT_EQ(TaskHelp.TopicCount(), kHelpMaxTopics);
  EXPECT_EQ(TaskHelp.Topic(0).subCount, kHelpMaxSubItems);
  bench.Key(kHelp);
  bench.Key(kPush);
  for (int i = 0; i < 60; ++i) bench.Key(kRight);
  EXPECT_EQ(TaskHelp.CurrentTopic(), 10);
}
