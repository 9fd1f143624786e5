// The modules' reference entries (remote/scpi/scpi_doc.h), for the reference
// generator: a null-ended list, searched in order.
#pragma once
#include "remote/scpi/scpi_doc.h"

extern const ScpiDoc* const ScpiDocTables[];
