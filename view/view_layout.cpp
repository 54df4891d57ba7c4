#include "view/view_layout.h"

#include <QPalette>
#include <algorithm>

CViewLayout::CViewLayout(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setBrush(QPalette::All, QPalette::Window, Qt::black);
  setPalette(pal);
}

void CViewLayout::setPane(Pane pane, QWidget* widget) {
  if (panes_[pane] == widget) return;
  if (panes_[pane]) panes_[pane]->hide();
  panes_[pane] = widget;
  if (widget) widget->setParent(this);
  relayout();
}

void CViewLayout::setMode(Mode mode) {
  if (mode_ == mode) return;
  mode_ = mode;
  relayout();
}

QRect CViewLayout::paneRect(Pane pane, Mode mode, const QSize& area, bool withExtra) {
  const int w = area.width(), h = area.height();
  if (mode == Mode::One) return pane == Axial ? QRect(0, 0, w, h) : QRect();
  if (withExtra) {
    // 2 x 2: axial | coronal over sagittal | extra
    const int left = (w - kGap) / 2, top = (h - kGap) / 2;
    const int right = w - left - kGap, bottom = h - top - kGap;
    switch (pane) {
      case Axial: return QRect(0, 0, left, top);
      case Coronal: return QRect(left + kGap, 0, right, top);
      case Sagittal: return QRect(0, top + kGap, left, bottom);
      case Extra: return QRect(left + kGap, top + kGap, right, bottom);
    }
    return QRect();
  }
  // axial on two thirds of the area, the planes beside it: stacked on its right, or side by side
  // below it when that leaves the (square) slice more room, as in a tall image area
  const int left = (2 * w) / 3, right = w - left - kGap, top = (h - kGap) / 2;
  if (std::min(w, (2 * h) / 3) > std::min(left, h)) {
    const int upper = (2 * h) / 3, lower = h - upper - kGap, half = (w - kGap) / 2;
    switch (pane) {
      case Axial: return QRect(0, 0, w, upper);
      case Coronal: return QRect(0, upper + kGap, half, lower);
      case Sagittal: return QRect(half + kGap, upper + kGap, w - half - kGap, lower);
      case Extra: return QRect();
    }
  }
  switch (pane) {
    case Axial: return QRect(0, 0, left, h);
    case Coronal: return QRect(left + kGap, 0, right, top);
    case Sagittal: return QRect(left + kGap, top + kGap, right, h - top - kGap);
    case Extra: return QRect();
  }
  return QRect();
}

void CViewLayout::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void CViewLayout::relayout() {
  for (int p = Axial; p <= Extra; ++p) {
    QWidget* widget = panes_[p];
    if (!widget) continue;
    const QRect r = paneRect(static_cast<Pane>(p));
    if (r.isEmpty()) {
      widget->hide();
      continue;
    }
    widget->setMaximumSize(r.size());
    widget->setGeometry(r);
    widget->show();
  }
  emit layoutChanged();
}
