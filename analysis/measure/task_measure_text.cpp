// The measure module's language file: its menu texts (read by the menu
// engine) and, after them, the parameter names, the statistics row names and
// the two panel titles, each on a line of its own after its mark:
//   '*' a parameter's name, '%' its long name (36 pairs in table order),
//   '&' a statistics row (six), then '*' the all-parameters panel title and
//   '*' the user-selected panel title.
#include <cstdio>
#include <fstream>
#include <string>

#include "analysis/lang_text.h"
#include "analysis/measure/task_measure.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "platform/root.h"

const uint16_t* Mea_AllParaTitle = nullptr;
const uint16_t* Mea_UserDefTitle = nullptr;

namespace {
constexpr uint16_t kNameMark = '*', kLongMark = '%', kStatMark = '&';
constexpr int kStatRows = 6, kStatChars = 10;

bool ReadLines(const char* path, std::vector<uint16_t>* out) { return ReadLanguageLines(path, out); }
const uint16_t* Next(const std::vector<uint16_t>& t, size_t* at, uint16_t mark) { return NextMarkedLine(t, at, mark); }
}  // namespace

int TaskForMeasure::LoadLanguage(int reload) {
  if (reload != 0 && reload != 1) return -1;
  char language[kLanguageText] = {};
  _SysRunInfoOp* run = SystemResource.runStatus;
  if (run) run->GetLanguageCountry(run->GetSysRunInfoBaseAddr()->language, language);
  char path[128];
  if (Menu::MenuTextPath(path, sizeof path, language, "Measure") < 0) return -1;
  const int rc = reload == 0 ? TaskMenu.LoadMenu(path, &TaskMeasureMenu) : TaskMenu.ReLoadMenu(path, &TaskMeasureMenu);
  LoadParaInfo(path);
  return rc < 0 ? -1 : 0;
}

int TaskForMeasure::LoadParaInfo(const char* path) {
  std::vector<uint16_t> t;
  if (!path || !ReadLines(path, &t)) return -1;
  size_t at = 0;
  const uint16_t* names[kMeaParas][2] = {};
  for (auto& n : names)
    if (!(n[0] = Next(t, &at, kNameMark)) || !(n[1] = Next(t, &at, kLongMark))) return -1;
  const uint16_t* rows[kStatRows] = {};
  for (auto& r : rows)
    if (!(r = Next(t, &at, kStatMark))) return -1;
  const uint16_t* all = Next(t, &at, kNameMark);
  const uint16_t* user = all ? Next(t, &at, kNameMark) : nullptr;
  if (!user) return -1;

  // Everything found: the new texts replace the old ones (the units keep
  // their addresses through the swap).
  text_.swap(t);
  for (int p = 0; p < kMeaParas; ++p) {
    MeasureParaInfo[p].text = names[p][0];
    MeasureParaInfo[p].text2 = names[p][1];
  }
  for (int r = 0; r < kStatRows; ++r) {
    int i = 0;
    for (; i < kStatChars && rows[r][i]; ++i) StatInfo[r][i] = rows[r][i] < 0x80 ? char(rows[r][i]) : '?';
    StatInfo[r][i] = 0;
  }
  Mea_AllParaTitle = all;
  Mea_UserDefTitle = user;
  return 0;
}
