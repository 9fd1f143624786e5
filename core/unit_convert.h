// Scaling of values to a mantissa and a unit prefix for display (to come).
#pragma once

class unit_convert {};

extern unit_convert UnitConvert;
