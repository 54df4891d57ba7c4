#pragma once
// A coronal or sagittal view of the shown series. The picture comes from morvex::renderPlane with
// the axial view's window and overlays; this widget only scales it (rows by the plane's row
// scale), keeps its own zoom and pan, draws the crosshair of the other two planes, and turns
// pointer events into calls on the main window in plane coordinates.

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <vector>

#include "view/edit_ops.h"
#include "view/plane_reformat.h"

class Morvex;

class CPlaneView : public QWidget {
  Q_OBJECT

 public:
  explicit CPlaneView(morvex::PlaneAxis axis, QWidget* parent = nullptr);

  void attach(Morvex* owner) { owner_ = owner; }
  morvex::PlaneAxis axis() const { return axis_; }
  // The widget's drawing area; the picture is fitted into it (centred) and redrawn.
  void setDisplaySize(int w, int h);
  // Recomposes the plane from the frames and repaints (nothing while the owner hides the planes).
  void redraw();

  // Zoom and pan as in the axial view: zoom 1 is the fit, at most 16, about the pointer.
  static constexpr float kMaxZoom = 16.0f;
  float zoom() const { return zoom_; }
  void zoomAt(const QPoint& widgetPos, float factor);
  void panBy(const QPoint& delta);
  void fitToView();

  // The plane pixel under a widget position (may lie outside the plane), and the widget position
  // of a point in plane pixels (pixel centres at +0.5).
  QPoint toPlane(const QPoint& widgetPos) const;
  QPointF toWidget(const QPointF& planePos) const;
  bool insidePlane(const QPoint& p) const { return p.x() >= 0 && p.y() >= 0 && p.x() < plane_.width && p.y() < plane_.height; }
  // The picture's rectangle in widget coordinates (zoomed and panned).
  QRect pictureRect() const { return QRect(originX_, originY_, displayWidth_, displayHeight_); }
  const QImage& canvas() const { return canvas_; }
  const std::vector<morvex::ImagePoint>& stroke() const { return stroke_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void layoutPicture();
  // Pen width in plane columns for the owner's brush size at this view's scale.
  double penColumns(bool eraser) const;
  void previewStroke();

  Morvex* owner_ = nullptr;
  morvex::PlaneAxis axis_;
  morvex::PlaneSize plane_;
  QImage canvas_;
  int widgetWidth_ = 0, widgetHeight_ = 0;
  int originX_ = 0, originY_ = 0, displayWidth_ = 0, displayHeight_ = 0;
  float zoom_ = 1.0f;
  int panX_ = 0, panY_ = 0;
  bool panning_ = false, navigating_ = false, stroking_ = false, lining_ = false;
  QPoint lineFrom_, lineTo_;  // a plan's cut being dragged, plane pixels
  QPoint panLast_;
  std::vector<morvex::ImagePoint> stroke_;
};
