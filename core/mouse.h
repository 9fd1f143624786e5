// The USB mouse reader and its event consumer.
#pragma once

void* MouseApp(void*);
void* ResponseForMouse(void*);
