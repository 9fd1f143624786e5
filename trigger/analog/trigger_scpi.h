// The trigger module's SCPI command table, assembled from its parts: the
// TRIGGER key and the analog trigger rows (trigger_scpi.cpp), the serial-bus
// rows (kTriggerSbusRows) and the decode key's rows. Each part ends with an
// empty row.
#pragma once
#include "remote/scpi/scpi_table.h"

extern const instr TriggerScpiHeadRows[];  // KEY:TMENu, then the TRIGger rows
extern const instr TriggerScpiTailRows[];  // KEY:DECode

// The module's global keyword tables.
extern const scpipara ScpiTrigTypePara[];
extern const scpipara ScpiTrigSweepPara[];
extern const scpipara ScpiTrigSourcePara[];

// The tail of every trigger setter: redraw, and the trigger page applied as
// after a key (serial-bus types with the FPGA reset around it).
void Scpi_TriggerCommonOp();
// Seconds from a time with an optional unit suffix ("ns", "us", "ms"
// exactly); -1.0 for no text.
double TimeStrParse(const char* text);
double Time_change(const char* text);

// Setters and queries the serial-bus rows share (SBUS:TRIGger:SWEep,
// SBUS:TRIGger:COUPling).
void Scpi_TaskTrigger_Sweep(scpi_para*, char* p);
void Scpi_TaskTrigger_SweepAsk(scpi_para*, char*);
void Scpi_TaskTrigger_Coupling(scpi_para*, char* p);
void Scpi_TaskTrigger_GetCoupling(scpi_para*, char*);
