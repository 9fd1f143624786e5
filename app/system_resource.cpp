#include "core/system_resource.h"

#include "acquisition/trig_system.h"
#include "acquisition/wave.h"
#include "acquisition/x_system.h"
#include "acquisition/y_system.h"
#include "core/common_subprogram.h"
#include "core/control.h"
#include "core/i2c_storage.h"
#include "core/msg.h"
#include "core/request.h"
#include "core/rs232.h"
#include "core/sys_run_info.h"
#include "core/unit_convert.h"
#include "remote/scpi.h"
#include "ui/qel_draw.h"

// Only addresses are taken here, so the order of static construction does not matter.
_SysResource SystemResource = {&SysRequest, &Vertical,    &TimeBase,  &Trigger,     &SysRunStatus,
                               &UnitConvert, &WaveOp,     &QelControl, &I2cStorage, &QelDraw,
                               &QelMsg,      &Scpi,       &KeyBoard,  &CommonSubProg};
