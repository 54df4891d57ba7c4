#include "view/stroke_raster.h"

#include "view/edit_ops.h"

namespace morvex {

std::vector<uint8_t> rasteriseStroke(const QVector<QPoint>& stroke, int width, int height, int penWidth) {
  std::vector<ImagePoint> points;
  points.reserve(static_cast<std::size_t>(stroke.size()));
  for (const QPoint& p : stroke) points.push_back({p.x(), p.y()});
  return rasteriseBrush(points, width, height, penWidth);
}

}  // namespace morvex
