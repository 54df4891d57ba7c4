#include "view/stroke_raster.h"

#include <QImage>
#include <QLineF>
#include <QPainter>

namespace morvex {

std::vector<uint8_t> rasteriseStroke(const QVector<QPoint>& stroke, int width, int height, int penWidth) {
  std::vector<uint8_t> mask(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)), 0);
  if (stroke.isEmpty() || mask.empty()) return mask;
  QImage scratch(width, height, QImage::Format_RGB32);
  scratch.fill(QColor(0, 0, 0, 255));
  QPainter p(&scratch);
  p.setPen(QPen(Qt::red, penWidth, Qt::SolidLine, Qt::RoundCap));
  // Image positions are pixels; the pen is centred on the pixel's centre, so a dot of width P
  // covers exactly P pixels across.
  const QPointF centre(0.5, 0.5);
  if (stroke.size() == 1) {
    const QPointF point = QPointF(stroke[0]) + centre;
    p.drawPoints(&point, 1);
  } else {
    QVector<QLineF> lines;
    lines.reserve(stroke.size() - 1);
    for (int i = 0; i + 1 < stroke.size(); ++i) lines.append(QLineF(QPointF(stroke[i]) + centre, QPointF(stroke[i + 1]) + centre));
    p.drawLines(lines);
  }
  p.end();
  for (int y = 0; y < height; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
    for (int x = 0; x < width; ++x) mask[static_cast<std::size_t>(y) * width + x] = qRed(row[x]) > 125 ? 1 : 0;
  }
  return mask;
}

}  // namespace morvex
