#include "acquisition/trig_system.h"

trig_system Trigger;
