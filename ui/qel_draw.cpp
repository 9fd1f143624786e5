#include "ui/qel_draw.h"

qel_draw QelDraw;
