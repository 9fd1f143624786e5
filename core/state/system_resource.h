// The table of the process-wide objects every module receives.
#pragma once

class _SysRequest;
class y_system;
class x_system;
class trig_system;
class _SysRunInfoOp;
class unit_convert;
class _wave;
class control;
class I2C;
class qel_draw;
class msg;
class scpi;
class rs232;
class common_subprogram;

struct _SysResource {
  _SysRequest* request;
  y_system* vertical;
  x_system* timeBase;
  trig_system* trigger;
  _SysRunInfoOp* runStatus;
  unit_convert* unitConvert;
  _wave* wave;
  control* board;
  I2C* eeprom;
  qel_draw* draw;
  msg* message;
  scpi* scpiEngine;
  rs232* keyboard;
  common_subprogram* common;
};

// Filled by start-up (app/); empty before.
extern _SysResource SystemResource;
