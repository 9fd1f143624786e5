// scopeapp: the instrument application.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/startup.h"
#include "platform/root.h"
#include "platform/thread.h"

namespace {
void Usage() {
  std::printf(
      "usage: scopeapp [--root DIR]\n"
      "  --root DIR  instrument root (default $SCOPE_ROOT, else ./root)\n");
}

// SIGINT and SIGTERM end the instrument cleanly: every thread is asked to stop.
void* SignalWatcher(void* arg) {
  sigset_t* set = static_cast<sigset_t*>(arg);
  int sig = 0;
  sigwait(set, &sig);
  std::printf("signal %d: stopping\n", sig);
  plat::RequestStop();
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  std::string root;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
      root = argv[++i];
    } else {
      Usage();
      return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
    }
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  // A client or pipe reader that has gone makes a write fail with EPIPE, which
  // the servers handle; it never ends the instrument.
  signal(SIGPIPE, SIG_IGN);

  static sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // inherited by every thread
  pthread_t watcher;
  pthread_create(&watcher, nullptr, SignalWatcher, &stopSignals);
  pthread_detach(watcher);

  if (!plat::InitRoot(root)) {
    std::printf("cannot use instrument root %s\n", root.c_str());
    return 1;
  }
  std::printf("instrument root: %s\n", plat::RootDir().c_str());
  if (ScopeStartup() == 0) ScopeMainLoop();
  plat::RequestStop();
  plat::JoinAllThreads();
  return 0;
}
