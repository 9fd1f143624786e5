// The LCD backlight (in place of the sysfs file
// /sys/class/backlight/backlight/brightness). The simulated board keeps the
// level in "<root>/dev/backlight".
#pragma once

namespace plat {

// Sets the backlight level (the display module sends 10-100); false when the
// level could not be written.
bool SetBacklight(int level);
// The level last set under the current root, -1 before any.
int Backlight();

}  // namespace plat
