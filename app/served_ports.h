// The one line, printed at the end of start-up, with every port the
// instrument serves, so a client knows where to connect.
#pragma once

// Waits (a few seconds at most) for the servers to listen, then prints the
// line; `web` tells whether this instrument serves web control at all.
void PrintServedPorts(bool web);
