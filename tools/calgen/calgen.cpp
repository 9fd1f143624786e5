// Writes the channel calibration file of the simulated board, made from the
// simulated front end's constants (platform/sim/acquisition/sim_frontend.h), so that the
// instrument's offset and trigger DAC codes land where the simulated FPGA
// expects them. Usage: calgen <output file>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/board/ch_cali_data.h"
#include "platform/sim/acquisition/sim_frontend.h"

namespace fe = plat::simfe;

namespace {
uint16_t Code(int v) { return uint16_t(v < 0 ? 0 : v > 4095 ? 4095 : v); }

// A trigger sub-record with the DAC codes at levels 0, +75 and -75 and at level
// 0 with the position moved by +75 codes.
void FillTrig(CaliTrigSub* s, int zero, double perCode) {
  const int span = int(kCaliPointCodes * perCode + 0.5);
  s->zero = Code(zero);
  s->up75 = Code(zero + span);
  s->down75 = Code(zero - span);
  s->offsetZero = Code(zero + span);
}

void FillRecord(CaliRecord* r, int ch) {
  const int centre = fe::OffsetDacCentre(ch);
  const int span = fe::kCaliPointSpan;
  r->centreDac = Code(centre);
  r->centrePos = 127;
  r->upperDac = Code(centre - span * fe::kOffsetDacPerCode);
  r->upperPos = uint16_t(127 + span);
  r->lowerDac = Code(centre + span * fe::kOffsetDacPerCode);
  r->lowerPos = uint16_t(127 - span);
  r->adcGain1 = fe::kAdcGainCoarse;
  r->adcGain2 = fe::kAdcGainFine;
  FillTrig(&r->trigDc, fe::TrigDacZero(ch), fe::kTrigDacPerCode);
  FillTrig(&r->trigAc, fe::TrigDacZero(ch), fe::kTrigDacPerCode);
  if (ch == 0) {
    FillTrig(&r->extDc, fe::kExtTrigDacZero, fe::kExtTrigDacPerCode);
    FillTrig(&r->extAc, fe::kExtTrigDacZero, fe::kExtTrigDacPerCode);
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: calgen <output file>\n");
    return 2;
  }
  auto cal = std::make_unique<CaliDataForCh>();
  std::memset(cal.get(), 0, sizeof *cal);
  for (int ch = 0; ch < 2; ++ch)
    for (int group = 0; group < 2; ++group)
      for (int range = kCaliFirstRange; range <= kCaliLastRange; ++range) FillRecord(cal->Record(ch, range, group), ch);
  const float t = fe::kSelfCaliTemperature;
  std::memcpy(reinterpret_cast<uint8_t*>(cal.get()) + kCaliTempOffset, &t, sizeof t);

  FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  bool ok = std::fwrite(cal.get(), 1, sizeof *cal, f) == sizeof *cal;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "calgen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
