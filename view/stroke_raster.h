#pragma once
// Rasterisation of a freehand stroke as the user sees it: QPainter without anti-aliasing, a red
// pen of the given width with round caps, one point drawn as a point, otherwise one line per pair
// of consecutive points. The result is a byte mask (1 where the pen's red exceeds 125).

#include <QPoint>
#include <QVector>
#include <vector>

#include <cstdint>

namespace morvex {

std::vector<uint8_t> rasteriseStroke(const QVector<QPoint>& stroke, int width, int height, int penWidth);

}  // namespace morvex
