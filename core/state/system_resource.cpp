#include "core/state/system_resource.h"

_SysResource SystemResource = {};
