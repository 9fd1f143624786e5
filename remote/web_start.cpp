#include "remote/scpi.h"

// The web servers are not built yet: the start returns at once.
void websocket_server_start() {}
