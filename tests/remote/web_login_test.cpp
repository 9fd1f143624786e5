// The command server's login as a client sends it: wrong passwords cost the
// client's address a wait that doubles with each failure, on the virtual
// clock; the right password is taken once the wait is over, a success
// forgets the failures, and other addresses are not held up.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/clock.h"
#include "remote/web/web_control.h"
#include "remote/web/web_settings.h"
#include "remote/ws/ws_server.h"
#include "tests/bench/bench.h"

namespace {
const std::string kFailed = R"({"reply_type":"login_res","status":"failed"})";
const std::string kSuccess = R"({"reply_type":"login_res","status":"success"})";

struct WebLogin : ::testing::Test {
  Bench bench;
  std::string password;
  void SetUp() override {
    write_web_factory_files();
    const auto stored = read_web_password();
    ASSERT_TRUE(stored);
    password = stored->password;
    plat::HoldVirtualClock(true);
  }
  void TearDown() override { plat::HoldVirtualClock(false); }
  static void From(WSClient2* c, const char* address) {
    std::strncpy(c->remote_ip, address, sizeof c->remote_ip - 1);
  }
  std::string Login(WSClient2* c, const std::string& uuid, const std::string& pass) {
    return cmdControlServer.ProcessRequest(c, R"({"req_type":"login","uuid":")" + uuid +
                                                  R"(","user_name":"admin","password":")" + pass +
                                                  "\"}");
  }
  void Signout(WSClient2* c, const std::string& uuid) {
    cmdControlServer.ProcessRequest(c, R"({"req_type":"signout","uuid":")" + uuid + "\"}");
  }
  static void AdvanceMs(int64_t ms) { plat::AdvanceUs(ms * 1000); }
};

TEST_F(WebLogin, WrongPasswordsCostADoublingWait) {
  WSClient2 guesser, owner, elsewhere;
  From(&guesser, "10.1.1.1");
  From(&owner, "10.1.1.1");  // the same address: shares its cost
  From(&elsewhere, "10.2.2.2");

  EXPECT_EQ(kFailed, Login(&guesser, "g", "wrong"));
  // For a second, even the right password is refused unchecked, from any
  // connection of that address; another address logs in at once.
  AdvanceMs(900);
  EXPECT_EQ(kFailed, Login(&owner, "o", password));
  EXPECT_EQ(kSuccess, Login(&elsewhere, "e", password));
  Signout(&elsewhere, "e");
  AdvanceMs(100);
  // The wait doubles with each wrong password: 2 s, then 4 s.
  EXPECT_EQ(kFailed, Login(&guesser, "g", "wrong"));
  AdvanceMs(1900);
  EXPECT_EQ(kFailed, Login(&owner, "o", password));
  AdvanceMs(100);
  EXPECT_EQ(kFailed, Login(&guesser, "g", "wrong"));
  AdvanceMs(3900);
  EXPECT_EQ(kFailed, Login(&owner, "o", password));
  AdvanceMs(100);
  // Once the wait is over the right password is taken, and a success forgets
  // the failures: the next wrong one costs a second again.
  EXPECT_EQ(kSuccess, Login(&owner, "o", password));
  Signout(&owner, "o");
  EXPECT_EQ(kFailed, Login(&guesser, "g", "wrong"));
  AdvanceMs(1000);
  EXPECT_EQ(kSuccess, Login(&owner, "o", password));
  Signout(&owner, "o");
}

TEST_F(WebLogin, TheWaitIsBoundedSoTheOwnerIsNotLockedOut) {
  WSClient2 guesser, owner;
  From(&guesser, "10.3.3.3");
  From(&owner, "10.3.3.3");
  // Twelve wrong passwords, each checked (half a minute apart): the wait after
  // the last would be 2048 s doubling on, but stays at 30 s.
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(kFailed, Login(&guesser, "g", "wrong"));
    AdvanceMs(30000);
  }
  EXPECT_EQ(kSuccess, Login(&owner, "o", password));
  Signout(&owner, "o");
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(kFailed, Login(&guesser, "g", "wrong"));
    if (i < 11) AdvanceMs(30000);
  }
  AdvanceMs(29900);
  EXPECT_EQ(kFailed, Login(&owner, "o", password));
  AdvanceMs(100);
  EXPECT_EQ(kSuccess, Login(&owner, "o", password));
  Signout(&owner, "o");
}
}  // namespace
