#pragma once
// The stroke of the slice view as the brush and eraser apply it: a round pen of the given width
// along the stroke's points (see morvex::rasteriseBrush). The result is a byte mask (1 = covered).

#include <QPoint>
#include <QVector>
#include <vector>

#include <cstdint>

namespace morvex {

std::vector<uint8_t> rasteriseStroke(const QVector<QPoint>& stroke, int width, int height, int penWidth);

}  // namespace morvex
