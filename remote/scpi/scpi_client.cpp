#include "remote/scpi/scpi_client.h"

#include "remote/scpi/scpi.h"

std::string ScpiQuery(const std::string& line, long type, int timeoutMs) {
  const ScpiPost post = {line.c_str(), int(line.size()), false};
  ScpiTicket ticket = 0;
  if (Scpi.PostCommand(type, &post, 1, true, timeoutMs > 0 ? &ticket : nullptr) < 0 || timeoutMs <= 0)
    return std::string();
  // The answer comes from the SCPI thread or its worker, so the wait is in
  // real time even when the caller drives a virtual clock.
  std::string answer;
  Scpi.WaitAnswer(ticket, timeoutMs, &answer);
  return answer;
}
