// The board-temperature thread.
#pragma once

void* Ds18b20Thread(void*);
