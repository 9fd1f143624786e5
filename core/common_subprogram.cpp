#include "core/common_subprogram.h"

common_subprogram CommonSubProg;
