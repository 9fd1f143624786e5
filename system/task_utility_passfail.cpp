// The pass/fail test's pages until the test itself is built: the items keep
// their values, nothing is compared.
#include "system/pass_fail.h"

#include "system/task_utility.h"

namespace {
int Take(keypara key, int n) { return TaskUtility.TaskMenu.AdjMenuItemPara(key, n); }
int Page(int page) { return TaskUtility.TaskMenu.SetCurrPage(page * kMenuSlots); }
}  // namespace

int PassFailOp(keypara key) {
  if (key.key == kKeyUtility) Page(kUtiPageUtility2);
  return 0;
}
int PassFail_Enable(keypara key) { return Take(key, kUtiPfEnable); }
int PassFail_Operate(keypara key) { return Take(key, kUtiPfOperate); }
int PassFail_Output(keypara key) { return Take(key, kUtiPfOutput); }
int PassFail_Source(keypara key) { return Take(key, kUtiPfSource); }
int PassFail_Next(keypara) { return Page(kUtiPagePf2); }
int PassFail_StopSetup(keypara) { return Page(kUtiPagePfStop); }
int PassFail_MaskSetup(keypara) { return Page(kUtiPagePfMask); }
int PassFail_Return(keypara) {
  for (int n : {kUtiPfEnable, kUtiPfOperate, kUtiPfOutput}) TaskUtility.TaskMenu.SetMenuItem(n, 0);
  TaskUtility.ClearFuncBits(kUtiDlgPassFail);
  return Page(kUtiPageUtility2);
}
int PassFail_Back(keypara) { return Page(kUtiPagePf1); }
int PassFail_StopSetup_StopType(keypara key) { return Take(key, kUtiPfStopType); }
int PassFail_StopSetup_When(keypara key) { return Take(key, kUtiPfWhen); }
int PassFail_StopSetup_Threshold(keypara key) { return Take(key, kUtiPfThreshold); }
int PassFail_StopSetup_Back(keypara) { return Page(kUtiPagePf1); }
int PassFail_RefChannel(keypara key) { return Take(key, kUtiPfRefChannel); }
int PassFail_HoriMask(keypara key) { return Take(key, kUtiPfHoriMask); }
int PassFail_VertMask(keypara key) { return Take(key, kUtiPfVertMask); }
int PassFail_MaskStep_Back(keypara) { return Page(kUtiPagePf2); }

int PassFail_MsgTemplateFlag(int) { return -1; }
void Utility_DrawPassFail() {}
int GetPassFail_Run_Status() { return 0; }
int GetPassFail_PassTimes() { return 0; }
int GetPassFail_FailTImes() { return 0; }
