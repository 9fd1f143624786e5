// The process mutex shared with the main loop: it guards the remote key ring,
// the USB-disk rescan and the temperature correction. The main loop takes and
// releases it once per pass, so work done under it falls between two passes.
#pragma once
#include <pthread.h>

extern pthread_mutex_t mymutex;
