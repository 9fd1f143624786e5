// Loading, deriving and saving the channel calibration file.
#include "core/board/ch_cali_data.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "platform/root.h"
#include "platform/shell.h"

CaliDataForCh ChSelfCaliData;

namespace {
constexpr int kMsgCaliSaved = 10;
constexpr int kMsgCaliSaveFailed = 11;
constexpr int kAnalogChannels = 2;

// abs(dacA - dacB) / (posA - posB); 0 when the two points coincide.
float Slope(int dacA, int dacB, int posA, int posB) {
  int d = posA - posB;
  return d == 0 ? 0.0f : float(std::abs(dacA - dacB)) / float(d);
}

float Factor(int a, int b) { return float(a - b) / kCaliPointCodes; }

float ReadTemperature(const CaliDataForCh& cal) {
  float t;
  std::memcpy(&t, reinterpret_cast<const uint8_t*>(&cal) + kCaliTempOffset, sizeof t);
  return std::isfinite(t) ? t : 0.0f;
}

void WriteTemperature(CaliDataForCh* cal, float t) {
  std::memcpy(reinterpret_cast<uint8_t*>(cal) + kCaliTempOffset, &t, sizeof t);
}
}  // namespace

void DeriveChCaliData(CaliDataForCh* cal) {
  for (int ch = 0; ch < kAnalogChannels; ++ch) {
    for (int group = 0; group < 2; ++group) {
      const CaliRecord r8 = *cal->Record(ch, 8, group);
      const CaliRecord r16 = *cal->Record(ch, 16, group);
      for (int range = kCaliFirstRange; range <= kCaliLastRange; ++range) {
        CaliRecord& r = *cal->Record(ch, range, group);
        r.upperSlope = Slope(r.upperDac, r.centreDac, r.upperPos, r.centrePos);
        r.lowerSlope = Slope(r.centreDac, r.lowerDac, r.centrePos, r.lowerPos);
        r.trigUpFactor = std::fabs(Factor(r8.trigDc.up75, r8.trigDc.zero));
        r.trigDownFactor = std::fabs(Factor(r8.trigDc.zero, r8.trigDc.down75));
        r.trigPosFactor = Factor(r16.trigDc.offsetZero, r16.trigDc.zero);
        r.trigAcPosFactor = Factor(r16.trigAc.offsetZero, r16.trigAc.zero);
        r.trigAc.zero = r16.trigAc.zero;
        if (ch == 0) {
          r.extDc.zero = r16.extDc.zero;
          r.extAc.zero = r16.extAc.zero;
          r.extDcFactor[0] = r.extDcFactor[1] = kCaliExtFactor;
          r.extAcFactor[0] = r.extAcFactor[1] = kCaliExtFactor;
        }
      }
    }
  }
  WriteTemperature(cal, ReadTemperature(*cal));
}

int _SysRunInfoOp::LoadChCaliData() {
  const std::string path = plat::MapPath(ChCaliDataName);
  std::memset(&ChSelfCaliData, 0, sizeof ChSelfCaliData);
  int result = -1;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    size_t n = std::fread(&ChSelfCaliData, 1, sizeof ChSelfCaliData, f);
    std::fclose(f);
    if (n == sizeof ChSelfCaliData) {
      result = 0;
    } else {
      std::printf("Read %s file failed! (%zu of %d bytes)\n", ChCaliDataName, n, kCaliFileBytes);
      std::memset(&ChSelfCaliData, 0, sizeof ChSelfCaliData);  // a short file is not used at all
    }
  } else {
    std::printf("Open %s file failed!\n", ChCaliDataName);
  }
  DeriveChCaliData(&ChSelfCaliData);
  selfCaliTemperature_ = ReadTemperature(ChSelfCaliData);
  return result;
}

int _SysRunInfoOp::SaveChChCaliData() {
  const float t = GetTemperature();
  WriteTemperature(&ChSelfCaliData, std::isfinite(t) ? t : 0.0f);
  selfCaliTemperature_ = ReadTemperature(ChSelfCaliData);
  std::printf("Temperature = %f \n", double(selfCaliTemperature_));

  // Written beside the file and renamed over it, so a failed save leaves the
  // previous calibration in place.
  const std::string path = plat::MapPath(ChCaliDataName);
  const std::string temp = path + ".new";
  FILE* f = plat::RootDir().empty() ? nullptr : std::fopen(temp.c_str(), "wb");
  if (!f) {
    QelMsg.SetMessage(kMsgCaliSaveFailed);
    std::printf("Open %s file failed!\n", ChCaliDataName);
    return -1;
  }
  bool ok = std::fwrite(&ChSelfCaliData, 1, sizeof ChSelfCaliData, f) == sizeof ChSelfCaliData;
  for (int i = 0; i < 3; ++i) plat::ShellSystem("sync");
  plat::SleepMs(1000);
  ok = std::fflush(f) == 0 && ok;
  ok = fsync(fileno(f)) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::remove(temp.c_str());
    QelMsg.SetMessage(kMsgCaliSaveFailed);
    std::printf("Write %s file failed!\n", ChCaliDataName);
    return -1;
  }
  QelMsg.SetMessage(kMsgCaliSaved);
  return 0;
}

int _SysRunInfoOp::SaveAnalogChCaliData() {
  int saved = SaveChChCaliData();
  int loaded = LoadChCaliData();
  return saved < 0 ? saved : loaded;
}
