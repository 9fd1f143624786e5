// The simulated serial-bus lines: levels, and the "bus" line of the signal file.
#include "platform/sim/bus/sim_bus.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

namespace plat {

namespace {
constexpr size_t kMaxFrames = 64;
constexpr size_t kMaxFrameBytes = 8;
constexpr size_t kMaxI2cBytes = 16;
constexpr double kMinRate = 1, kMaxRate = 50e6;

struct KindName {
  const char* name;
  BusKind kind;
};
constexpr KindName kKinds[] = {{"uart", BusKind::kUart}, {"i2c", BusKind::kI2c}, {"spi", BusKind::kSpi},
                               {"can", BusKind::kCan},   {"lin", BusKind::kLin}};

bool Hex(const std::string& t, uint32_t max, uint32_t* v) {
  if (t.empty() || t.size() > 8) return false;
  char* end = nullptr;
  const unsigned long x = std::strtoul(t.c_str(), &end, 16);
  if (!end || *end || x > max) return false;
  *v = uint32_t(x);
  return true;
}

bool Num(const std::string& t, double lo, double hi, double* v) {
  char* end = nullptr;
  const double x = std::strtod(t.c_str(), &end);
  if (t.empty() || !end || *end || !std::isfinite(x) || x < lo || x > hi) return false;
  *v = x;
  return true;
}

// "11.22.33": data bytes.
bool Bytes(const std::string& t, size_t max, std::vector<uint8_t>* out) {
  std::istringstream in(t);
  std::string one;
  while (std::getline(in, one, '.')) {
    uint32_t b;
    if (out->size() >= max || !Hex(one, 0xFF, &b)) return false;
    out->push_back(uint8_t(b));
  }
  return true;
}

// "<n>[:<kind>]": the item sent with an error, and which error of the bus.
struct ErrorName {
  BusKind bus;
  const char* name;
  BusError error;
};
constexpr ErrorName kErrors[] = {
    {BusKind::kUart, "parity", BusError::kParity},   {BusKind::kUart, "framing", BusError::kFraming},
    {BusKind::kI2c, "nack", BusError::kNack},        {BusKind::kI2c, "restart", BusError::kRestart},
    {BusKind::kCan, "crc", BusError::kCrc},          {BusKind::kCan, "stuff", BusError::kStuff},
    {BusKind::kCan, "overload", BusError::kOverload}, {BusKind::kLin, "checksum", BusError::kChecksum},
};

bool ErrorField(BusKind bus, const std::string& value, SimBusSetup* s) {
  const size_t colon = value.find(':');
  double v = 0;
  if (!Num(value.substr(0, colon), 1, kMaxFrames, &v) || v != std::floor(v)) return false;
  s->error = int(v) - 1;  // items count from 1
  s->errorKind = BusError::kDefault;
  if (colon == std::string::npos) return true;
  const std::string name = value.substr(colon + 1);
  for (const ErrorName& e : kErrors)
    if (e.bus == bus && name == e.name) return (s->errorKind = e.error), true;
  return false;
}

// One frame of the data list: "<hex>[flags][:<bytes>]".
bool Frame(BusKind kind, int width, const std::string& t, SimBusFrame* f) {
  const size_t colon = t.find(':');
  std::string head = t.substr(0, colon);
  const std::string tail = colon == std::string::npos ? "" : t.substr(colon + 1);
  if (kind == BusKind::kUart || kind == BusKind::kSpi) {
    const uint32_t max = kind == BusKind::kUart ? 0x1FF : (width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1);
    return colon == std::string::npos && Hex(head, max, &f->id);
  }
  if (kind == BusKind::kI2c) {
    if (head.empty() || (head.back() != 'w' && head.back() != 'r')) return false;
    f->read = head.back() == 'r';
    head.pop_back();
    return Hex(head, 0x7F, &f->id) && Bytes(tail, kMaxI2cBytes, &f->data);
  }
  if (kind == BusKind::kCan) {
    while (!head.empty() && (head.back() == 'x' || head.back() == 'r')) {
      (head.back() == 'x' ? f->extended : f->remote) = true;
      head.pop_back();
    }
    if (!Hex(head, f->extended ? 0x1FFFFFFF : 0x7FF, &f->id)) return false;
    return f->remote ? tail.empty() : Bytes(tail, kMaxFrameBytes, &f->data);
  }
  return Hex(head, 0x3F, &f->id) && Bytes(tail, kMaxFrameBytes, &f->data);  // LIN
}
}  // namespace

SimBusWave::SimBusWave(const SimBusSetup& setup) : setup_(setup) {
  lines_ = setup.kind == BusKind::kI2c || setup.kind == BusKind::kSpi ? 2 : 1;
  if (setup.kind == BusKind::kSpi) idle_[0] = idle_[1] = last_[0] = last_[1] = false;
  SimEncodeBus(this);
}

void SimBusWave::Level(int line, double t, bool high) {
  if (high == last_[line]) return;
  last_[line] = high;
  edges_[line].push_back(t);
}

bool SimBusWave::High(int line, double t) const {
  const std::vector<double>& e = edges_[line];
  const size_t n = size_t(std::upper_bound(e.begin(), e.end(), t) - e.begin());
  return idle_[line] ^ (n & 1);
}

bool SimBusWave::ChangesWithin(int line, double from, double to) const {
  const double period = setup_.interval, width = to - from;
  const std::vector<double>& e = edges_[line];
  if (width >= period) return !e.empty();
  from -= std::floor(from / period) * period;
  to = from + width;
  auto any = [&e](double a, double b) {
    auto it = std::lower_bound(e.begin(), e.end(), a);
    return it != e.end() && *it < b;
  };
  return any(from, std::min(to, period)) || (to > period && any(0, to - period));
}

bool SimParseBusLine(const std::string& rest, SimBusSetup* setup, std::string* error) {
  std::istringstream in(rest);
  std::string kind, field, data;
  SimBusSetup s;
  if (!(in >> kind)) return *error = "no bus kind", false;
  bool known = false;
  for (const KindName& k : kKinds)
    if (kind == k.name) s.kind = k.kind, known = true;
  if (!known) return *error = "unknown bus \"" + kind + "\"", false;
  while (in >> field) {
    const size_t eq = field.find('=');
    const std::string key = field.substr(0, eq), value = eq == std::string::npos ? "" : field.substr(eq + 1);
    double v = 0;
    bool ok = true;
    if (key == "rate") ok = Num(value, kMinRate, kMaxRate, &s.rate);
    else if (key == "interval") ok = Num(value, 1e-9, 10.0, &s.interval);
    else if (key == "level") ok = Num(value, 0.1, 100.0, &s.level);
    else if (key == "on") ok = (value == "ch1" || value == "ch2") && ((s.firstInput = value == "ch2"), true);
    else if (key == "bits") ok = Num(value, 5, 9, &v) && ((s.bits = int(v)), true);
    else if (key == "parity") ok = (value == "none" || value == "odd" || value == "even") &&
                                   ((s.parity = value == "odd" ? 1 : value == "even" ? 2 : 0), true);
    else if (key == "stop") ok = Num(value, 1, 2, &v) && ((s.stop = int(v)), true);
    else if (key == "msb") ok = Num(value, 0, 1, &v) && ((s.msbFirst = v != 0), true);
    else if (key == "width") ok = Num(value, 4, 32, &v) && ((s.width = int(v)), true);
    else if (key == "version") ok = Num(value, 1, 2, &v) && ((s.version = int(v)), true);
    else if (key == "error") ok = ErrorField(s.kind, value, &s);
    else if (key == "data") data = value;
    else ok = false;
    if (!ok) return *error = "bad field \"" + field + "\"", false;
  }
  std::istringstream list(data);
  std::string one;
  while (std::getline(list, one, ',')) {
    SimBusFrame f;
    if (s.frames.size() >= kMaxFrames || !Frame(s.kind, s.width, one, &f))
      return *error = "bad frame \"" + one + "\"", false;
    s.frames.push_back(f);
  }
  if (s.frames.empty()) return *error = "no data", false;
  if (s.error >= int(s.frames.size()))
    return *error = "error=" + std::to_string(s.error + 1) + ": no such item in the data", false;
  if ((s.kind == BusKind::kI2c || s.kind == BusKind::kSpi) && s.firstInput != 0)
    return *error = "a two-line bus is on ch1 and ch2", false;
  *setup = s;
  return true;
}

}  // namespace plat
