#pragma once
// The division tool's lines over a slice picture: the stroke being drawn in blue, the frame's key
// line in red with a blue handle on each point, its interpolated line in green, and (one key line
// for the whole series) that key line in green on every other frame.

#include <QImage>

namespace morvex {
class CLiverDivider;
}

void drawDivisionOverlay(QImage& canvas, const morvex::CLiverDivider& divider, int nFrameIdx, int penWidth);
