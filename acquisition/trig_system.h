// The trigger hardware model (to come).
#pragma once

class trig_system {};

extern trig_system Trigger;
