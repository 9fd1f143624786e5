// The main of every test program: as the instrument does, a write to a
// socket or pipe whose peer has gone fails with EPIPE instead of ending the
// process, so a test sees the error (or the server under test handles it)
// rather than dying of a signal it did not ask for.
#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
