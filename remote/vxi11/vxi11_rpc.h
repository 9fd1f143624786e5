// ONC RPC (version 2) calls and replies for the VXI-11 server: the call
// header is checked, the program and procedure looked up in the tables of
// the portmapper and the three VXI-11 channels, and the reply built. Over TCP
// every message travels as a record of fragments, each behind a 4-byte mark
// (bit 31: last fragment, bits 30-0: length).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "remote/vxi11/vxi11_xdr.h"

enum class RpcTransport { kTcp, kUdp };

// What a procedure knows of the call it serves.
struct RpcContext {
  RpcTransport transport = RpcTransport::kTcp;
  uint32_t localAddr = 0x7F000001;  // IPv4 address the call came in on, host order
  int fd = -1;                      // the connection (TCP); -1 for a datagram
  uint32_t peerAddr = 0;            // a datagram's sender (IPv4 and port, host order)
  uint16_t peerPort = 0;
  size_t maxData = 0x7FFFFFFF;      // largest data block a reply may carry
  uint32_t vers = 0;                // version of the program called
  uint32_t xid = 0;                 // the call's transaction id
  // Where a procedure may park the call: it sets *parked and writes no
  // result; its reply is sent when the call ends (on the connection, or as a
  // datagram to the sender).
  bool* parked = nullptr;
};

// A procedure decodes its argument record and writes its result record; false
// when the arguments do not decode (the caller answers GARBAGE_ARGS).
using RpcProc = bool (*)(XdrReader& args, XdrWriter& result, const RpcContext& ctx);

struct RpcProcRow {
  uint32_t proc;
  RpcProc fn;
};

struct RpcProgram {
  uint32_t prog, low, high;  // versions served
  const RpcProcRow* rows;
  size_t count;
};

// Program tables, defined beside their procedures.
extern const RpcProgram kPortmapV2, kPortmapV34, kVxiCore, kVxiAbort, kVxiIntr;

constexpr uint32_t kPmapProg = 100000;
constexpr uint32_t kDeviceCore = 0x0607AF, kDeviceAsync = 0x0607B0, kDeviceIntr = 0x0607B1;
constexpr uint32_t kIpProtoTcp = 6, kIpProtoUdp = 17;

// Largest record accepted on a connection: a write of a whole receive buffer
// with its headers. A longer one closes the connection.
constexpr size_t kRpcMaxRecord = 0x20000 + 4096;

// Answers one RPC message (a whole record, or a datagram). Returns false when
// nothing is to be sent back: not a call, a header too short to answer, or a
// call parked by its procedure.
bool RpcHandleMessage(const char* msg, size_t len, RpcContext ctx, std::string* reply);

// Gathers the fragments of the records arriving on a connection.
class RecordReader {
 public:
  // Takes fragments from the front of `in` (`consumed` bytes used) up to the
  // end of one record: 1 and the record when one is complete, 0 when more
  // bytes are needed, -1 when the record would exceed kRpcMaxRecord (the
  // connection is then to be closed).
  int Next(const char* in, size_t len, size_t* consumed, std::string* record);

 private:
  std::string partial_;
};

// The reply of an accepted call with its result record.
std::string RpcAcceptedReply(uint32_t xid, const std::string& result);

// Puts the single-fragment record mark in front of a reply.
std::string RpcRecord(const std::string& reply);
