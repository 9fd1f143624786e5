// What the VXI-11 server loop and the core channel's links share: calls of a
// link that wait (a read for its answer, a write for room on the SCPI queue)
// are parked, and the loop sends their replies when they end.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using Vxi11Clock = std::chrono::steady_clock;

// A parked call that ended: its reply record goes on connection `fd`, or,
// for a datagram call (`fd` -1), to its sender.
struct Vxi11Finished {
  int fd;
  uint32_t xid;
  std::string result;  // the procedure's result record
  uint32_t peerAddr = 0;
  uint16_t peerPort = 0;
};

// Ends the parked calls that can end now: an answer or room came, an abort
// was asked for, the link went away, or the call's time-out ran out. Links
// unused for `idle` are dropped.
void Vxi11ServiceLinks(Vxi11Clock::time_point now, Vxi11Clock::duration idle, std::vector<Vxi11Finished>* done);
// When the loop must look again at the latest: the earliest deadline of a
// parked call; sooner while a write waits for room on the queue.
Vxi11Clock::time_point Vxi11NextWake(Vxi11Clock::time_point now);
// The connection `fd` closed: the links it created go, and its parked calls.
void Vxi11ConnectionClosed(int fd);
// Drops every link (the server starts or stops).
void Vxi11ResetLinks();
// Links held, for tests.
size_t Vxi11LinkCount();

// The link operations behind the core and abort procedures. Each writes its
// result record to `w`; a read or write that has to wait parks instead
// (returns false, `*ctx.parked` set), over TCP and UDP alike. A link serves
// one waiting call at a time: a datagram call sent again while it waits is
// answered once, when it ends; another call meanwhile gets an I/O error.
// Datagram links have a share of their own of the link table, so they never
// keep TCP clients from their links: beyond it the least recently used
// datagram link is reused.
class XdrWriter;
struct RpcContext;

struct Vxi11ReadArgs {
  uint32_t requestSize, ioTimeout, flags, termChar;
};

void Vxi11LinkCreate(const std::string& device, const RpcContext& ctx, XdrWriter& w);
bool Vxi11LinkWrite(uint32_t lid, uint32_t ioTimeout, uint32_t flags, const std::string& data,
                    const RpcContext& ctx, XdrWriter& w);
bool Vxi11LinkRead(uint32_t lid, const Vxi11ReadArgs& args, const RpcContext& ctx, XdrWriter& w);
bool Vxi11LinkExists(uint32_t lid);
// device_clear: the partial input, a held setup line and the answer go.
bool Vxi11LinkClear(uint32_t lid);
bool Vxi11LinkDestroy(uint32_t lid);
// device_abort: a read parked on the link ends at once.
bool Vxi11LinkAbort(uint32_t lid);
