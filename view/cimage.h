#pragma once
// The slice view: the current frame windowed to grey, its labels blended in colour, the working
// selection in red, the tools' transient drawings and the volume readout. Composition lives in
// view/slice_render; this widget keeps the buffers, scales the picture and paints it.

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <vector>

class Morvex;

class CImage : public QWidget {
  Q_OBJECT

 public:
  explicit CImage(QWidget* parent = nullptr);
  ~CImage() override;

  // Binds the view to the owner's current frame and windows it from the display histogram.
  void attachFrame(Morvex* owner);
  // Recomputes the grey buffer from the frame's intensities with the window min..max.
  void setWindow(int min, int max);
  // Fits the picture into w x h widget pixels (centred) and redraws.
  void setDisplaySize(int w, int h);
  // Recomposes the canvas (base, labels, selection; then tool overlays), scales it and repaints.
  void redraw(bool bDuringDrag);
  void setCursorShape(bool bChangeShape);
  // Shows a processed grey picture of the frame's size instead of the windowed intensities.
  void copyDisplayBuffer(const unsigned char* src, int w, int h);
  void clearView();

  void setInvert(bool invert) { invert_ = invert; }
  bool invert() const { return invert_; }
  // Inverts the grey buffer in place (b -> 255 - b).
  void invertDisplayBuffer();

  int frameIndex() const { return frameIndex_; }
  const QImage& canvas() const { return canvas_; }
  const QImage& shownImage() const { return shownImage_; }
  QPoint origin() const { return QPoint(originX_, originY_); }
  QSize displaySize() const { return QSize(displayWidth_, displayHeight_); }
  int windowWidth() const { return windowWidth_; }
  int windowLevel() const { return windowLevel_; }
  const std::vector<uint8_t>& displayBuffer() const { return displayBuffer_; }
  const QVector<QPoint>& stroke() const { return stroke_; }
  QPoint currentPoint() const { return currentPoint_; }
  bool leftHeld() const { return leftHeld_; }
  // Image pixel under a widget position (may lie outside the image): the pixel whose displayed
  // square holds the centre of the widget pixel, at every zoom and pan.
  QPoint toImage(const QPoint& widgetPos) const;

  // Zoom and pan on top of the fitted picture: zoom 1 is the fit, at most 16. zoomAt keeps the
  // image point under widgetPos where it is; panBy moves the picture by widget pixels.
  static constexpr float kMaxZoom = 16.0f;
  float zoom() const { return zoom_; }
  void zoomAt(const QPoint& widgetPos, float factor);
  void panBy(const QPoint& delta);
  void fitToView();
  bool insideImage(const QPoint& imagePos) const;

  // The readout's two columns in widget x: names (left-aligned) and values (right-aligned).
  struct ReadoutColumns {
    int nameLeft = 0, nameRight = 0, valueLeft = 0, valueRight = 0;
  };
  ReadoutColumns readoutColumns() const;
  static QFont readoutFont();
  // The annotations drawn over the picture (view_annotations.cpp), in widget pixels: the dark
  // panel behind the readout, the corner information (slice k / N with position, W / L, zoom)
  // and the legend of the division colours (empty when not shown).
  QRect readoutPanel() const;
  QRect cornerInfoPanel() const;
  QRect legendPanel() const;
  QStringList cornerInfoLines() const;
  // Wheel steps not yet shown: they add up and are shown at once from the event loop.
  int pendingWheelSteps() const { return pendingWheelSteps_; }

 public slots:
  // A context-menu request has no visible effect.
  void showContextMenu(const QPoint& pos);
  // Moves the connected object under the current point to layer nLayerIdx (-1 deletes it).
  void selectLayer(int nLayerIdx);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void drawReadout(QPainter& painter);
  void drawCornerInfo(QPainter& painter);
  void drawDivisionLegend(QPainter& painter);
  // The region of interest: the rectangle being dragged, or the one set.
  void drawRoiOverlay(bool bDuringDrag);
  void showPendingWheelSteps();
  int readoutRows() const;
  QList<QPair<QColor, QString>> legendEntries() const;
  // The fitted size times the zoom, and the origin (centred, then panned within bounds).
  void layoutPicture();
  // The part of the picture inside the widget, scaled: smooth at the fit, pixel squares when zoomed.
  void renderShownImage();
  void drawToolOverlays(bool bDuringDrag);
  void drawLiveWire(bool bDuringDrag);
  void adjustWindowByDrag();

  Morvex* owner_ = nullptr;
  int widgetWidth_ = -1, widgetHeight_ = -1;
  int originX_ = 0, originY_ = 0;
  float zoom_ = 1.0f;
  int panX_ = 0, panY_ = 0;
  float fitScale_ = 1.0f;
  QImage shownImage_;
  int displayWidth_ = -1, displayHeight_ = -1;
  int frameIndex_ = -1;
  QImage canvas_;
  std::vector<uint8_t> displayBuffer_;
  int imageWidth_ = -1, imageHeight_ = -1;
  int windowWidth_ = 0, windowLevel_ = 0;
  bool invert_ = false;
  QPoint currentPoint_, pressPoint_;
  QVector<QPoint> stroke_;
  bool leftHeld_ = false, rightHeld_ = false;
  bool liveWireLatch_ = false;
  bool panning_ = false;
  bool navigating_ = false;  // a Shift drag moving the crosshair of the three planes
  void drawCrosshair(QPainter& painter);
  QPoint panLast_;
  QPoint shownOrigin_;  // widget position of shownImage_
  int pendingWheelSteps_ = 0;
};
