#include "app/diagnostics.h"

#include <cstdio>
#include <string>

#include "acquisition/models/trig_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/ids.h"
#include "core/menu/menu.h"
#include "core/state/task.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_msg.h"

namespace {
constexpr char kLanguagePath[] = "/udisk/Language.csv";
constexpr int kAdcPhaseReg = 41, kAdcPhaseBase = 0xD109, kAdcPhaseSelectors = 7;
constexpr int kAdcPatternReg = 108, kAdcPatternOn = 8;
constexpr int kAdcs = 2;
constexpr int kTrigDac = 2, kTrigDacCodes = 4096, kTrigSettleUs = 100;
constexpr int kReadyPolls = 2000;
constexpr uint16_t kAssistTrigger = 2, kAlternateStep = 128;

// UTF-16 text as UTF-8 (surrogate pairs joined; a lone one becomes U+FFFD).
std::string UnicodeToUTF_8(const uint16_t* text) {
  std::string out;
  for (const uint16_t* p = text; p && *p; ++p) {
    uint32_t c = *p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void WriteLine(FILE* f, const std::string& line) { std::fprintf(f, "%s\n", line.c_str()); }

int SampleCodes(int* max1, int* min1, int* max2, int* min2) {
  QelControl.SendRealControl(fpga::kSweep, 2);  // one measuring sweep
  QelControl.SysSample();
  for (int i = 0; i < kReadyPolls && QelControl.ReadAnyReg(fpga::kDone) <= 0; ++i) plat::SleepMs(1);
  const int hi = QelControl.ReadAnyReg(fpga::kMax), lo = QelControl.ReadAnyReg(fpga::kMin);
  if (max1) *max1 = hi & 0xFF;
  if (max2) *max2 = hi >> 8 & 0xFF;
  if (min1) *min1 = lo & 0xFF;
  if (min2) *min2 = lo >> 8 & 0xFF;
  return 0;
}
}  // namespace

int ExportLanguage() {
  FILE* f = std::fopen(plat::MapPath(kLanguagePath).c_str(), "w");
  if (!f) {
    std::printf("Open Path: %s fail!\n", kLanguagePath);
    return -1;
  }
  for (int id = 0; id < kTaskSlots; ++id) {
    task* t = TaskManage.FindTaskbyId(id);
    const menu* m = t ? t->TaskMenu.GetMenuInfo() : nullptr;
    if (!m) continue;
    std::printf("TaskTop = %d \n", id);
    for (int page = 0; page < kMenuPages; ++page) {
      const MenuPage& p = m->pages[page];
      bool shown = false;
      for (const MenuItem& it : p.items) {
        if (!it.attribute || !it.title) continue;
        if (!shown) std::printf("Page = %d \n", page), shown = true;
        std::string line = UnicodeToUTF_8(it.title);
        for (const MenuOption* o = it.options; o; o = o->next) line += "," + UnicodeToUTF_8(o->text);
        WriteLine(f, line);
      }
    }
  }
  std::fclose(f);
  std::printf("ExportLanguage Ok!");
  return 0;
}

int Adj_ADC() {
  static int selector = -1;
  selector = (selector + 1) % kAdcPhaseSelectors;
  const int value = selector * 16 | kAdcPhaseBase;
  for (int adc = 0; adc < kAdcs; ++adc) QelControl.AdcConfig(adc, kAdcPhaseReg, value);
  std::printf("Phase = 0x%x   AdcVal = 0x%x \n", selector, value);
  return selector;
}

int Adj_ADC_Wave() {
  static bool on = false;
  on = !on;
  for (int adc = 0; adc < kAdcs; ++adc)
    QelControl.AdcConfig(adc, kAdcPatternReg, on ? kAdcPatternOn : 0);
  return on ? 1 : 0;
}

int TrigCaliTest(int slot) {
  // The calibration records stay as they are: the DAC is written directly and
  // the trigger is re-applied afterwards.
  QelControl.SendRealControl(fpga::kTrigSource, slot);
  int found = -1;
  for (int dac = 0; dac < kTrigDacCodes && found < 0; ++dac) {
    QelControl.ChannelDAC_Set(kTrigDac, dac);
    if (QelControl.TriggerDetect(kTrigSettleUs) & 1) found = dac;
  }
  if (found >= 0)
    std::printf("Low ---> High TrigDacVal = %d \n", found);
  else
    std::printf("TrigCali Error!\n");
  Trigger.SentTriggerConfigPara();
  Trigger.AdjTriggerPosition(0);
  return found;
}

int StartTriggerCali() { return TrigCaliTest(0); }

void GetChMaxMin(int* max1, int* min1, int* max2, int* min2) { SampleCodes(max1, min1, max2, min2); }

void TestMaxMin() {
  int max1 = 0, min1 = 0, max2 = 0, min2 = 0;
  GetChMaxMin(&max1, &min1, &max2, &min2);
  std::printf("CH1 Max = %d  Min = %d \n", max1, min1);
  std::printf("CH2 Max = %d  Min = %d \n", max2, min2);
}

int WebServerStart() {
  plat::ShellSystem("killall webserver");
  return plat::ShellSystem("./WebServer/webserver &");
}

int ScpiInstrTest() { return Scpi.SendScpiMsg(kScpiSourceTransport, "CHANnel1:COUPling \n"); }

int SwitchTriggerAlternate() {
  taskresponse request{}, reply{};
  request.request = kAssistTrigger;
  request.words[0] = kAlternateStep;
  return TaskManage.RequestTaskAssist(kTaskTrigger, &request, &reply);
}
