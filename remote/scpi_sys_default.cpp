// Weak definitions of the system module's "*OPC?" and setup-load handlers, so
// the SCPI thread links before the system commands exist; the system module's
// own definitions replace them.
#include <cstdio>

#include "remote/scpi.h"
#include "remote/scpi_sys_calls.h"

__attribute__((weak)) void Scpi_TaskSys_OPCAsk(scpi_para*, char*) {
  int status = Scpi.IsScpiBusy() ? 0 : 1;
  std::printf("opc status = %d\n", status);
  Scpi.WriteResponseData(status ? "1" : "0", 0);
}

__attribute__((weak)) void Scpi_TaskSys_Setup(scpi_para*, char*) {
  std::printf("Scpi_TaskSys_Setup: no setup loader is linked, block of %d bytes ignored\n",
              Scpi.GetBinaryDataLen());
}
