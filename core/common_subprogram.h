// Common file, text and keypad routines (to come).
#pragma once

class common_subprogram {};

extern common_subprogram CommonSubProg;
