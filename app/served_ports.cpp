#include "app/served_ports.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "remote/vxi11/vxi11.h"
#include "remote/web/web_control.h"

namespace {
constexpr int kWaitMs = 3000;

std::string VxiPart() {
  Vxi11Ports& p = Vxi11BoundPorts();
  if (!Vxi11WaitReady(kWaitMs)) return Vxi11NotServing();
  const std::string host = Vxi11ListenHost();
  const int tcp = p.portmapTcp, udp = p.udp;
  std::string pmap = "portmapper of the host";
  if (tcp > 0)
    pmap = "portmapper " + host + ":" + std::to_string(tcp) +
           (udp == tcp ? " (tcp and udp)" : " (tcp; udp " + std::to_string(udp) + ")");
  return "VXI-11 " + pmap + ", core " + std::to_string(p.core.load()) + ", abort " + std::to_string(p.abort.load());
}

std::string WebPart(WebServerKind kind, const char* what) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  WebServerAddress a = GetWebServerAddress(kind);
  while (a.state == WebServerAddress::kStarting && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    a = GetWebServerAddress(kind);
  }
  if (a.state == WebServerAddress::kListening) return std::string(what) + " ws://" + a.host + ":" + a.port;
  if (a.state == WebServerAddress::kFailed) return std::string(what) + " off (port " + a.port + " not available)";
  return std::string(what) + " not started";
}
}  // namespace

void PrintServedPorts(bool web) {
  std::string line = "scopeapp: serving " + VxiPart() + "; ";
  if (web)
    line += "web control: " + WebPart(WebServerKind::kCommands, "commands") + ", " +
            WebPart(WebServerKind::kPictures, "pictures");
  else
    line += "web control off on this model";
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}
