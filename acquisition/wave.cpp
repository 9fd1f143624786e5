#include "acquisition/wave.h"

_wave WaveOp;
