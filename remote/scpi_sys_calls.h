// The two handlers of the system module's command table that the SCPI thread
// calls itself: "*OPC?" in its exact forms, and the setup-block upload.
#pragma once

struct scpi_para;

// Answers "1" while the engine is idle, "0" while it is busy.
void Scpi_TaskSys_OPCAsk(scpi_para* para, char* parameter);
// Loads the setup block `block` (scpi::GetBinaryDataLen() bytes of it).
void Scpi_TaskSys_Setup(scpi_para* para, char* block);
