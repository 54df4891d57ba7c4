#include "view/division_overlay.h"

#include <QPainter>
#include <QPainterPath>

#include "segmentation/liver_divider.h"

namespace {

QPainterPath pathOf(const morvex::DivisionLine& line) {
  QPainterPath path;
  if (line.points.empty()) return path;
  path.moveTo(line.points[0].x, line.points[0].y);
  for (std::size_t i = 1; i < line.points.size(); ++i) {
    const morvex::DivPoint p = line.points[i], c = line.controls[i];
    if (line.types[i] == 1)
      path.quadTo(c.x, c.y, p.x, p.y);
    else
      path.lineTo(p.x, p.y);
  }
  return path;
}

void drawLine(QPainter& painter, const morvex::DivisionLine& line, const QColor& colour, int penWidth) {
  painter.setPen(QPen(colour, penWidth));
  painter.setBrush(Qt::NoBrush);
  if (line.points.size() == 1)
    painter.drawPoint(line.points[0].x, line.points[0].y);
  else
    painter.drawPath(pathOf(line));
}

}  // namespace

void drawDivisionOverlay(QImage& canvas, const morvex::CLiverDivider& d, int f, int penWidth) {
  if (d.stage < 1 || canvas.isNull()) return;
  QPainter painter(&canvas);
  painter.setClipRect(canvas.rect());
  if ((d.stage == 1 || d.stage == 2) && d.stroke().frame == f && !d.stroke().points.empty())
    drawLine(painter, d.stroke(), Qt::blue, penWidth);
  if (const morvex::DivisionLine* key = d.keyLineOf(f)) {
    drawLine(painter, *key, Qt::red, penWidth);
    const int r = d.handleRadius;
    for (const morvex::DivPoint& p : key->points) painter.fillRect(p.x - r, p.y - r, 2 * r + 1, 2 * r + 1, Qt::blue);
  } else if (const morvex::DivisionLine* line = d.interpolatedLineOf(f)) {
    drawLine(painter, *line, Qt::green, penWidth);
  } else if (d.keyLines().size() == 1 && !d.interpolate && !d.single) {
    drawLine(painter, d.keyLines().front(), Qt::green, penWidth);
  }
}
