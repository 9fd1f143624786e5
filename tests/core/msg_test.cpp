// Pop-up messages: raising by number, time-outs, and the message packs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/messages/msg.h"
#include "core/messages/remote_errors.h"
#include "platform/clock.h"
#include "tests/bench/bench.h"

namespace {
const char* kEnglishPack = "Data/Message/MessageEnglish.txt";

std::u16string Text(const msginfo& m) { return std::u16string(reinterpret_cast<const char16_t*>(m.text)); }

std::u16string TextOf(const msg& m, int n) {
  uint16_t buf[kMsgTextUnits];
  if (m.GetMessageText(n, buf, kMsgTextUnits) < 0) return u"<none>";
  return std::u16string(reinterpret_cast<const char16_t*>(buf));
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A pack file of the given UTF-16 units, with or without the byte-order mark.
void WritePack(const std::string& path, const std::u16string& units, bool bom = true, bool oddByte = false) {
  std::string bytes;
  if (bom) bytes += "\xFF\xFE";
  for (char16_t u : units) {
    bytes += char(u & 0xFF);
    bytes += char(u >> 8);
  }
  if (oddByte) bytes += 'x';
  WriteRootFile(path, bytes);
}

std::u16string Rows(int n, const std::u16string& prefix = u"T") {
  std::u16string s;
  for (int i = 0; i < n; ++i) s += u"#" + prefix + Wide(std::to_string(i)) + u"\r\n";
  return s;
}
}  // namespace

TEST(MsgInfoTable, RowsAreNumberedByIndexWithTheThreeLooks) {
  int listed = 0;
  for (int i = 0; i < kMsgRows; ++i) {
    EXPECT_EQ(MsgInfo[i].number, i);
    uint16_t a = MsgInfo[i].attribute;
    EXPECT_TRUE(a == 0 || a == kMsgError || a == kMsgInfo || a == kMsgNotice) << i;
    EXPECT_EQ(a == 0, MsgInfo[i].name[0] == 0) << i;
    listed += MsgListed(i);
  }
  EXPECT_EQ(listed, 112);
  EXPECT_EQ(MsgInfo[79].attribute, kMsgNotice);
  EXPECT_STREQ(MsgInfo[79].name, "The keyboard is locked.");
  EXPECT_EQ(MsgInfo[11].attribute, kMsgError);
}

TEST(Msg, SetMessageTakesListedNumbersOnly) {
  Bench bench;
  msg m;
  EXPECT_EQ(m.GetMessageID(), -1);
  EXPECT_EQ(m.SetMessage(0), 0);
  EXPECT_EQ(m.SetMessage(120), 120);
  EXPECT_EQ(m.SetMessage(121), -1);
  EXPECT_EQ(m.SetMessage(-1), -1);
  EXPECT_EQ(m.SetMessage(104), -1);  // carries no message
  EXPECT_EQ(m.GetMessageID(), 120);
  m.ClearMessage();
  EXPECT_EQ(m.GetMessageID(), -1);
}

TEST(Msg, GetMessageFillsTheRecordOnlyWhilePending) {
  Bench bench;
  msg m;
  msginfo info;
  info.number = 77;
  info.attribute = 1;
  info.text[0] = 'z';
  EXPECT_EQ(m.GetMessage(&info), -1);
  EXPECT_EQ(info.number, 77);
  EXPECT_EQ(info.text[0], 'z');
  int32_t sec = 0;
  plat::WallTime(&sec, nullptr);
  m.SetMessage(23);
  int raised = m.GetMessage(&info);
  EXPECT_GE(raised, sec);
  EXPECT_LE(raised, sec + 1);
  EXPECT_EQ(info.number, 23);
  EXPECT_EQ(info.attribute, kMsgError);
  EXPECT_EQ(Text(info), u"USB device is not inserted !");  // no pack: the English name
  EXPECT_EQ(m.GetMessage(nullptr), -1);
}

TEST(Msg, MessageTimesOutAfterItsShowTimeAndANewOneRestartsIt) {
  Bench bench;
  plat::HoldVirtualClock(true);
  msg m;
  m.SetMessage(8);
  plat::AdvanceUs(kMsgShowUs - 100000);
  EXPECT_FALSE(m.IsTimeOut());
  EXPECT_EQ(m.ExpireMessage(), 0);
  m.SetMessage(9);  // replaces it and restarts the time
  plat::AdvanceUs(200000);
  EXPECT_EQ(m.ExpireMessage(), 0);
  EXPECT_EQ(m.GetMessageID(), 9);
  plat::AdvanceUs(kMsgShowUs);
  EXPECT_TRUE(m.IsTimeOut());
  EXPECT_EQ(m.ExpireMessage(), 1);
  EXPECT_EQ(m.GetMessageID(), -1);
  EXPECT_FALSE(m.IsTimeOut());
}

TEST(MsgPack, TheGeneratedEnglishPackHoldsEveryMessageText) {
  Bench bench;  // the fresh root carries the factory packs
  msg m;
  ASSERT_EQ(m.LoadMsgPack(kEnglishPack), 0);
  for (int i = 0; i < kMsgRows; ++i) {
    if (!MsgListed(i)) continue;
    EXPECT_TRUE(m.HasPackText(i)) << i;
    EXPECT_EQ(TextOf(m, i), Wide(MsgInfo[i].name)) << i;
  }
  EXPECT_EQ(TextOf(m, 98), u"#FFT split screen mode, function is disabled");
  EXPECT_EQ(TextOf(m, 99), u"Pass/Fail stop.");  // the '#' of 98 opened no row
  EXPECT_FALSE(m.HasPackText(104));
}

TEST(MsgPack, LoaderRefusesWhatIsNoPack) {
  Bench bench;
  msg m;
  EXPECT_EQ(m.LoadMsgPack(nullptr), -1);
  EXPECT_EQ(m.LoadMsgPack("Data/Message/MessageNone.txt"), -1);
  WriteRootFile("Data/Message/Empty.txt", "");
  EXPECT_EQ(m.LoadMsgPack("Data/Message/Empty.txt"), -1);
  WritePack("Data/Message/NoBom.txt", Rows(3), false);
  EXPECT_EQ(m.LoadMsgPack("Data/Message/NoBom.txt"), -1);
  WritePack("Data/Message/NoMarks.txt", u"no rows here\r\n");
  EXPECT_EQ(m.LoadMsgPack("Data/Message/NoMarks.txt"), -1);
  EXPECT_FALSE(m.HasPackText(0));
}

TEST(MsgPack, TruncatedPackKeepsTheRowsItHasAndTerminatesThem) {
  Bench bench;
  msg m;
  // Ten rows, the last cut in the middle with no line end, and an odd byte.
  std::u16string units = Rows(9) + u"#Cut";
  WritePack("Data/Message/Cut.txt", units, true, true);
  ASSERT_EQ(m.LoadMsgPack("Data/Message/Cut.txt"), 0);
  EXPECT_EQ(TextOf(m, 3), u"T3");
  EXPECT_EQ(TextOf(m, 9), u"Cut");
  EXPECT_FALSE(m.HasPackText(10));
  EXPECT_EQ(TextOf(m, 10), Wide(MsgInfo[10].name));  // missing texts fall back to the name
}

TEST(MsgPack, OnlyALineStartingHashOpensARow) {
  Bench bench;
  msg m;
  // A '#' inside a text, a text starting with '#', an empty row, a unit whose
  // high byte is 0x23, and LF-only line ends.
  std::u16string units = u"#a#b\r\n##c\n#\r\n#\x2323x\r\n#e\r\n";
  WritePack("Data/Message/Marks.txt", units);
  ASSERT_EQ(m.LoadMsgPack("Data/Message/Marks.txt"), 0);
  EXPECT_EQ(TextOf(m, 0), u"a#b");
  EXPECT_EQ(TextOf(m, 1), u"#c");
  EXPECT_FALSE(m.HasPackText(2));
  EXPECT_EQ(TextOf(m, 3), u"\x2323x");
  EXPECT_EQ(TextOf(m, 4), u"e");
}

TEST(MsgPack, RowsBeyondTheTableAndLongTextsAreSafe) {
  Bench bench;
  msg m;
  std::u16string units = u"#" + std::u16string(500, u'w') + u"\r\n" + Rows(200).substr(0);
  WritePack("Data/Message/Big.txt", units);
  ASSERT_EQ(m.LoadMsgPack("Data/Message/Big.txt"), 0);
  EXPECT_EQ(TextOf(m, 0), std::u16string(kMsgTextUnits - 1, u'w'));  // cut to the record
  EXPECT_EQ(TextOf(m, 120), u"T119");
}

TEST(MsgPack, LanguageChangeReplacesEveryTextAndAFailedLoadKeepsThePack) {
  Bench bench;
  msg m;
  WritePack("Data/Message/MessageA.txt", Rows(121, u"A"));
  WritePack("Data/Message/MessageB.txt", Rows(5, u"B"));
  ASSERT_EQ(m.LoadMsgPack("Data/Message/MessageA.txt"), 0);
  m.SetMessage(50);
  msginfo info;
  m.GetMessage(&info);
  EXPECT_EQ(Text(info), u"A50");
  ASSERT_EQ(m.LoadMsgPack("Data/Message/MessageB.txt"), 0);
  EXPECT_EQ(TextOf(m, 1), u"B1");
  EXPECT_EQ(TextOf(m, 50), Wide(MsgInfo[50].name));  // no text of A survives
  m.GetMessage(&info);
  EXPECT_EQ(Text(info), Wide(MsgInfo[50].name));
  EXPECT_EQ(m.LoadMsgPack("Data/Message/MessageMissing.txt"), -1);
  EXPECT_EQ(TextOf(m, 1), u"B1");
}

TEST(Msg, ScanMarkFindsAByteWithinTheRange) {
  const uint8_t buf[] = {1, 2, 0x23, 4, 0x23};
  EXPECT_EQ(msg::ScanMark(buf, 0, 0x23, 5), 2);
  EXPECT_EQ(msg::ScanMark(buf, 3, 0x23, 5), 4);
  EXPECT_EQ(msg::ScanMark(buf, 3, 0x23, 4), -1);
  EXPECT_EQ(msg::ScanMark(nullptr, 0, 0x23, 5), -1);
  EXPECT_EQ(msg::ScanMark(buf, -1, 0x23, 5), -1);
}

// A refusal shown while a remote command's work runs is that user's error,
// with the text the screen shows; progress and success are not, nor is a
// refusal of the panel's own. The queue keeps the oldest and marks overflow.
TEST(RemoteErrors, RefusalsInARemoteCommandAreQueuedWithTheScreensText) {
  Bench bench;
  msg m;
  ClearRemoteErrors();
  m.SetMessage(11);  // the panel's own
  EXPECT_EQ(PopRemoteError(), "0,\"No error\"");
  {
    RemoteCommandScope remote;
    m.SetMessage(9);   // "Loading..."
    m.SetMessage(10);  // "Storage successfully."
    m.SetMessage(11);
    {
      RemoteCommandScope notRemote(false);  // inside a remote command stays remote
      m.SetMessage(75);
    }
  }
  m.SetMessage(13);
  EXPECT_EQ(PopRemoteError(), "11,\"Storage failed !\"");
  EXPECT_EQ(PopRemoteError(), "75,\"Not record yet!\"");
  EXPECT_EQ(PopRemoteError(), "0,\"No error\"");

  // A pack in another script: the English text, so the reply stays ASCII.
  const std::u16string chinese = u"#\u5b58\u50a8\u5931\u8d25";
  std::u16string pack;
  for (int i = 0; i < kMsgRows; ++i) pack += chinese + u"\r\n";
  WritePack("Data/Message/Chinese.txt", pack);
  ASSERT_EQ(m.LoadMsgPack("Data/Message/Chinese.txt"), 0);
  RemoteCommandScope remote;
  m.SetMessage(11);
  EXPECT_EQ(PopRemoteError(), "11,\"Storage failed !\"");
  PushRemoteError(1, "say \"no\"");
  EXPECT_EQ(PopRemoteError(), "1,\"say \"\"no\"\"\"");

  for (size_t i = 0; i < kRemoteErrorQueue + 5; ++i) m.SetMessage(i % 2 ? 13 : 11);
  for (size_t i = 0; i + 1 < kRemoteErrorQueue; ++i)
    EXPECT_EQ(PopRemoteError(), i % 2 ? "13,\"Load failed !\"" : "11,\"Storage failed !\"") << i;
  EXPECT_EQ(PopRemoteError(), "-350,\"Queue overflow\"");
  EXPECT_EQ(PopRemoteError(), "0,\"No error\"");
}
