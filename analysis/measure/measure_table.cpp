// The parameter table of the measurement engine and its lookups.
#include "analysis/measure/measure.h"

MeasureParaRow MeasureParaInfo[kMeaParas] = {
    {"Max", 0, kMeaUnitVolt, false, nullptr, nullptr},
    {"Min", 1, kMeaUnitVolt, false, nullptr, nullptr},
    {"High", 2, kMeaUnitVolt, false, nullptr, nullptr},
    {"Low", 3, kMeaUnitVolt, false, nullptr, nullptr},
    {"Ampl", 4, kMeaUnitVolt, false, nullptr, nullptr},
    {"Pk-Pk", 5, kMeaUnitVolt, false, nullptr, nullptr},
    {"Middle", 6, kMeaUnitVolt, false, nullptr, nullptr},
    {"MEAN", 7, kMeaUnitVolt, false, nullptr, nullptr},
    {"CycMean", 8, kMeaUnitVolt, false, nullptr, nullptr},
    {"RMS", 9, kMeaUnitVolt, false, nullptr, nullptr},
    {"CycRMS", 10, kMeaUnitVolt, false, nullptr, nullptr},
    {"ACRMS", 11, kMeaUnitVolt, false, nullptr, nullptr},
    {"Period", 12, kMeaUnitTime, false, nullptr, nullptr},
    {"Freq", 13, kMeaUnitFreq, false, nullptr, nullptr},
    {"Rise", 14, kMeaUnitTime, false, nullptr, nullptr},
    {"Fall", 15, kMeaUnitTime, false, nullptr, nullptr},
    {"RiseDelay", 16, kMeaUnitTime, true, nullptr, nullptr},
    {"FallDelay", 17, kMeaUnitTime, true, nullptr, nullptr},
    {"Pwidth", 18, kMeaUnitTime, false, nullptr, nullptr},
    {"Nwidth", 19, kMeaUnitTime, false, nullptr, nullptr},
    {"FRFR", 20, kMeaUnitTime, true, nullptr, nullptr},
    {"FRFF", 21, kMeaUnitTime, true, nullptr, nullptr},
    {"FFFR", 22, kMeaUnitTime, true, nullptr, nullptr},
    {"FFFF", 23, kMeaUnitTime, true, nullptr, nullptr},
    {"FRLF", 24, kMeaUnitTime, true, nullptr, nullptr},
    {"FRLR", 25, kMeaUnitTime, true, nullptr, nullptr},
    {"FFLR", 26, kMeaUnitTime, true, nullptr, nullptr},
    {"FFLF", 27, kMeaUnitTime, true, nullptr, nullptr},
    {"Pduty", 28, kMeaUnitNumber, false, nullptr, nullptr},
    {"Nduty", 29, kMeaUnitNumber, false, nullptr, nullptr},
    {"Area", 30, kMeaUnitArea, false, nullptr, nullptr},
    {"CycArea", 31, kMeaUnitArea, false, nullptr, nullptr},
    {"OverSht", 32, kMeaUnitNumber, false, nullptr, nullptr},
    {"Persht", 33, kMeaUnitNumber, false, nullptr, nullptr},
    {"Phase", 34, kMeaUnitDegree, true, nullptr, nullptr},
    {"Pulse", 35, kMeaUnitNumber, false, nullptr, nullptr},
};

const int16_t SingleChPara[kMeaSingleParas] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 12,
                                               13, 14, 15, 18, 19, 28, 29, 30, 31, 32, 33, 35};
const int16_t DoubleChPara[kMeaDoubleParas] = {16, 17, 20, 21, 22, 23, 24, 25, 26, 27, 34};
const int16_t MeasureSource[3] = {0, 1, kMeaMath};
char StatInfo[6][11] = {"CUR", "AVG", "MIN", "MAX", "DEV", "NUM"};

int MeasureParaUnit(int para) { return para >= 0 && para < kMeaParas ? int(MeasureParaInfo[para].unit) : int(kMeaUnitNone); }

int MeasureIsDoublePara(int para) {
  if (para < 0 || para >= kMeaParas) return -1;
  return MeasureParaInfo[para].twoSource ? 1 : 0;
}
