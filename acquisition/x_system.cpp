#include "acquisition/x_system.h"

x_system TimeBase;
