#include "acquisition/wave.h"

uint8_t QelWaveData[kQelRasterBytes];
_wave WaveOp;
