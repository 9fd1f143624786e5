// The soft power button (in place of the GPIO1 block through /dev/mem).
#pragma once

namespace plat {

bool PowerButtonOpen();    // false when the button cannot be reached
int PowerButtonLevel();    // line 3: 1 idle, 0 the button asks for power-off

}  // namespace plat
