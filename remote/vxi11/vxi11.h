// The VXI-11 server: a LAN host addressing the instrument as a TCPIP INSTR
// resource creates the link "inst0", writes SCPI command lines and reads the
// answers. One thread, `vxi_11`, serves the portmapper (TCP and UDP), the
// core channel, the abort channel and the interrupt program, and ends when a
// thread stop is requested.
//
// The server listens on the board's server address (the LAN on the board,
// loopback on the PC) unless $SCOPE_VXI11_HOST names another IPv4 address. $SCOPE_VXI11_PMAP_PORT moves the portmapper (111;
// when another portmapper holds that port, the channels are registered with
// it instead), and
// $SCOPE_VXI11_CORE_PORT and $SCOPE_VXI11_ABORT_PORT fix the channels' ports
// (any free port by default; the portmapper and create_link tell them).
// $SCOPE_VXI11_IDLE_S sets the idle time-out of connections and links.
#pragma once
#include <atomic>
#include <string>

struct Vxi11Config {
  Vxi11Config();
  std::string host;
  int portmapPort = 111;  // TCP and UDP; 0: any free port
  int corePort = 0;
  int abortPort = 0;
  // Connections and links unused this long are dropped: long enough for a
  // VISA session left open between measurements.
  int idleTimeoutS = 1800;
  // A portmapper connection serves a look-up or two: one silent this long
  // goes, so silent sockets cannot hold the portmapper's few places.
  int portmapIdleS = 5;
};

// The defaults with the environment's settings applied.
Vxi11Config Vxi11ConfigFromEnv();

// The ports listened on, set once the server is ready (0: not served).
struct Vxi11Ports {
  std::atomic<int> portmapTcp{0}, udp{0}, core{0}, abort{0};
  std::atomic<bool> ready{false};
  std::atomic<bool> failed{false};  // the core channel could not listen
  std::atomic<int> failedPort{-1};  // on this port (-1: for another reason)
};
Vxi11Ports& Vxi11BoundPorts();
// The address the server listens on (set when it starts).
std::string Vxi11ListenHost();

// Starts the `vxi_11` thread with the environment's configuration and prints
// "VXI-II Init..."; 0 or the thread creation's error number.
int VXI_Init();
// The same with an explicit configuration (tests).
int Vxi11Start(const Vxi11Config& config);
// Waits up to `ms` of real time for the server to listen.
bool Vxi11WaitReady(int ms);
// What the start-up line says of a server that does not listen: the core
// channel's port and the variable that moves it, when the port was taken.
std::string Vxi11NotServing();

void* vxi_11(void*);
