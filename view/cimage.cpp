#include "view/cimage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QPixmap>
#include <algorithm>

#include "analysis/chistogram_view.h"
#include "app/data_files.h"
#include "view/slice_render.h"
#include "view/stroke_raster.h"
#include "workspace/morvex.h"

CImage::CImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_MouseTracking);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setBrush(QPalette::All, QPalette::Window, Qt::black);
  setPalette(pal);
  setStyleSheet("background-color:black");
}

CImage::~CImage() { clearView(); }

void CImage::attachFrame(Morvex* owner) {
  owner_ = owner;
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, &CImage::showContextMenu, Qt::UniqueConnection);
  frameIndex_ = owner->currentFrame();
  const morvex::Study& study = owner->study();
  const int w = study.width(frameIndex_), h = study.height(frameIndex_);
  if (w != canvas_.width() || h != canvas_.height()) canvas_ = QImage(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
  imageWidth_ = w;
  imageHeight_ = h;
  displayBuffer_.assign(static_cast<std::size_t>(std::max(w, 0)) * static_cast<std::size_t>(std::max(h, 0)), 0);
  if (const CHistogramView* histogram = owner->displayHistogram())
    setWindow(static_cast<int>(histogram->lowValue()), static_cast<int>(histogram->highValue()));
  leftHeld_ = rightHeld_ = false;
}

void CImage::setWindow(int min, int max) {
  if (!owner_) return;
  const int16_t* intensities = owner_->study().intensities(frameIndex_);
  if (!intensities || displayBuffer_.empty()) return;
  morvex::windowIntensities(intensities, displayBuffer_.size(), min, max, invert_, displayBuffer_.data());
  windowWidth_ = min - max;
  windowLevel_ = (min + max) / 2;
}

void CImage::invertDisplayBuffer() {
  for (uint8_t& b : displayBuffer_) b = static_cast<uint8_t>(255 - b);
}

void CImage::setDisplaySize(int w, int h) {
  setMaximumSize(std::max(w, 0), std::max(h, 0));
  widgetWidth_ = w;
  widgetHeight_ = h;
  if (imageWidth_ > 0 && imageHeight_ > 0) {
    const float s = static_cast<float>(std::min(w, h)) / static_cast<float>(std::max(imageWidth_, imageHeight_));
    displayWidth_ = static_cast<int>(imageWidth_ * s * zoom_);
    displayHeight_ = static_cast<int>(imageHeight_ * s * zoom_);
    originX_ = (w - displayWidth_) / 2 + panX_;
    originY_ = (h - displayHeight_) / 2 + panY_;
  }
  redraw(false);
}

void CImage::redraw(bool bDuringDrag) {
  if (!owner_ || displayBuffer_.empty()) return;
  const morvex::Study& study = owner_->study();
  const uint8_t* labels = study.labelImage(frameIndex_);
  const uint8_t* selection = study.selectionImage(frameIndex_);
  if (!labels || !selection || study.width(frameIndex_) != imageWidth_ || study.height(frameIndex_) != imageHeight_)
    return;
  // the live-wire preview is redrawn from the base on every move
  if (!bDuringDrag || owner_->liveWire()) {
    morvex::OverlaySettings s;
    s.labels = &owner_->labelTable();
    s.currentLabel = owner_->currentLabel();
    s.opacity = owner_->opacity();
    s.outlineMode = owner_->outlineMode();
    morvex::composeSlice(displayBuffer_.data(), labels, selection, imageWidth_, imageHeight_, s,
                         reinterpret_cast<uint32_t*>(canvas_.bits()));
  }
  drawLiveWire(bDuringDrag);
  drawToolOverlays(bDuringDrag);
  if (displayWidth_ > 0 && displayHeight_ > 0)
    shownImage_ = canvas_.scaled(displayWidth_, displayHeight_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  repaint();
}

void CImage::setCursorShape(bool bChangeShape) {
  const ToolMode mode = owner_ ? owner_->toolMode() : ToolMode::NoMode;
  if (!bChangeShape || !owner_ ||
      (mode != ToolMode::BrushMode && mode != ToolMode::EraserMode && mode != ToolMode::CutMode &&
       mode != ToolMode::AddMode)) {
    setCursor(Qt::ArrowCursor);
    return;
  }
  if (mode == ToolMode::BrushMode || mode == ToolMode::EraserMode) {
    const int size = owner_->brushSize();
    QPixmap pix(size + 1, size + 1);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setPen(Qt::yellow);
    p.drawEllipse(0, 0, size - 1, size - 1);
    p.end();
    setCursor(QCursor(pix, (size + 1) / 2, (size + 1) / 2));
    return;
  }
  const int w = owner_->lineWidth();
  const QImage icon = QImage(morvex::dataFilePath(mode == ToolMode::CutMode ? "images/scissor2.png" : "images/brush4.png"))
                          .convertToFormat(QImage::Format_ARGB32)
                          .scaled(30, 30);
  QImage img(w + 31, w + 31, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  if (!icon.isNull()) p.drawImage(2 * w, 0, icon);
  p.setPen(Qt::yellow);
  p.drawEllipse(0, 30, w - 1, w - 1);
  p.end();
  setCursor(QCursor(QPixmap::fromImage(img), w, w + 30));
}

void CImage::copyDisplayBuffer(const unsigned char* src, int w, int h) {
  if (!src || w != imageWidth_ || h != imageHeight_ || displayBuffer_.empty()) return;
  std::copy(src, src + displayBuffer_.size(), displayBuffer_.begin());
}

void CImage::clearView() {
  displayBuffer_.clear();
  stroke_.clear();
  canvas_.fill(Qt::transparent);
  shownImage_.fill(Qt::transparent);
}

void CImage::showContextMenu(const QPoint&) {}

void CImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(0, 0, widgetWidth_, widgetHeight_, QColor(0, 0, 0, 255));
  if (!shownImage_.isNull()) p.drawImage(originX_, originY_, shownImage_);
  if (owner_ && owner_->displayAnnotation()) drawReadout(p);
}

void CImage::drawReadout(QPainter& p) {
  const morvex::Frame* frame = owner_->study().frame(frameIndex_);
  if (!frame) return;
  const morvex::VolumeReadout r =
      morvex::computeVolumeReadout(frame->header.pixelSpacing, frame->header.sliceThickness, &owner_->areaStatistics());
  const std::pair<const char*, float> rows[] = {{"Liver", r.liver}, {"Liver-Vessel", r.liverWithoutVessel},
                                                {"Right", r.right}, {"Right-Vessel", r.rightWithoutVessel},
                                                {"Left", r.left},   {"Left-Vessel", r.leftWithoutVessel},
                                                {"LeftLiver Rate", r.leftRate}};
  p.setPen(invert_ ? QColor(0, 0, 0, 255) : QColor(255, 255, 255, 255));
  QFont font;
  font.setPointSize(12);
  p.setFont(font);
  const int W = widgetWidth_;
  for (int i = 0; i < 7; ++i) {
    const int y = 10 + 25 * i;
    const int bottom = y + 3000 * (i + 1);
    p.drawText(QRect(QPoint(W - 240, y), QPoint(W - 10, bottom)), Qt::AlignLeft,
               QString::asprintf("area(%s):\n", rows[i].first));
    p.drawText(QRect(QPoint(W - 190, y), QPoint(W - 10, bottom)), Qt::AlignRight,
               QString::asprintf(i == 6 ? "%0.1f(%%)\n" : "%0.1f(mL)\n", static_cast<double>(rows[i].second)));
  }
}

QPoint CImage::toImage(const QPoint& e) const {
  if (displayWidth_ <= 0 || displayHeight_ <= 0) return QPoint(-1, -1);
  const int ix = static_cast<int>(static_cast<float>(e.x() - originX_) / static_cast<float>(displayWidth_) *
                                      static_cast<float>(imageWidth_) + 0.5f);
  const int iy = static_cast<int>(static_cast<float>(e.y() - originY_) / static_cast<float>(displayHeight_) *
                                      static_cast<float>(imageHeight_) + 0.5f);
  return QPoint(ix, iy);
}

bool CImage::insideImage(const QPoint& p) const {
  return p.x() >= 0 && p.y() >= 0 && p.x() < imageWidth_ && p.y() < imageHeight_;
}

void CImage::drawToolOverlays(bool bDuringDrag) {
  if (!bDuringDrag || !owner_ || stroke_.isEmpty()) return;
  const ToolMode mode = owner_->toolMode();
  // cut / add: the line drawn so far
  if ((mode == ToolMode::CutMode || mode == ToolMode::AddMode) && leftHeld_ && stroke_.size() > 1) {
    QPainter p(&canvas_);
    p.setPen(QPen(Qt::blue, owner_->lineWidth()));
    for (int i = 0; i + 1 < stroke_.size(); ++i) p.drawLine(stroke_[i], stroke_[i + 1]);
  }
  // brush / eraser: the newest segment, accumulating on the canvas kept from the press
  if ((mode == ToolMode::BrushMode || mode == ToolMode::EraserMode) && displayWidth_ > 0) {
    const int pen = owner_->brushSize() * imageWidth_ / displayWidth_;
    QVector<QPoint> segment;
    if (stroke_.size() == 1)
      segment << stroke_[0];
    else
      segment << stroke_[stroke_.size() - 2] << stroke_.last();
    const std::vector<uint8_t> mask = morvex::rasteriseStroke(segment, imageWidth_, imageHeight_, pen);
    for (int y = 0; y < imageHeight_; ++y) {
      QRgb* row = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
      for (int x = 0; x < imageWidth_; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * imageWidth_ + x;
        if (!mask[i] || !owner_->isInROIRange(x, y)) continue;
        const int d = displayBuffer_[i];
        row[x] = mode == ToolMode::BrushMode ? qRgb(255, 0, 0) : qRgb(d, d, d);
      }
    }
  }
}

// Live wire: the drawn segments in blue, the path to the pointer in green (during moves), the seeds
// as black squares.
void CImage::drawLiveWire(bool bDuringDrag) {
  const morvex::LiveWire* wire = owner_->liveWire();
  if (!wire || !owner_->liveWireSelected() || wire->closed()) return;
  QPainter p(&canvas_);
  auto polyline = [&p](const std::vector<morvex::ImagePoint>& points) {
    for (std::size_t i = 1; i < points.size(); ++i)
      p.drawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
  };
  p.setPen(QPen(Qt::blue, owner_->lineWidth()));
  for (const std::vector<morvex::ImagePoint>& segment : wire->segments()) polyline(segment);
  if (bDuringDrag) {
    p.setPen(QPen(Qt::green, owner_->lineWidth()));
    polyline(wire->tracePath(currentPoint_.x(), currentPoint_.y()));
  }
  for (const morvex::ImagePoint& seed : wire->seeds()) p.fillRect(seed.x - 3, seed.y - 3, 6, 6, Qt::black);
}

void CImage::adjustWindowByDrag() {
  CHistogramView* h = owner_->displayHistogram();
  if (!h || stroke_.size() < 2) return;
  const QPoint prev = stroke_[stroke_.size() - 2];
  const int dx = (currentPoint_.x() > prev.x()) - (currentPoint_.x() < prev.x());
  const int dy = (currentPoint_.y() > prev.y()) - (currentPoint_.y() < prev.y());
  const float L = h->lowValue(), U = h->highValue();
  const int step = static_cast<int>((h->rangeMax() - h->rangeMin()) * 0.005f);
  h->setPreset(4);
  h->setValues(static_cast<int>((L + U) / 2) - 2 * step * dy, step * dx + static_cast<int>(U - L));
}

void CImage::mousePressEvent(QMouseEvent* event) {
  if (!owner_) return;
  // live-wire clicks arrive with the release; the latch follows the tool at once, so a press right
  // after another tool was chosen is not swallowed
  liveWireLatch_ = owner_->liveWireSelected();
  if (liveWireLatch_) return;
  const QPoint p = toImage(event->pos());
  if (event->button() == Qt::LeftButton) {
    leftHeld_ = true;
    pressPoint_ = p;
    if (!insideImage(p)) return;
    owner_->setActiveView(this);
    currentPoint_ = p;
    // a left press starts a new stroke (the selection tools seed at this press)
    if (!owner_->liveWireSelected()) stroke_.clear();
    stroke_.append(p);
    const int ctrl = owner_->ctrlHeld() ? 1 : 0;
    if (owner_->toolMode() == ToolMode::RegionGrowingMode)
      owner_->selectObject(1, ctrl);
    else if (owner_->toolMode() == ToolMode::BodyRegionGrowingMode)
      owner_->selectObject(3, ctrl);
  } else if (event->button() == Qt::RightButton) {
    rightHeld_ = true;
  }
}

void CImage::mouseMoveEvent(QMouseEvent* event) {
  if (!owner_) return;
  const QPoint p = toImage(event->pos());
  const ToolMode mode = owner_->toolMode();
  if (insideImage(p)) {
    owner_->setActiveView(this);
    currentPoint_ = p;
    if (leftHeld_ || rightHeld_) {
      stroke_.append(p);
      redraw(true);
    }
    if (owner_->adjustIntensityMode() && leftHeld_ && stroke_.size() >= 2) adjustWindowByDrag();
    if (mode == ToolMode::LiveWireMode && owner_->liveWireSelected()) {
      owner_->mouseEvent_LiveWire(event, false, false, true);
      if (owner_->liveWire()) redraw(true);
    }
  } else {
    if (leftHeld_) {
      // leaving the image applies the stroke painted so far
      if (mode == ToolMode::BrushMode) owner_->selectObject(2, owner_->ctrlHeld() ? 1 : 0);
      if (mode == ToolMode::EraserMode) owner_->deleteObject();
    }
    if (!owner_->liveWireSelected()) {
      stroke_.clear();
      leftHeld_ = rightHeld_ = false;
    }
  }
  liveWireLatch_ = owner_->liveWireSelected();
}

void CImage::mouseReleaseEvent(QMouseEvent* event) {
  if (!owner_) return;
  const QPoint p = toImage(event->pos());
  const ToolMode mode = owner_->toolMode();
  if (event->button() == Qt::LeftButton) {
    leftHeld_ = false;
    if (insideImage(p)) {
      owner_->setActiveView(this);
      currentPoint_ = p;
      if (mode == ToolMode::BrushMode) {
        owner_->selectObject(2, owner_->ctrlHeld() ? 1 : 0);
        stroke_.clear();
      } else if (mode == ToolMode::EraserMode) {
        owner_->deleteObject();
        stroke_.clear();
      } else if (mode == ToolMode::AddMode) {
        owner_->refineObject(1);
        stroke_.clear();
      } else if (mode == ToolMode::CutMode) {
        owner_->refineObject(2);
        stroke_.clear();
      } else if (owner_->roiMode()) {
        const QPoint first = stroke_.isEmpty() ? p : stroke_.first();
        owner_->setROIRegion(first, p);
        stroke_.clear();
      }
    }
  } else if (event->button() == Qt::RightButton) {
    rightHeld_ = false;
    if (insideImage(p) && mode == ToolMode::CutMode) owner_->deleteObjectAt(p);
  }
  if (owner_->liveWireSelected() && insideImage(p)) {
    owner_->setActiveView(this);
    currentPoint_ = p;
    owner_->mouseEvent_LiveWire(event, true, false, false);
  }
  liveWireLatch_ = owner_->liveWireSelected();
  redraw(false);
}

// The second press of a double click is a press like any other.
void CImage::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void CImage::wheelEvent(QWheelEvent* event) {
  if (!owner_ || leftHeld_ || rightHeld_) return;
  owner_->showNeighbourFrame(event->angleDelta().y() <= 0 ? 1 : -1);
}

void CImage::selectLayer(int nLayerIdx) {
  if (owner_) owner_->moveObjectToLayer(currentPoint_, nLayerIdx);
}
