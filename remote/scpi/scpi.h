// The SCPI engine: every module's command table is registered here, each
// received command line is matched against them and its handler queued for
// the SCPI worker, and handlers answer through the response buffer that the
// transports read.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "remote/scpi/scpi_msg.h"
#include "remote/scpi/scpi_table.h"

constexpr int kScpiTaskSlots = 64;
constexpr int kScpiLineSize = 1024;           // command line, with its terminator
constexpr int kScpiParaSize = 150;            // parameter text, with its terminator
constexpr int kScpiLevelSize = 100;           // one level, with its terminator
constexpr int kScpiResponseSize = 2097152;    // response buffer
constexpr int kScpiResponseChunk = 512;
constexpr int kScpiResponseChunks = kScpiResponseSize / kScpiResponseChunk;

// A command posted by a transport that waits for its answer carries a ticket:
// the answer written while its handler runs is kept under that ticket until
// the transport takes it or gives it up, so each requester gets its own.
using ScpiTicket = uint64_t;

// One message of a post: text (a command line) or binary data (a setup block).
struct ScpiPost {
  const char* data;
  int size;
  bool binary;
};

// PostCommand's failures.
constexpr int kScpiPostRefused = -1;  // no queue, or a message too long for one record
constexpr int kScpiPostFull = -2;     // the queue had no room (in time)

// Sets, for the calling thread, where answers written by handlers go: to
// `ticket` (0: none), and to the shared response buffer unless `sharedBuffer`
// is false. The previous target is restored at the end of the scope.
class ScpiAnswerScope {
 public:
  ScpiAnswerScope(ScpiTicket ticket, bool sharedBuffer);
  ~ScpiAnswerScope();
  ScpiAnswerScope(const ScpiAnswerScope&) = delete;
  ScpiAnswerScope& operator=(const ScpiAnswerScope&) = delete;

 private:
  ScpiTicket ticket_;
  bool shared_;
};

// Key-lock sources.
constexpr int kKeyLockNone = 0, kKeyLockUsbTmc = 1, kKeyLockVxi11 = 2;

class scpi {
 public:
  scpi();
  scpi(const scpi&) = delete;
  scpi& operator=(const scpi&) = delete;

  // Registration and matching.
  int RegisterInstr(int taskId, instr* table);
  int FindRegisterInsrt(int taskId, const char* level) const;
  int RecvInstructions(long type, const char* text);
  int InstrAnalysis();
  int GetInstrSection(const char* from, char* level, int* advance);
  const char* CommandLine() const { return line_; }
  int MessageTag() const { return tag_; }
  int MessageSource() const { return source_; }
  void ListRegisterTable() const;

  static int InstrCompare(const char* pattern, const char* input);
  static int InstrParaCompare(const scpipara* table, const char* word);
  static int GetInputInstrChNo(const char* level);

  // Character helpers.
  static int ToUpper(int c);  // 255 for a non-letter
  static int ToLower(int c);  // 255 for a non-letter
  static bool IsUpper(int c);
  static bool IsNum(int c);
  static bool IsCharacter(int c);  // a letter of either case
  static int SkipCharacter(const char* text);
  static int SkipNum(const char* text);
  static int FindCharacter(const char* text, char c);
  static int StringtoIPAddress(const char* text, int address[4]);

  // Answers, written by handlers on the worker thread.
  int WriteResponseData(const char* text, int len);
  int WriteResponseDataRaw(const char* data, int len);
  int WriteResponseDataPure(const char* data, int len);
  int GetResponseDataLength() const { return responseLen_.load(std::memory_order_acquire); }
  char* GetResponseDataBuff(int n);
  int GetResponseFinish() const { return responseFinish_.load(std::memory_order_acquire); }
  void SetResponseFinish(int flag) { responseFinish_.store(flag ? 1 : 0, std::memory_order_release); }
  int WriteWebScpiMsg(long type, const char* text);
  int GetWebScpiMsg(scpi_msg* out);

  // Messages on the SCPI queue.
  int SendScpiMsg(long type, const char* text);
  int SendScpiMsg2(long type, const char* data, int size);
  int RecvScpiMsg(char* out);  // `out` holds kScpiMsgTextSize bytes
  int RecvScpiBinary();
  int GetRecvMsg(scpi_msg* out) const;
  // Inside a queued setup call: the length announced with that call's block.
  int GetBinaryDataLen() const;
  int GetBinaryRecvLen() const { return binaryRecvLen_; }
  int DoSystemSetupCmd();
  int DoSystemSetupCmd(ScpiHandler handler);
  // Runs the message received last: its units, split at ';' outside quoted
  // strings and blocks, each matched and queued for the worker in turn (a
  // header without a leading ':' first relative to the path of the header
  // before it). Only the last unit answers the requester; a unit refused or
  // unknown leaves its error in turn; a setup block may follow its command
  // in the same message.
  void RunMessage();
  int DoCONFIGCmd();
  int ScpiQueueId() const { return scpiQid_; }

  // Posts `count` messages back to back (no other sender's message comes in
  // between), waiting for room in the queue when `wait` is set. With
  // `ticket`, the answer to the last message is kept under a new ticket
  // stored there. Returns the bytes posted, or kScpiPostRefused/kScpiPostFull
  // (then nothing was posted).
  // A wait for room ends, with nothing posted, once `giveUp` is set.
  int PostCommand(long type, const ScpiPost* posts, int count, bool wait, ScpiTicket* ticket,
                  const std::atomic<bool>* giveUp = nullptr);
  // A device clear over USBTMC: the calls of every USBTMC message posted so
  // far that have not begun are dropped when their turn comes.
  void DropUsbTmcCallsPosted();
  // True for the call of a USBTMC message (bTag `tag`, ticket `ticket`)
  // posted before the last device clear.
  bool UsbTmcCallDropped(int tag, ScpiTicket ticket) const;
  // Moves the finished answer of `ticket` to `out`; false while none is there.
  bool TakeAnswer(ScpiTicket ticket, std::string* out);
  // True when the answer of `ticket` is stored and not yet taken.
  bool AnswerStored(ScpiTicket ticket);
  // Waits up to `ms` of real time (or a stop) for the answer of `ticket`.
  bool WaitAnswer(ScpiTicket ticket, int ms, std::string* out);
  // The requester gives up: a late answer is discarded.
  void DropAnswer(ScpiTicket ticket);
  // Called (from the answering thread) each time an answer is stored; the
  // id serves to remove it.
  int AddAnswerWaker(std::function<void()> waker);
  void RemoveAnswerWaker(int id);
  // The ticket of the command line stored last (0: none).
  ScpiTicket LineTicket() const { return lineTicket_; }
  ScpiTicket RecvTicket() const { return recvTicket_; }

  // Key lock and busy state.
  int GetKeyLockFrom() const { return keyLockFrom_.load(); }
  void SetKeyLockFrom(int from) { keyLockFrom_.store(from); }
  void SetScpiBusyState(bool busy) { busy_.store(busy ? 1 : 0); }
  // Busy while the busy byte is set, the worker is held (start-up) or has calls to run.
  bool IsScpiBusy() const;
  // The worker holds back the answers a call writes until the call counts as
  // done, then delivers them: a requester that has its answer never finds
  // the engine still busy with that call.
  void HoldAnswers();
  void DeliverHeldAnswers();

 private:
  struct Keyword {
    char keyword[kScpiLevelSize];
    int taskId;
  };

  bool MatchRow(const char* pattern);
  // The row the command line matches, the channel of its first level in
  // `para`, its parameter in param_/paramFlag_; null when none does.
  const instr* FindRow(scpi_para* para);
  // Queues the call of `row` for the worker, answering under `ticket`.
  void Dispatch(const instr* row, const scpi_para& para, ScpiTicket ticket);
  int SetupHeader(int* announced) const;
  // Queues the load of a setup block of `len` bytes (handler null: the
  // system module's).
  int QueueSetup(const char* data, int len, int tag, ScpiTicket ticket, ScpiHandler handler = nullptr);
  static void RunSetupCall(ScpiHandler handler, int len, char* block);
  static void RefuseBlock(const char* why);
  void RefuseUnit(const std::string& text);
  static void PushRemoteErrorInTurn();
  void StoreResponse(int len);
  int Publish(const char* head, int headLen, const char* data, int len, bool crlf, bool web);
  void StoreAnswer(ScpiTicket ticket, std::string data);
  void PassAnswer(ScpiTicket ticket, std::string data);
  ScpiTicket PopTicket();
  bool SendUntracked(long type, size_t size);

  int tag_ = 0;
  int source_ = -1;
  char line_[kScpiLineSize] = {};
  char param_[kScpiParaSize] = {};
  bool paramFlag_ = false;
  int lineLen_ = 0;

  int scpiKey_, scpiQid_ = -1;
  int webKey_, webQid_ = -1;

  std::atomic<bool> webAnswer_{false};
  scpi_msg recv_ = {};
  int recvLen_ = 0;
  ScpiTicket recvTicket_ = 0;  // of the message received last
  ScpiTicket lineTicket_ = 0;  // of the command line stored last
  ScpiTicket binaryTicket_ = 0;  // of the setup block received last
  int binaryTag_ = 0;            // and its bTag
  std::atomic<ScpiTicket> usbTmcDropThrough_{0};  // USBTMC calls with tickets up to this are dropped

  // Tickets of the posted messages in queue order (0: no answer awaited),
  // pushed before a message is queued and taken as it is received.
  std::mutex ticketsMu_;
  std::deque<ScpiTicket> tickets_;
  ScpiTicket nextTicket_ = 0;

  struct Answer {
    bool done = false;
    std::string data;
  };
  std::mutex answerMu_;
  std::condition_variable answerCv_;
  std::map<ScpiTicket, Answer> answers_;  // awaited answers
  std::vector<std::pair<int, std::function<void()>>> wakers_;
  int nextWaker_ = 0;
  std::mutex sendMu_;  // the transports share one send record
  scpi_msg send_ = {};
  mutable std::mutex webMu_;  // the web answer is read from the web thread
  scpi_msg web_ = {};

  std::atomic<int> responseFinish_{0};
  std::atomic<int> responseLen_{0};

  std::vector<Keyword> keywords_;  // in registration order; matched newest first
  instr* tables_[kScpiTaskSlots] = {};

  char response_[kScpiResponseSize] = {};
  char binary_[kScpiMsgTextSize] = {};
  int binaryRecvLen_ = 0;
  std::atomic<int> binaryDataLen_{0};

  std::atomic<int> keyLockFrom_{0};
  std::atomic<uint8_t> busy_{0};
};

extern scpi Scpi;

// True when the `n` bytes of a message gathered so far hold a definite-length
// block parameter whose header or data has not all arrived: a transport that
// ends a message at a line end waits for more (the data may hold line ends).
bool ScpiBlockPending(const char* data, size_t n);

void* ScpiThread(void*);
void websocket_server_start();
