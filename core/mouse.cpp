#include "core/mouse.h"

// Mouse input is not built yet: both threads end at once.
void* MouseApp(void*) { return nullptr; }
void* ResponseForMouse(void*) { return nullptr; }
