// The errors a remote user reads with SYSTem:ERRor?. A command refused for
// its parameters or for the instrument's state leaves one: the work a remote
// command asked for (its handler on the SCPI worker, a key it queued for the
// main loop) runs inside a RemoteCommandScope, and a refusal the screen shows
// while one is open (msg::SetMessage) is queued here too, under the message's
// number with the text the screen shows. Errors the screen has no message
// for (a command the instrument does not know) are queued directly.
#pragma once
#include <cstddef>
#include <string>

constexpr size_t kRemoteErrorQueue = 20;  // the oldest kept; the last becomes the overflow error
constexpr int kRemoteErrorOverflow = -350;
constexpr int kRemoteErrorUndefinedHeader = -113;

// Marks the calling thread's work as asked for by a remote command while it
// lives (`remote` false marks nothing). Scopes nest.
class RemoteCommandScope {
 public:
  explicit RemoteCommandScope(bool remote = true);
  ~RemoteCommandScope();
  RemoteCommandScope(const RemoteCommandScope&) = delete;
  RemoteCommandScope& operator=(const RemoteCommandScope&) = delete;

 private:
  bool was_;
};

// True inside a RemoteCommandScope on this thread.
bool InRemoteCommand();

// Queues an error; when the queue is full its last entry becomes the
// overflow error and the new one is lost.
void PushRemoteError(int code, const std::string& text);
// The oldest error as a SCPI error reply, <code>,"<text>" (0,"No error" when
// none), taken off the queue.
std::string PopRemoteError();
void ClearRemoteErrors();
