// Reading the simulated board's test-signal file.
#include "platform/sim/acquisition/sim_signal_file.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/root.h"

namespace plat {

namespace {
constexpr size_t kMaxFileBytes = 64 * 1024;
constexpr size_t kMaxLines = 64;

struct ShapeName {
  const char* name;
  SignalShape shape;
};
constexpr ShapeName kShapes[] = {{"sine", SignalShape::kSine},
                                 {"square", SignalShape::kSquare},
                                 {"triangle", SignalShape::kTriangle},
                                 {"pulse", SignalShape::kPulse},
                                 {"dc", SignalShape::kDc},
                                 {"noise", SignalShape::kNoise},
                                 {"train", SignalShape::kTrain},
                                 {"video", SignalShape::kVideo}};

constexpr const char* kInputs[kSignalInputs] = {"ch1", "ch2", "ext"};

// A number in [lo, hi]; false for anything else (trailing text included).
bool Number(const std::string& text, double lo, double hi, bool openEnds, double* v) {
  if (text.empty()) return false;
  char* end = nullptr;
  double x = std::strtod(text.c_str(), &end);
  if (!end || *end != '\0' || !std::isfinite(x)) return false;
  if (openEnds ? (x <= lo || x >= hi) : (x < lo || x > hi)) return false;
  *v = x;
  return true;
}

// A list of up to kTrainPulses numbers in (lo, hi], "1e-6,2e-6,..."; their
// count, 0 for a bad list.
int List(const std::string& text, double lo, double hi, double* out) {
  std::istringstream in(text);
  std::string one;
  int n = 0;
  while (std::getline(in, one, ',')) {
    double w;
    if (n >= kTrainPulses || !Number(one, lo, hi, false, &w) || w <= lo) return 0;
    out[n++] = w;
  }
  return n;
}

// Fields that only one shape uses (the others would ignore them): that shape's
// name, nullptr for a field of every shape.
const char* ShapeOfField(const std::string& key) {
  struct Only {
    const char* field;
    const char* shape;
  };
  static constexpr Only kOnly[] = {
      {"duty", "pulse"}, {"widths", "train"}, {"heights", "train"}, {"gap", "train"}, {"lines", "video"}};
  for (const Only& o : kOnly)
    if (key == o.field) return o.shape;
  return nullptr;
}

bool Lines(const std::string& text, int* lines) {
  if (text != "625" && text != "525") return false;
  *lines = std::atoi(text.c_str());
  return true;
}
}  // namespace

bool SimSignalFile::ParseLine(const std::string& raw, int* input, TestSignal* signal,
                              std::string* error) {
  std::string line = raw.substr(0, raw.find('#'));
  std::istringstream in(line);
  std::string name, shape;
  if (!(in >> name)) return false;  // blank or comment
  int which = -1;
  for (int i = 0; i < kSignalInputs; ++i)
    if (name == kInputs[i]) which = i;
  if (which < 0) {
    *error = "unknown input \"" + name + "\"";
    return false;
  }
  if (!(in >> shape)) {
    *error = "no shape";
    return false;
  }
  TestSignal s;
  bool known = false;
  for (const ShapeName& n : kShapes)
    if (shape == n.name) {
      s.shape = n.shape;
      known = true;
    }
  if (!known) {
    *error = "unknown shape \"" + shape + "\"";
    return false;
  }
  std::string field;
  while (in >> field) {
    size_t eq = field.find('=');
    std::string key = field.substr(0, eq), value = eq == std::string::npos ? "" : field.substr(eq + 1);
    const char* onlyFor = ShapeOfField(key);
    if (onlyFor && shape != onlyFor) {
      *error = key + "= applies to " + onlyFor + " only";
      return false;
    }
    bool ok = false;
    if (key == "freq")
      ok = Number(value, 0.0, 5e9, false, &s.frequencyHz);
    else if (key == "amp")
      ok = Number(value, 0.0, 1e4, false, &s.amplitudeV);
    else if (key == "offset")
      ok = Number(value, -1e4, 1e4, false, &s.offsetV);
    else if (key == "duty")
      ok = Number(value, 0.0, 1.0, true, &s.duty);
    else if (key == "phase")
      ok = Number(value, -1.0, 1.0, false, &s.phase);
    else if (key == "noise")
      ok = Number(value, 0.0, 1e4, false, &s.noiseV);
    else if (key == "widths")
      ok = (s.pulses = List(value, 0.0, 1e3, s.widths)) > 0;
    else if (key == "heights")
      ok = List(value, 0.0, 1.0, s.heights) > 0;
    else if (key == "lines")
      ok = Lines(value, &s.lines);
    else if (key == "gap")
      ok = Number(value, 0.0, 1e3, false, &s.gapS);
    if (!ok) {
      *error = "bad field \"" + field + "\"";
      return false;
    }
  }
  *input = which;
  *signal = s;
  return true;
}

bool SimSignalFile::Refresh(TestSignal* signals) {
  const std::string path = DevPath("signals");
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    seen_ = false;  // a file made again later is read again
    return false;
  }
  const int64_t stamp = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  if (seen_ && stamp == stampNs_ && int64_t(st.st_size) == size_) return false;
  seen_ = true;
  stampNs_ = stamp;
  size_ = int64_t(st.st_size);
  if (size_t(st.st_size) > kMaxFileBytes) {
    std::fprintf(stderr, "dev/signals: larger than %zu bytes, ignored\n", kMaxFileBytes);
    return false;
  }
  std::ifstream f(path);
  std::string line, error;
  for (size_t n = 1; n <= kMaxLines && std::getline(f, line); ++n) {
    int input = -1;
    TestSignal s;
    error.clear();
    std::istringstream words(line);
    std::string first;
    if ((words >> first) && first == "bus") {
      std::string rest;
      std::getline(words, rest);
      rest = rest.substr(0, rest.find('#'));
      if (!SimBusSignals(rest, signals, &error))
        std::fprintf(stderr, "dev/signals line %zu: %s, skipped\n", n, error.c_str());
    } else if (ParseLine(line, &input, &s, &error)) signals[input] = s;
    else if (!error.empty()) std::fprintf(stderr, "dev/signals line %zu: %s, skipped\n", n, error.c_str());
  }
  return true;
}

}  // namespace plat
