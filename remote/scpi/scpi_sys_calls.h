// The two handlers of the system module's command table that the SCPI thread
// calls itself: "*OPC?" in its exact forms, and the setup-block upload. The
// system module lies above the engine, so start-up installs them here.
#pragma once

struct scpi_para;

using ScpiSysHandler = void (*)(scpi_para* para, char* parameter);
struct ScpiSysCalls {
  // Answers "1" while the engine is idle, "0" while it is busy.
  ScpiSysHandler opcAsk;
  // Loads the setup block (scpi::GetBinaryDataLen() bytes of it).
  ScpiSysHandler setup;
};
// Null, or calls not installed: "*OPC?" and setup blocks are not answered.
void SetScpiSysCalls(const ScpiSysCalls* calls);
const ScpiSysCalls* GetScpiSysCalls();
