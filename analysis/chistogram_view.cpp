#include "analysis/chistogram_view.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

using morvex::HistogramModel;

CHistogramView::CHistogramView(QWidget* parent) : QWidget(parent) {}

void CHistogramView::setViewSize(int width, int height) {
  setFixedSize(width, height);
  viewHeight_ = height;
  update();
}

void CHistogramView::emitValues() {
  emit valueChanged(static_cast<int>(model_.lowValue()), static_cast<int>(model_.highValue()));
}

void CHistogramView::setValues(int a, int b) {
  if (!model_.setValues(a, b)) return;
  emitValues();
  update();
}

void CHistogramView::computeHistogram(const int16_t* image, int width, int height, bool repaint) {
  if (model_.computeHistogram(image, width, height) && repaint) update();
}

void CHistogramView::setHistogram(const int* table, int tableSize, int tableBase, int low, int high, bool repaint) {
  if (model_.setHistogram(table, tableSize, tableBase, low, high) && repaint) update();
}

void CHistogramView::setAutoRange(const int16_t* image, int width, int height) {
  if (model_.setAutoRange(image, width, height)) update();
}

void CHistogramView::setMarkers(const int* values, int count) {
  model_.setMarkers(values, count);
  update();
}

void CHistogramView::resetView() {
  model_.reset();
  update();
}

void CHistogramView::mousePressEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) model_.press(event->x(), event->y(), viewHeight_);
}

void CHistogramView::mouseReleaseEvent(QMouseEvent*) { model_.release(); }

void CHistogramView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  if (!model_.move(event->x(), event->y(), viewHeight_)) return;
  emitValues();
  update();
}

void CHistogramView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(20, 20, 20));
  if (!model_.hasBins()) return;
  const auto& bins = model_.bins();
  const int binCount = static_cast<int>(bins.size());
  const int bottom = HistogramModel::kTop + HistogramModel::kPlotHeight;
  // profile
  QPolygon profile;
  profile << QPoint(HistogramModel::kLeft, bottom);
  for (int i = 0; i < binCount; ++i) {
    const int x = static_cast<int>(HistogramModel::kLeft + static_cast<float>(i) / binCount * HistogramModel::kPlotWidth);
    const int y = static_cast<int>(bottom - static_cast<float>(bins[static_cast<std::size_t>(i)]) /
                                               std::max(model_.countScale(), 1) * HistogramModel::kPlotHeight);
    profile << QPoint(x, y);
  }
  profile << QPoint(HistogramModel::kLeft + HistogramModel::kPlotWidth, bottom);
  p.setPen(Qt::white);
  p.setBrush(Qt::white);
  p.drawPolygon(profile);
  // track and handles
  p.drawLine(HistogramModel::kLeft, HistogramModel::kTrackY, HistogramModel::kLeft + HistogramModel::kTrackWidth,
             HistogramModel::kTrackY);
  p.setPen(QColor(100, 100, 100));
  p.setBrush(QColor(100, 100, 100));
  for (float hx : {model_.lowX(), model_.highX()}) {
    const int x = static_cast<int>(std::clamp(hx, -1000.0f, 10000.0f) - HistogramModel::kHandleWidth / 2);
    const int y = HistogramModel::kTrackY - HistogramModel::kHandleHeight / 2;
    p.drawRect(x, y, HistogramModel::kHandleWidth - 1, HistogramModel::kHandleHeight - 1);
  }
  drawAxis(p);
  // markers
  if (!model_.markers().empty()) {
    p.setPen(QPen(QColor(0, 255, 0), 2));
    for (int m : model_.markers()) {
      // markers far outside the range are pinned to the plot's ends (no out-of-range float-to-int)
      const float offset = std::clamp(static_cast<float>(m) - model_.rangeMin(), -1.0f, static_cast<float>(binCount));
      const int x = static_cast<int>(HistogramModel::kLeft + static_cast<float>(static_cast<int>(offset)) / binCount *
                                                                 HistogramModel::kPlotWidth);
      p.drawLine(x, HistogramModel::kTrackY, x, 0);
    }
  }
}

void CHistogramView::drawAxis(QPainter& p) {
  // the intensity axis under the handles: ticks at round HU values, labelled where there is room
  const int axisY = HistogramModel::kTrackY + HistogramModel::kHandleHeight / 2 + 3;
  if (height() < axisY + 14) return;
  QFont font = p.font();
  font.setPointSize(7);
  p.setFont(font);
  p.setPen(QColor(170, 170, 170));
  p.drawLine(HistogramModel::kLeft, axisY, HistogramModel::kLeft + HistogramModel::kTrackWidth, axisY);
  const QFontMetrics m(font);
  int lastRight = -1000;
  for (int value : morvex::axisTicks(model_.rangeMin(), model_.rangeMax(), 6)) {
    const int x = static_cast<int>(std::lround(model_.xOf(static_cast<float>(value))));
    p.drawLine(x, axisY, x, axisY + 3);
    const QString text = QString::number(value);
    const int w = m.horizontalAdvance(text);
    const int left = std::clamp(x - w / 2, 0, width() - w);
    if (left <= lastRight + 4) continue;
    p.drawText(left, axisY + 4 + m.ascent(), text);
    lastRight = left + w;
  }
  p.drawText(QRect(0, axisY + 4, width() - 2, m.height()), Qt::AlignRight | Qt::AlignTop, tr("HU"));
}
