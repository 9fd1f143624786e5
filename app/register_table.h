// The function modules registered at start-up, in registration order.
#pragma once
#include "core/state/task_manage.h"

extern RegisterRow RegisterTable[];
