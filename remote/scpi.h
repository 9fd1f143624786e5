// The SCPI engine. Only command-table registration and the key-lock source
// exist so far.
#pragma once

struct scpi_para;

// A row of a module's command table; an empty pattern ends the table.
struct instr {
  char pattern[100];
  void (*handler)(scpi_para*, char* parameter);
};

class scpi {
 public:
  int RegisterInstr(int taskId, instr* table);
  int GetKeyLockFrom() const { return keyLockFrom_; }
  void SetKeyLockFrom(int from) { keyLockFrom_ = from; }

 private:
  int keyLockFrom_ = 0;
};

extern scpi Scpi;

void* ScpiThread(void*);
void websocket_server_start();
