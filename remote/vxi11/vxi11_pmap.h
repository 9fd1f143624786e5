// Registration of the VXI-11 channels with the system's portmapper at
// `pmapPort` on loopback (ports of 0 are not registered); false when no
// portmapper answers there.
#pragma once

bool PmapRegister(int pmapPort, int tcpCore, int tcpAbort, int udp);
void PmapUnregister(int pmapPort);
