// The serial-bus rows of the trigger module's SCPI table (SBUS:...): none
// until the serial-bus trigger commands are built; they replace this list.
#include "trigger/trigger_scpi.h"

const instr TriggerBusScpiRows[] = {{"", nullptr}};
