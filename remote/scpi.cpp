#include "remote/scpi.h"

scpi Scpi;

int scpi::RegisterInstr(int taskId, instr* table) { return table && taskId >= 0 ? 0 : -1; }

// The SCPI thread and the web servers are not built yet: they end at once.
void* ScpiThread(void*) { return nullptr; }
void websocket_server_start() {}
