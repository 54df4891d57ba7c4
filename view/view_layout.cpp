#include "view/view_layout.h"

#include <QPalette>

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
  // axial on two thirds of the width, the two planes stacked in the last third
  const int left = (2 * w) / 3, right = w - left - kGap, top = (h - kGap) / 2;
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
