// The FFT page as the FFT tests start from it.
#pragma once

class Bench;

// Both channels on with the wave test settings, the board acquiring only
// when asked, and the MATH page showing the FFT (the menu item and its handler).
void ShowFftOnDemand(Bench& b);
