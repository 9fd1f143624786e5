// The wave area: frames, graticules and traces. Not built yet: the composer
// calls these at their places in the frame and they draw nothing.
#include "ui/qel_draw.h"

void qel_draw::DrawGridFrameYT(int) {}
void qel_draw::DrawGridFrameXY(short) {}
void qel_draw::DrawGridFrameZoom() {}
void qel_draw::DrawGridYT(int) {}
void qel_draw::DrawGridXY(short) {}
void qel_draw::DrawGridZoom() {}
void qel_draw::DrawWave() {}
