#include "view/plane_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "workspace/morvex.h"

CPlaneView::CPlaneView(morvex::PlaneAxis axis, QWidget* parent) : QWidget(parent), axis_(axis) {
  setAttribute(Qt::WA_MouseTracking);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPlaneView::setDisplaySize(int w, int h) {
  widgetWidth_ = std::max(w, 0);
  widgetHeight_ = std::max(h, 0);
  redraw();
}

void CPlaneView::layoutPicture() {
  const double logicalHeight = plane_.height * plane_.rowScale;
  if (plane_.width <= 0 || logicalHeight <= 0 || widgetWidth_ <= 0 || widgetHeight_ <= 0) {
    displayWidth_ = displayHeight_ = 0;
    return;
  }
  const double fit = std::min(widgetWidth_ / static_cast<double>(plane_.width), widgetHeight_ / logicalHeight);
  displayWidth_ = std::max(1, static_cast<int>(plane_.width * fit * zoom_));
  displayHeight_ = std::max(1, static_cast<int>(logicalHeight * fit * zoom_));
  // as in the axial view, at least a quarter of the view stays covered
  const int w = widgetWidth_, h = widgetHeight_;
  const int maxPanX = std::max(0, (displayWidth_ + w) / 2 - w / 4), maxPanY = std::max(0, (displayHeight_ + h) / 2 - h / 4);
  panX_ = std::clamp(panX_, -maxPanX, maxPanX);
  panY_ = std::clamp(panY_, -maxPanY, maxPanY);
  originX_ = (w - displayWidth_) / 2 + panX_;
  originY_ = (h - displayHeight_) / 2 + panY_;
}

void CPlaneView::redraw() {
  if (!owner_ || !owner_->threePlanesShown()) return;
  const morvex::PlaneStack stack = owner_->planeStack();
  const morvex::PlaneSize size = morvex::planeSize(stack, axis_);
  if (size.width != plane_.width || size.height != plane_.height) zoom_ = 1.0f, panX_ = panY_ = 0;
  plane_ = size;
  layoutPicture();
  if (size.width <= 0 || size.height <= 0) {
    canvas_ = QImage();
    update();
    return;
  }
  if (canvas_.width() != size.width || canvas_.height() != size.height)
    canvas_ = QImage(size.width, size.height, QImage::Format_RGB32);
  morvex::OverlaySettings s;
  s.labels = &owner_->labelTable();
  s.currentLabel = owner_->currentLabel();
  s.opacity = owner_->opacity();
  s.outlineMode = owner_->outlineMode();
  const auto [low, high] = owner_->displayWindow();
  if (!morvex::renderPlane(owner_->study(), stack, axis_, owner_->planeIndex(axis_), low, high, owner_->invertShown(), s,
                           reinterpret_cast<uint32_t*>(canvas_.bits())))
    canvas_.fill(Qt::black);
  if (stroking_) previewStroke();
  update();
}

void CPlaneView::previewStroke() {
  if (stroke_.empty() || canvas_.isNull()) return;
  const bool eraser = owner_->toolMode() == ToolMode::EraserMode;
  const std::vector<uint8_t> mask =
      morvex::rasteriseScaledBrush(stroke_, plane_.width, plane_.height, penColumns(eraser), plane_.rowScale);
  for (int y = 0; y < plane_.height; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
    for (int x = 0; x < plane_.width; ++x)
      if (mask[static_cast<std::size_t>(y) * plane_.width + x]) row[x] = eraser ? qRgb(0, 0, 0) : qRgb(255, 0, 0);
  }
}

double CPlaneView::penColumns(bool eraser) const {
  // the axial view's pen: brush size in screen pixels; the eraser twice as wide
  const double perColumn = displayWidth_ > 0 ? displayWidth_ / static_cast<double>(plane_.width) : 1.0;
  return owner_->brushSize() * (eraser ? 2 : 1) / perColumn;
}

void CPlaneView::zoomAt(const QPoint& at, float factor) {
  if (displayWidth_ <= 0 || !(factor > 0.0f)) return;
  const float newZoom = std::clamp(zoom_ * factor, 1.0f, kMaxZoom);
  if (newZoom == zoom_) return;
  const double u = (at.x() - originX_) / static_cast<double>(displayWidth_);
  const double v = (at.y() - originY_) / static_cast<double>(displayHeight_);
  const double ratio = newZoom / zoom_;
  zoom_ = newZoom;
  if (zoom_ == 1.0f) {
    panX_ = panY_ = 0;
  } else {
    const double dw = displayWidth_ * ratio, dh = displayHeight_ * ratio;
    panX_ = static_cast<int>(std::lround(at.x() - u * dw - (widgetWidth_ - dw) / 2));
    panY_ = static_cast<int>(std::lround(at.y() - v * dh - (widgetHeight_ - dh) / 2));
  }
  layoutPicture();
  update();
}

void CPlaneView::panBy(const QPoint& delta) {
  panX_ += delta.x();
  panY_ += delta.y();
  layoutPicture();
  update();
}

void CPlaneView::fitToView() {
  zoom_ = 1.0f;
  panX_ = panY_ = 0;
  layoutPicture();
  update();
}

QPoint CPlaneView::toPlane(const QPoint& e) const {
  if (displayWidth_ <= 0 || displayHeight_ <= 0) return QPoint(-1, -1);
  const double u = std::floor((e.x() + 0.5 - originX_) * plane_.width / static_cast<double>(displayWidth_));
  const double v = std::floor((e.y() + 0.5 - originY_) * plane_.height / static_cast<double>(displayHeight_));
  return QPoint(static_cast<int>(std::clamp(u, -1e6, 1e6)), static_cast<int>(std::clamp(v, -1e6, 1e6)));
}

QPointF CPlaneView::toWidget(const QPointF& p) const {
  if (plane_.width <= 0 || plane_.height <= 0) return QPointF();
  return QPointF(originX_ + p.x() * displayWidth_ / plane_.width, originY_ + p.y() * displayHeight_ / plane_.height);
}

void CPlaneView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (canvas_.isNull() || !owner_ || displayWidth_ <= 0) return;
  // smooth at the fit, pixel squares when zoomed, as in the axial view
  p.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ == 1.0f);
  p.drawImage(pictureRect(), canvas_);
  // the crosshair: the other vertical plane as a column, the axial slice as a row
  const morvex::PlaneStack stack = owner_->planeStack();
  const QPoint c = owner_->crosshair();
  const int row = stack.rowOf(owner_->currentFrame());
  const double column = (axis_ == morvex::PlaneAxis::Coronal ? c.x() : c.y()) + 0.5;
  p.setPen(QPen(QColor(255, 220, 0, 160), 1));
  const QPointF top = toWidget({column, 0}), bottom = toWidget({column, static_cast<double>(plane_.height)});
  p.drawLine(top, bottom);
  if (row >= 0) {
    const QPointF left = toWidget({0, row + 0.5}), right = toWidget({static_cast<double>(plane_.width), row + 0.5});
    p.drawLine(left, right);
  }
  // the active plan's cut, and the one being dragged
  p.setPen(QPen(QColor(0, 230, 255), 2));
  if (const QLineF cut = owner_->planCut(axis_); !cut.isNull()) p.drawLine(toWidget(cut.p1()), toWidget(cut.p2()));
  for (QPolygonF piece : owner_->planKeyLineCut(axis_)) {
    for (QPointF& q : piece) q = toWidget(q);
    p.drawPolyline(piece);
  }
  if (lining_) p.drawLine(toWidget(QPointF(lineFrom_) + QPointF(0.5, 0.5)), toWidget(QPointF(lineTo_) + QPointF(0.5, 0.5)));
  p.setPen(Qt::white);
  p.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop,
             axis_ == morvex::PlaneAxis::Coronal ? tr("Coronal") : tr("Sagittal"));
}

void CPlaneView::mousePressEvent(QMouseEvent* event) {
  if (!owner_ || owner_->longRunActive()) return;
  if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && owner_->spaceHeld())) {
    panning_ = true;
    panLast_ = event->pos();
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = toPlane(event->pos());
  if (!insidePlane(p)) return;
  switch (owner_->planeGesture(event->modifiers())) {
    case Morvex::PlaneGesture::Navigate:
      navigating_ = true;
      owner_->moveCrosshair(axis_, p);
      break;
    case Morvex::PlaneGesture::Stroke:
      stroking_ = true;
      stroke_.assign(1, {p.x(), p.y()});
      redraw();
      break;
    case Morvex::PlaneGesture::Seed:
      owner_->editInPlane(axis_, {{p.x(), p.y()}}, 0.0);
      break;
    case Morvex::PlaneGesture::Refuse:
      owner_->refuseInPlane();
      break;
    case Morvex::PlaneGesture::PlanLine:
      lining_ = true;
      lineFrom_ = lineTo_ = p;
      update();
      break;
  }
}

void CPlaneView::mouseMoveEvent(QMouseEvent* event) {
  if (!owner_) return;
  if (panning_) {
    panBy(event->pos() - panLast_);
    panLast_ = event->pos();
    return;
  }
  const QPoint p = toPlane(event->pos());
  if (!insidePlane(p)) return;
  if (navigating_) {
    owner_->moveCrosshair(axis_, p);
  } else if (lining_) {
    lineTo_ = p;
    update();
  } else if (stroking_ && (stroke_.back().x != p.x() || stroke_.back().y != p.y())) {
    stroke_.push_back({p.x(), p.y()});
    redraw();
  }
}

void CPlaneView::mouseReleaseEvent(QMouseEvent* event) {
  if (!owner_) return;
  if (panning_ && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
    panning_ = false;
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  navigating_ = false;
  if (lining_) {
    lining_ = false;
    owner_->planLineInPlane(axis_, lineFrom_, lineTo_);
    update();
    return;
  }
  if (!stroking_) return;
  stroking_ = false;
  const bool eraser = owner_->toolMode() == ToolMode::EraserMode;
  const std::vector<morvex::ImagePoint> stroke = std::move(stroke_);
  stroke_.clear();
  owner_->editInPlane(axis_, stroke, penColumns(eraser));
}

void CPlaneView::wheelEvent(QWheelEvent* event) {
  if (!owner_ || stroking_ || navigating_) return;
  if (event->modifiers() & Qt::ControlModifier) {
    if (event->angleDelta().y() != 0) zoomAt(event->position().toPoint(), event->angleDelta().y() > 0 ? 1.25f : 0.8f);
    return;
  }
  owner_->stepPlane(axis_, event->angleDelta().y() <= 0 ? 1 : -1);
}
