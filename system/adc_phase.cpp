#include "system/adc_phase.h"

#include "core/task.h"

// The phase search and the gain adjustment are not built yet: nothing is
// aligned or adjusted, and each reports that it failed.
int AdcStartPhaseDetection(short, short* result) {
  if (result) *result = -1;
  return -1;
}

int ChannelGainCali50mv(short) { return -1; }

int TaskSystemAdjAdcPhase(taskresponse* reply) {
  if (reply) reply->words[0] = 0;
  return -1;
}
