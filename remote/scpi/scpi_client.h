// How a transport (and the test bench) runs one command line: post it on the
// SCPI queue and wait for the answer to that line.
#pragma once
#include <string>

#include "remote/scpi/scpi_msg.h"

// Posts `line` as it came from the host (line end included, if any) with
// message type `type` (tag << 16 | source; transports use source 1, which
// clears the response-finish flag) and waits up to `timeoutMs` of real time
// for the answer. Returns the answer's bytes as stored (text with CR LF,
// a definite-length block, or raw bytes), or "" when none came in time,
// the line was refused or could not be posted. A timeout of 0 only posts.
// The default is the tests' wait: generous, since a loaded machine only
// makes an answer late (the transports give their own).
std::string ScpiQuery(const std::string& line, long type = kScpiSourceTransport, int timeoutMs = 30000);
