// VXI-11 clients for the targets that go through the VXI-11 server: RPC call
// records as a client sends them, and one TCP connection served the way the
// server's loop serves it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "remote/vxi11/vxi11_rpc.h"

// A call record (AUTH_NONE) of `proc` of `prog` with the arguments `args`.
std::string RpcCall(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc, const std::string& args);

// One client connection of the core channel. Each record is answered; a call
// that parks (a read waiting for its answer, a write waiting for room on the
// SCPI queue) holds the connection until it ends, which here is when the
// SCPI engine has settled, or else never: the client then gives up and the
// connection closes. Closing drops the links it created.
class FuzzVxiConnection {
 public:
  FuzzVxiConnection();
  ~FuzzVxiConnection();
  FuzzVxiConnection(const FuzzVxiConnection&) = delete;
  FuzzVxiConnection& operator=(const FuzzVxiConnection&) = delete;

  // Answers one record; false once the connection is closed.
  bool Serve(const std::string& record);
  // create_link "inst0": the link id, or 0.
  uint32_t CreateLink();
  // A device_write of `size` bytes on link `lid` (END in `flags` closes the message).
  bool Write(uint32_t lid, const char* data, size_t size, uint32_t flags);
  void Close();

 private:
  int fd_[2] = {-1, -1};
  bool parked_ = false;
  bool open_ = true;
  uint32_t xid_ = 0;
  std::string reply_;
};

constexpr uint32_t kWriteFlagEnd = 0x08;
