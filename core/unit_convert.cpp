#include "core/unit_convert.h"

unit_convert UnitConvert;
