#include "core/request.h"

_SysRequest SysRequest;
