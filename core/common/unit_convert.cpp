#include "core/common/unit_convert.h"

#include <cfloat>
#include <cmath>

unit_convert UnitConvert;

namespace {
// The display keeps single precision; values a float cannot hold stay as they are.
double ThroughFloat(double m) {
  if (std::isfinite(m) && std::fabs(m) <= double(FLT_MAX)) return double(float(m));
  return m;
}

int Store(FloatElement* e, double m, int16_t unit) {
  e->mantissa = ThroughFloat(m);
  e->unit = unit;
  return 0;
}
}  // namespace

int unit_convert::VUnitConvert(double v, FloatElement* e) const {
  if (!e) return -1;
  if (v == 0.0 || std::isnan(v)) return Store(e, 0.0, kVMicro);
  double m = std::fabs(v);
  int16_t code = kVUnit;
  if (m <= 0.999999) {
    m *= 1000.0;
    code = kVMilli;
    if (m < 1.0) {
      m *= 1000.0;
      code = kVMicro;
    }
  } else if (m > 999.999) {
    m /= 1000.0;
    code = kVKilo;
    if (m > 999.999) {
      m /= 1000.0;
      code = kVMega;
    }
  }
  return Store(e, v < 0 ? -m : m, code);
}

int unit_convert::TUnitConvert(double t, FloatElement* e) const {
  if (!e) return -1;
  if (t == 0.0 || std::isnan(t)) return Store(e, 0.0, kTSec);
  double m = std::fabs(t);
  int16_t code = kTSec;
  while (m < 1.0 && code < kTPico) {
    m *= 1000.0;
    ++code;
  }
  return Store(e, t < 0 ? -m : m, code);
}

int unit_convert::FreqUnitConvert(double f, FloatElement* e) const {
  if (!e) return -1;
  if (!(f > 0.0)) return Store(e, 0.0, kFHz);
  if (f < 1e3) return Store(e, f, kFHz);
  if (f < 1e6) return Store(e, f / 1e3, kFKilo);
  if (f < 1e9) return Store(e, f / 1e6, kFMega);
  return Store(e, f / 1e9, kFGiga);
}
