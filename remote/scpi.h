// The SCPI engine: every module's command table is registered here, each
// received command line is matched against them and its handler queued for
// the SCPI worker, and handlers answer through the response buffer that the
// transports read.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "remote/scpi_msg.h"
#include "remote/scpi_table.h"

constexpr int kScpiTaskSlots = 64;
constexpr int kScpiLineSize = 1024;           // command line, with its terminator
constexpr int kScpiParaSize = 150;            // parameter text, with its terminator
constexpr int kScpiLevelSize = 100;           // one level, with its terminator
constexpr int kScpiResponseSize = 2097152;    // response buffer
constexpr int kScpiResponseChunk = 512;
constexpr int kScpiResponseChunks = kScpiResponseSize / kScpiResponseChunk;

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
  int GetBinaryDataLen() const { return binaryDataLen_.load(); }
  int GetBinaryRecvLen() const { return binaryRecvLen_; }
  int DoSystemSetupCmd();
  int DoSystemSetupCmd(ScpiHandler handler);
  int DoCONFIGCmd();
  int ScpiQueueId() const { return scpiQid_; }

  // Key lock and busy state.
  int GetKeyLockFrom() const { return keyLockFrom_.load(); }
  void SetKeyLockFrom(int from) { keyLockFrom_.store(from); }
  void SetScpiBusyState(bool busy) { busy_.store(busy ? 1 : 0); }
  bool IsScpiBusy() const { return busy_.load() != 0; }

 private:
  struct Keyword {
    char keyword[kScpiLevelSize];
    int taskId;
  };

  bool MatchRow(const char* pattern);
  int SetupHeader(int* announced) const;
  void StoreResponse(int len);

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

void* ScpiThread(void*);
void websocket_server_start();
