#pragma once
// The slice view: the current frame windowed to grey, its labels blended in colour, the working
// selection in red, the tools' transient drawings and the volume readout. Composition lives in
// view/slice_render; this widget keeps the buffers, scales the picture and paints it.

#include <QImage>
#include <QPoint>
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
  // Image pixel under a widget position (may lie outside the image).
  QPoint toImage(const QPoint& widgetPos) const;
  bool insideImage(const QPoint& imagePos) const;

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
  void drawToolOverlays(bool bDuringDrag);
  void drawLiveWire(bool bDuringDrag);
  void adjustWindowByDrag();

  Morvex* owner_ = nullptr;
  int widgetWidth_ = -1, widgetHeight_ = -1;
  int originX_ = 0, originY_ = 0;
  float zoom_ = 1.0f;
  int panX_ = 0, panY_ = 0;
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
};
