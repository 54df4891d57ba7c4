#pragma once
// The image area's panes: the axial slice view alone ("One"), or large beside the coronal and
// sagittal planes ("1 + 2": stacked on its right, or side by side below it in a tall area). A fourth pane (any widget) turns "1 + 2" into a
// 2 x 2 grid: axial and coronal on top, sagittal and the extra pane below. Panes are children
// placed by hand; the owner sizes the pictures inside them from paneRect after layoutChanged.

#include <QPointer>
#include <QRect>
#include <QWidget>

class CViewLayout : public QWidget {
  Q_OBJECT

 public:
  enum class Mode { One, OnePlusTwo };
  enum Pane { Axial = 0, Coronal = 1, Sagittal = 2, Extra = 3 };
  static constexpr int kGap = 2;  // pixels between panes

  explicit CViewLayout(QWidget* parent = nullptr);

  // Puts a widget into a pane (it becomes a child of this layout); null empties the pane. The
  // widget that was there before is left to its owner (hidden, still a child).
  void setPane(Pane pane, QWidget* widget);
  QWidget* pane(Pane pane) const { return panes_[pane]; }
  void setExtraPane(QWidget* widget) { setPane(Extra, widget); }
  bool hasExtraPane() const { return !panes_[Extra].isNull(); }

  void setMode(Mode mode);
  Mode mode() const { return mode_; }

  // Where a pane lies in an area of the given size; empty when the mode does not show it.
  static QRect paneRect(Pane pane, Mode mode, const QSize& area, bool withExtra);
  QRect paneRect(Pane pane) const { return paneRect(pane, mode_, size(), hasExtraPane()); }

 signals:
  // The panes moved or changed size (a resize, a mode or a pane change).
  void layoutChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void relayout();

  QPointer<QWidget> panes_[4];
  Mode mode_ = Mode::One;
};
