// The CH1 function module (task 6, panel key 64) and its menu handlers.
#pragma once
#include "acquisition/channel/task_ch_module.h"

struct instr;

class TaskForCh1 : public TaskForChannel {
 public:
  TaskForCh1();
};

extern TaskForCh1 TaskCh1;
extern menu TaskCh1Menu;
extern instr TaskCh1InstrStandard[];

int Ch1_SendSysRequest(int code, short target, short value);
int Ch1AllParaReSet();
int Ch1_Coupling(keypara k);
int Ch1_BwLimit(keypara k);
int Ch1_VoltsDiv(keypara k);
int Ch1_Invert(keypara k);
int Ch1_Next(keypara k);
int Ch1_ProbeType(keypara k);
int Ch1_Probe(keypara k);
int Ch1_Custom(keypara k);
int Ch1_Unit(keypara k);
int Ch1_Next2(keypara k);
int Ch1_ProbeType_A(keypara k);
int Ch1_Probe_A(keypara k);
int Ch1_Unit_A(keypara k);
int Ch1_Back(keypara k);
int Ch1_LabelOnOff(keypara k);
int Ch1_LabelLab(keypara k);
int Ch1_LabelEdit(keypara k);
int Ch1_LabelDel(keypara k);
int Ch1_LabelOk(keypara k);
int Ch1_LabelBack(keypara k);
int Ch1MenuOp(keypara k);
int Ch1_LabelOp(keypara k);
