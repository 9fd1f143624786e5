// Alignment of the two ADCs' sampling phases.
#pragma once

int AdcStartPhaseDetection(short mode, short* result);
