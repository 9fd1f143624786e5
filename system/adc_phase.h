// Alignment of the two ADCs' sampling phases and the 50 mV gain adjustment.
#pragma once

struct taskresponse;

int AdcStartPhaseDetection(short mode, short* result);
// The 50 mV gain adjustment of channel 0 or 1; 0, or -1 when it failed.
int ChannelGainCali50mv(short channel);
// Matches the two ADCs' phases; fills the reply's result word (1 matched).
int TaskSystemAdjAdcPhase(taskresponse* reply);
