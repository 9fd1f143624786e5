// The SCPI thread, its queue and worker, driven as a transport drives them:
// lines posted on the queue, answers read from the response buffer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/messages/remote_errors.h"
#include "platform/ipc.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "remote/scpi/scpi_thread.h"
#include "tests/bench/bench.h"

namespace {
std::mutex g_mu;
std::condition_variable g_cv;
bool g_blocked = false, g_release = false;
std::atomic<int> g_counted{0}, g_idn{0}, g_opcRow{0}, g_any{0};

void Idn(scpi_para*, char*) {
  ++g_idn;
  ++g_any;
  Scpi.WriteResponseData("QEL,TEST", 0);
}
void Trace(scpi_para*, char*) {
  ++g_any;
  std::string data(1400, '\x7F');
  Scpi.WriteResponseDataRaw(data.data(), int(data.size()));
}
void Block(scpi_para*, char*) {
  ++g_any;
  std::unique_lock<std::mutex> lock(g_mu);
  g_blocked = true;
  g_cv.notify_all();
  g_cv.wait_for(lock, kWaitLimit, [] { return g_release; });
}
// Answers, then stays busy until Release().
void AnswerThenBlock(scpi_para* para, char* p) {
  Scpi.WriteResponseData("A", 0);
  Block(para, p);
}
void Count(scpi_para*, char*) {
  ++g_any;
  ++g_counted;
}
void OpcRow(scpi_para*, char*) {
  ++g_any;
  ++g_opcRow;
  Scpi.WriteResponseData(Scpi.IsScpiBusy() ? "0" : "1", 0);
}
// Answers its parameter, after a pause that lets other requesters' commands
// overtake it in the queue.
void Echo(scpi_para*, char* p) {
  std::this_thread::sleep_for(std::chrono::microseconds(50));
  Scpi.WriteResponseData(p ? p : "", 0);
}
void Throw(scpi_para*, char*) { throw std::runtime_error("handler failure"); }
void Refuse(scpi_para*, char*) { PushRemoteError(72, "refused"); }
void ThrowOther(scpi_para*, char*) { throw 42; }

instr g_table[] = {{"*IDN?", Idn},     {"TRACe:DATA?", Trace},      {"BLOCk", Block},
                   {"COUNt", Count},   {"*OPC?", OpcRow},           {"ECHO?", Echo},
                   {"THROw", Throw},   {"THROw:OTHer", ThrowOther}, {"ANSWer?", AnswerThenBlock},
                   {"REFuse", Refuse}, {"SUBsystem:COUNt", Count},  {"SUBsystem:IDN?", Idn},
                   {"", nullptr}};

template <typename F>
bool WaitFor(F done) {
  return WaitUntil(done);
}

struct Thread : ::testing::Test {
  Bench bench;
  void SetUp() override {
    g_counted = g_idn = g_opcRow = g_any = 0;
    g_blocked = g_release = false;
    ASSERT_EQ(0, Scpi.RegisterInstr(40, g_table));
    ASSERT_EQ(0, StartScpiThread());
  }
  void TearDown() override {
    HoldScpiWorker(false);
    Release();
  }
  // Occupies the worker with a call that waits for Release().
  void BlockWorker() {
    ScpiQuery("BLOC\n", 1, 0);
    std::unique_lock<std::mutex> lock(g_mu);
    ASSERT_TRUE(g_cv.wait_for(lock, kWaitLimit, [] { return g_blocked; }));
  }
  void Release() {
    std::lock_guard<std::mutex> lock(g_mu);
    g_release = true;
    g_cv.notify_all();
  }
  // Every message posted so far has been taken by the SCPI thread and every
  // call it queued has run (the worker runs them in order): the engine is
  // idle once the answer is in.
  void Sync() {
    ASSERT_EQ("sync\r\n", ScpiQuery("ECHO? sync\n"));
    ASSERT_EQ("1\r\n", ScpiQuery("*OPC?\r\n"));
  }
};

TEST_F(Thread, QueriesAnswerThroughTheQueue) {
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery("*IDN?\n"));
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery(":*idn?\r\n"));
  scpi_msg web;
  ASSERT_GT(Scpi.GetWebScpiMsg(&web), 0);
  EXPECT_STREQ("QEL,TEST", web.text);
  std::string block = ScpiQuery("TRAC:DATA?\n");
  EXPECT_EQ("#41400" + std::string(1400, '\x7F') + "\r\n", block);
  // A new message clears the web copy; a line nothing matches answers nothing.
  EXPECT_EQ("", ScpiQuery("NOSuch:COMMand?\n", 1, 200));
  EXPECT_EQ(-1, Scpi.GetWebScpiMsg(&web));
  EXPECT_EQ(0, Scpi.GetResponseFinish());
  // The SCPI thread stores the tag and source of the message type.
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery("*IDN?\n", ScpiMsgType(0x2A, 1)));
  EXPECT_EQ(0x2A, Scpi.MessageTag());
  EXPECT_EQ(1, Scpi.MessageSource());
}

TEST_F(Thread, ExactOpcIsAnsweredOnTheThreadEvenWhileTheWorkerIsBusy) {
  EXPECT_EQ("1\r\n", ScpiQuery("*OPC?\r\n"));
  BlockWorker();
  // The worker has a call to finish: busy, answered at once all the same.
  EXPECT_EQ("0\r\n", ScpiQuery("*OPC?\r\n"));
  EXPECT_EQ("0\r\n", ScpiQuery("*OPC?\n"));
  EXPECT_EQ(0, g_opcRow.load());
  // Without its line end it is an ordinary command for the worker: it
  // answers once the calls before it have run, and is not busy with itself.
  EXPECT_EQ("", ScpiQuery("*OPC?", 1, 200));
  Release();
  EXPECT_TRUE(WaitFor([] { return g_opcRow.load() == 1; }));
  EXPECT_EQ("1\r\n", ScpiQuery("*OPC?"));
  EXPECT_TRUE(WaitFor([] { return ScpiQuery("*OPC?\n") == "1\r\n"; }));
  Scpi.SetScpiBusyState(true);
  EXPECT_EQ("0\r\n", ScpiQuery("*OPC?\n"));
  Scpi.SetScpiBusyState(false);
}

// Start-up holds the worker until its own settings are in force: until then
// *OPC? answers 0, with or without a command waiting, and 1 once the held
// commands have run.
TEST_F(Thread, OpcAnswersZeroWhileStartUpHoldsTheWorker) {
  HoldScpiWorker(true);
  EXPECT_EQ("0\r\n", ScpiQuery("*OPC?\r\n"));
  EXPECT_EQ("0\r\n", ScpiQuery("*OPC?\n"));
  ScpiQuery("COUN\n", 1, 0);
  EXPECT_EQ("0\r\n", ScpiQuery("*OPC?\n"));
  EXPECT_EQ(0, g_counted.load());
  HoldScpiWorker(false);
  EXPECT_TRUE(WaitFor([] { return ScpiQuery("*OPC?\n") == "1\r\n"; }));
  EXPECT_EQ(1, g_counted.load());
}

// An answer reaches its requester only once its call is done: whoever has
// it and asks *OPC? next finds the engine idle.
TEST_F(Thread, AnAnswerIsDeliveredOnlyOnceItsCallIsDone) {
  const char line[] = "ANSW?\n";
  const ScpiPost post = {line, int(sizeof line - 1), false};
  ScpiTicket ticket = 0;
  ASSERT_GT(Scpi.PostCommand(1, &post, 1, true, &ticket), 0);
  {
    std::unique_lock<std::mutex> lock(g_mu);
    ASSERT_TRUE(g_cv.wait_for(lock, kWaitLimit, [] { return g_blocked; }));
  }
  // Written, but the call still runs: not delivered, and the engine is busy.
  EXPECT_FALSE(Scpi.TakeAnswer(ticket, nullptr));
  EXPECT_EQ("0\r\n", ScpiQuery("*OPC?\r\n"));
  Release();
  std::string answer;
  ASSERT_TRUE(Scpi.WaitAnswer(ticket, 3000, &answer));
  EXPECT_EQ("A\r\n", answer);
  EXPECT_EQ(1, Scpi.GetResponseFinish());
  EXPECT_EQ("1\r\n", ScpiQuery("*OPC?\r\n"));
}

// Errors are queued in the order of the commands: an unknown header sent
// behind a refused command waiting for the worker comes after its error.
TEST_F(Thread, AnUnknownHeaderTakesItsTurnInTheErrorQueue) {
  ClearRemoteErrors();
  BlockWorker();
  ScpiQuery("REF\n", 1, 0);
  ScpiQuery("NOSUch:COMMand\n", 1, 0);
  Release();
  Sync();
  EXPECT_EQ("72,\"refused\"", PopRemoteError());
  EXPECT_EQ("-113,\"Undefined header\"", PopRemoteError());
  EXPECT_EQ("0,\"No error\"", PopRemoteError());
}

// A burst larger than the worker's queue is held back, not dropped: every
// command runs, and *OPC? answers 1 only once they all have.
TEST_F(Thread, ABurstWaitsForTheWorkerInsteadOfBeingDropped) {
  BlockWorker();
  for (int i = 0; i < 100; ++i) ScpiQuery("COUN\n", 1, 0);
  // The SCPI thread waits for room for the fourth call: what follows waits too.
  EXPECT_EQ("", ScpiQuery("*OPC?\r\n", 1, 100));
  EXPECT_EQ(0, g_counted.load());
  Release();
  EXPECT_TRUE(WaitFor([] { return ScpiQuery("*OPC?\r\n") == "1\r\n"; }));
  EXPECT_EQ(100, g_counted.load());
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery("*IDN?\n"));
}

// Requesters querying at the same time each get the answer of their own
// command, never another's or a late one.
TEST_F(Thread, EachRequesterGetsItsOwnAnswer) {
  constexpr int kThreads = 8, kQueries = 150;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < kQueries; ++i) {
        const std::string word = "T" + std::to_string(t) + "Q" + std::to_string(i);
        if (ScpiQuery("ECHO? " + word + "\n", 1, 10000) != word + "\r\n") ++wrong;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, wrong.load());
  // A query given up on: its late answer is not taken for the next one.
  BlockWorker();
  EXPECT_EQ("", ScpiQuery("ECHO? late\n", 1, 50));
  Release();
  EXPECT_EQ("early\r\n", ScpiQuery("ECHO? early\n"));
}

TEST_F(Thread, AThrowingHandlerLeavesTheWorkerRunning) {
  testing::internal::CaptureStdout();
  ScpiQuery("THROw\n", 1, 0);
  ScpiQuery("THROw:OTHer\n", 1, 0);
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery("*IDN?\n"));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("SCPI handler failed: handler failure"));
  EXPECT_NE(std::string::npos, out.find("SCPI handler failed: unknown exception"));
}

TEST_F(Thread, SetupUploadTakesTheNextMessageAsItsBlock) {
  std::string block = "#41234" + std::string(1234, 'S');
  ScpiQuery("SYSTem:SETup\n", 1, 0);  // an LF line end, as END gives
  ASSERT_EQ(int(block.size()), Scpi.SendScpiMsg2(1, block.data(), int(block.size())));
  EXPECT_TRUE(WaitFor([] { return Scpi.GetBinaryDataLen() == 1234; }));
  // More announced than arrived: refused, nothing announced.
  std::string cut = "#41234" + std::string(100, 'S');
  ScpiQuery("CONFIG\r\n", 1, 0);
  ASSERT_GT(Scpi.SendScpiMsg2(1, cut.data(), int(cut.size())), 0);
  EXPECT_TRUE(WaitFor([] { return Scpi.GetBinaryDataLen() == 0; }));
  Sync();
  EXPECT_EQ(0, g_any.load());
}

TEST_F(Thread, HostileLinesAreRefusedWithoutAnswer) {
  const std::string lines[] = {
      std::string(65536, 'J'),          // 64 KiB of junk
      std::string(2000, 'A') + " 1\n",  // longer than a command line
      "*IDN?\xFF\n",                    // a byte above 0x7F: no such command
      "\x80\x81\x82\n",
      "*IDN?\x7F\n",                          // DEL
      " : ::  \r\n",                          // only separators
      "",                                     // empty
      " 1.5\n",                               // a parameter, no header
      "*IDN?\x01\n",                          // a control byte
      std::string(120, 'B') + ":X\n",         // a level too long
      "COUN " + std::string(300, 'p') + "\n"  // a parameter too long
  };
  for (const std::string& line : lines) {
    SCOPED_TRACE(line.substr(0, 40));
    EXPECT_EQ("", ScpiQuery(line, 1, 100));
  }
  // Binary messages with NUL bytes, as a raw transport could post them.
  const char nulFirst[] = "\0\0*IDN?\n";
  ASSERT_GT(Scpi.SendScpiMsg2(1, nulFirst, int(sizeof nulFirst)), 0);
  std::string bytes(5000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 37 + 1);
  ASSERT_GT(Scpi.SendScpiMsg2(1, bytes.data(), int(bytes.size())), 0);
  Sync();
  EXPECT_EQ(0, g_any.load());
  // The engine still works.
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery("*IDN?\n"));
}

// A message of several units separated by ';' runs each in turn; the last
// answers; a header without a leading ':' is first taken below the path of
// the header before it; a ';' in quotes is the parameter's.
TEST_F(Thread, AMessageRunsItsUnitsInOrder) {
  ClearRemoteErrors();
  EXPECT_EQ("b\r\n", ScpiQuery("ECHO? a;ECHO? b\n"));
  EXPECT_EQ("\"x;y\"\r\n", ScpiQuery("ECHO? \"x;y\"\n"));
  ScpiQuery("COUN;COUN; ;:COUN;\n", 1, 0);
  Sync();
  EXPECT_EQ(3, g_counted.load());
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery("SUB:COUN;IDN?\n"));
  EXPECT_EQ(4, g_counted.load());
  EXPECT_EQ("0,\"No error\"", PopRemoteError());
  // From the root, IDN? is no command; an unknown unit leaves its error and
  // the units before it run.
  ScpiQuery("SUB:COUN;:IDN?\n", 1, 0);
  ScpiQuery("COUN;FOO;" + std::string(3000, 'Z') + ";:::\n", 1, 0);
  Sync();
  EXPECT_EQ(6, g_counted.load());
  for (int i = 0; i < 4; ++i) EXPECT_EQ("-113,\"Undefined header\"", PopRemoteError()) << i;
  EXPECT_EQ("0,\"No error\"", PopRemoteError());
}

TEST_F(Thread, StopEndsTheThreads) {
  EXPECT_EQ("QEL,TEST\r\n", ScpiQuery("*IDN?\n"));
  bench.Stop();  // returns only when the SCPI thread and its worker ended
  EXPECT_EQ("", ScpiQuery("*IDN?\n", 1, 50));
}
}  // namespace

namespace {
TEST(Started, TheInstrumentAnswersOverItsQueue) {
  Bench bench;
  ASSERT_EQ(0, bench.Start());
  EXPECT_EQ("1\r\n", ScpiQuery("*OPC?\r\n"));
  EXPECT_TRUE(RootFileExists("Data/Scpi"));
  EXPECT_TRUE(RootFileExists("Data/Web"));
}
}  // namespace
