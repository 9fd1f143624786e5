#include "core/system_resource.h"

_SysResource SystemResource = {};
