#include "view/cimage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "analysis/chistogram_view.h"
#include "app/data_files.h"
#include "view/division_overlay.h"
#include "view/fill_preview.h"
#include "view/slice_render.h"
#include "view/stroke_raster.h"
#include "workspace/morvex.h"

namespace {
// Name of the readout row of the liver and vessel labels drawn after a division.
const QString kNotDivided = QStringLiteral("not divided:");
}  // namespace

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
  if (w != imageWidth_ || h != imageHeight_) zoom_ = 1.0f, panX_ = panY_ = 0;  // zoom survives slice changes only
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
  layoutPicture();
  redraw(false);
}

void CImage::layoutPicture() {
  if (imageWidth_ <= 0 || imageHeight_ <= 0 || widgetWidth_ < 0 || widgetHeight_ < 0) return;
  const int w = widgetWidth_, h = widgetHeight_;
  fitScale_ = static_cast<float>(std::min(w, h)) / static_cast<float>(std::max(imageWidth_, imageHeight_));
  displayWidth_ = static_cast<int>(imageWidth_ * fitScale_ * zoom_);
  displayHeight_ = static_cast<int>(imageHeight_ * fitScale_ * zoom_);
  // the picture never leaves the view entirely: at least a quarter of the view stays covered
  const int maxPanX = std::max(0, (displayWidth_ + w) / 2 - w / 4), maxPanY = std::max(0, (displayHeight_ + h) / 2 - h / 4);
  panX_ = std::clamp(panX_, -maxPanX, maxPanX);
  panY_ = std::clamp(panY_, -maxPanY, maxPanY);
  originX_ = (w - displayWidth_) / 2 + panX_;
  originY_ = (h - displayHeight_) / 2 + panY_;
}

void CImage::zoomAt(const QPoint& widgetPos, float factor) {
  if (displayWidth_ <= 0 || displayHeight_ <= 0 || !(factor > 0.0f)) return;
  const float newZoom = std::clamp(zoom_ * factor, 1.0f, kMaxZoom);
  if (newZoom == zoom_) return;
  // the image point under the pointer before and after
  const double u = (widgetPos.x() - originX_) / static_cast<double>(displayWidth_);
  const double v = (widgetPos.y() - originY_) / static_cast<double>(displayHeight_);
  zoom_ = newZoom;
  if (zoom_ == 1.0f) {
    panX_ = panY_ = 0;
  } else {
    const int dw = static_cast<int>(imageWidth_ * fitScale_ * zoom_), dh = static_cast<int>(imageHeight_ * fitScale_ * zoom_);
    panX_ = static_cast<int>(std::lround(widgetPos.x() - u * dw - (widgetWidth_ - dw) / 2));
    panY_ = static_cast<int>(std::lround(widgetPos.y() - v * dh - (widgetHeight_ - dh) / 2));
  }
  layoutPicture();
  redraw(false);
}

void CImage::panBy(const QPoint& delta) {
  if (zoom_ == 1.0f && delta.isNull()) return;
  panX_ += delta.x();
  panY_ += delta.y();
  layoutPicture();
  redraw(false);
}

void CImage::fitToView() {
  zoom_ = 1.0f;
  panX_ = panY_ = 0;
  layoutPicture();
  redraw(false);
}

void CImage::renderShownImage() {
  if (displayWidth_ <= 0 || displayHeight_ <= 0) return;
  if (zoom_ == 1.0f) {
    // the fitted picture as designed: the whole canvas scaled smoothly
    shownImage_ = canvas_.scaled(displayWidth_, displayHeight_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    shownOrigin_ = QPoint(originX_, originY_);
    return;
  }
  // zoomed: only the visible part, each image pixel an exact square of the display's grid
  const QRect visible = QRect(originX_, originY_, displayWidth_, displayHeight_) & QRect(0, 0, widgetWidth_, widgetHeight_);
  if (visible.isEmpty()) {
    shownImage_ = QImage();
    return;
  }
  if (shownImage_.size() != visible.size() || shownImage_.format() != QImage::Format_RGB32)
    shownImage_ = QImage(visible.size(), QImage::Format_RGB32);
  QPainter p(&shownImage_);
  p.drawImage(QRectF(originX_ - visible.x(), originY_ - visible.y(), displayWidth_, displayHeight_), canvas_,
              QRectF(canvas_.rect()));
  shownOrigin_ = visible.topLeft();
}

void CImage::redraw(bool bDuringDrag) {
  if (!owner_ || displayBuffer_.empty()) return;
  const morvex::Study& study = owner_->study();
  const uint8_t* labels = study.labelImage(frameIndex_);
  const uint8_t* selection = study.selectionImage(frameIndex_);
  if (!labels || !selection || study.width(frameIndex_) != imageWidth_ || study.height(frameIndex_) != imageHeight_)
    return;
  // the division tool's lines move as a whole and the live-wire preview is redrawn from the base
  // on every move: their drags recompose the picture
  const morvex::CLiverDivider* divider = owner_->liverDivider();
  if (!bDuringDrag || (divider && divider->stage >= 1) || owner_->liveWire() || owner_->roiMode()) {
    morvex::OverlaySettings s;
    s.labels = &owner_->labelTable();
    s.currentLabel = owner_->currentLabel();
    s.opacity = owner_->opacity();
    s.outlineMode = owner_->outlineMode();
    morvex::composeSlice(displayBuffer_.data(), labels, selection, imageWidth_, imageHeight_, s,
                         reinterpret_cast<uint32_t*>(canvas_.bits()));
  }
  if (const std::vector<uint8_t>* fill = owner_->fillPreviewMask(frameIndex_))
    if (const morvex::LabelInfo* l = owner_->labelTable().byValue(owner_->fillPlan()->label))
      if (fill->size() == static_cast<std::size_t>(imageWidth_) * imageHeight_)
        drawFillPreview(reinterpret_cast<uint32_t*>(canvas_.bits()), fill->data(), imageWidth_, imageHeight_, l->r, l->g, l->b);
  drawLiveWire(bDuringDrag);
  drawToolOverlays(bDuringDrag);
  drawRoiOverlay(bDuringDrag);
  if (divider) drawDivisionOverlay(canvas_, *divider, frameIndex_, owner_->lineWidth());
  renderShownImage();
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
    // The circle covers the pixels a dot of this width covers at scale 1: centred on the hot spot
    // pixel for odd widths, on its top-left corner for even ones.
    const int size = std::max(owner_->brushSize(), 1);
    const int hot = size / 2 + 1;
    QPixmap pix(size + 2, size + 2);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setPen(Qt::yellow);
    p.drawEllipse(hot - size / 2, hot - size / 2, size - 1, size - 1);
    p.end();
    setCursor(QCursor(pix, hot, hot));
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
  if (!shownImage_.isNull()) p.drawImage(shownOrigin_, shownImage_);
  if (owner_ && owner_->threePlanesShown()) drawCrosshair(p);
  if (owner_ && displayWidth_ > 0 && imageWidth_ > 0 && imageHeight_ > 0) {
    // the active plane plan's cut through this slice,
    const QLineF cut = owner_->planCut(morvex::PlaneAxis::Axial);
    const double sx = displayWidth_ / static_cast<double>(imageWidth_), sy = displayHeight_ / static_cast<double>(imageHeight_);
    p.setPen(QPen(QColor(0, 230, 255), 2));
    if (!cut.isNull())
      p.drawLine(QPointF(originX_ + cut.x1() * sx, originY_ + cut.y1() * sy), QPointF(originX_ + cut.x2() * sx, originY_ + cut.y2() * sy));
    // or its key lines' cut, drawn whether or not the division tool is open
    for (QPolygonF piece : owner_->planKeyLineCut(morvex::PlaneAxis::Axial)) {
      for (QPointF& q : piece) q = QPointF(originX_ + q.x() * sx, originY_ + q.y() * sy);
      p.drawPolyline(piece);
    }
  }
  if (owner_ && owner_->displayAnnotation()) {
    drawReadout(p);
    drawCornerInfo(p);
    drawDivisionLegend(p);
  }
}

void CImage::drawReadout(QPainter& p) {
  const morvex::Frame* frame = owner_->study().frame(frameIndex_);
  if (!frame) return;
  const morvex::VolumeReadout r =
      morvex::computeVolumeReadout(frame->header.voxelVolumeMl(), &owner_->areaStatistics());
  const std::pair<const char*, float> rows[] = {{"Liver", r.liver}, {"Liver-Vessel", r.liverWithoutVessel},
                                                {"Right", r.right}, {"Right-Vessel", r.rightWithoutVessel},
                                                {"Left", r.left},   {"Left-Vessel", r.leftWithoutVessel},
                                                {"LeftLiver Rate", r.leftRate}};
  // a translucent panel keeps the text readable over bright anatomy
  p.fillRect(readoutPanel(), invert_ ? QColor(255, 255, 255, 170) : QColor(0, 0, 0, 170));
  p.setPen(invert_ ? QColor(0, 0, 0, 255) : QColor(255, 255, 255, 255));
  p.setFont(readoutFont());
  const ReadoutColumns c = readoutColumns();
  for (int i = 0; i < 7; ++i) {
    const int y = 10 + 25 * i;
    p.drawText(QRect(c.nameLeft, y, c.nameRight - c.nameLeft, 25), Qt::AlignLeft | Qt::AlignTop,
               QString::asprintf("area(%s):", rows[i].first));
    p.drawText(QRect(c.valueLeft, y, c.valueRight - c.valueLeft, 25), Qt::AlignRight | Qt::AlignTop,
               QString::asprintf(i == 6 ? "%0.1f(%%)" : "%0.1f(mL)", static_cast<double>(rows[i].second)));
  }
  // labels drawn after the division: not in the lobe figures above, so not silently missing either
  if (r.notDivided > 0) {
    const int y = 10 + 25 * 7;
    p.drawText(QRect(c.nameLeft, y, c.nameRight - c.nameLeft, 25), Qt::AlignLeft | Qt::AlignTop, kNotDivided);
    p.drawText(QRect(c.valueLeft, y, c.valueRight - c.valueLeft, 25), Qt::AlignRight | Qt::AlignTop,
               QString::asprintf("%0.1f(mL)", static_cast<double>(r.notDivided)));
  }
  // liver, vessels and tumours together, on a row of its own below that one
  if (r.wholeLiver > 0) {
    const int y = 10 + 25 * 8;
    p.drawText(QRect(c.nameLeft, y, c.nameRight - c.nameLeft, 25), Qt::AlignLeft | Qt::AlignTop, tr("area(Whole liver):"));
    p.drawText(QRect(c.valueLeft, y, c.valueRight - c.valueLeft, 25), Qt::AlignRight | Qt::AlignTop,
               QString::asprintf("%0.1f(mL)", static_cast<double>(r.wholeLiver)));
  }
  // the active resection plan's remnant
  const QString plan = owner_->planReadoutLine();
  if (!plan.isEmpty())
    p.drawText(QRect(c.nameLeft, 10 + 25 * 9, c.valueRight - c.nameLeft, 25), Qt::AlignLeft | Qt::AlignTop, plan);
}

// The coronal and sagittal planes through the crosshair, as a row and a column of the slice.
void CImage::drawCrosshair(QPainter& p) {
  if (displayWidth_ <= 0 || displayHeight_ <= 0 || imageWidth_ <= 0 || imageHeight_ <= 0) return;
  const QPoint c = owner_->crosshair();
  const double x = originX_ + (c.x() + 0.5) * displayWidth_ / imageWidth_;
  const double y = originY_ + (c.y() + 0.5) * displayHeight_ / imageHeight_;
  p.setPen(QPen(QColor(255, 220, 0, 160), 1));
  p.drawLine(QPointF(x, originY_), QPointF(x, originY_ + displayHeight_));
  p.drawLine(QPointF(originX_, y), QPointF(originX_ + displayWidth_, y));
}

QFont CImage::readoutFont() {
  QFont font;
  font.setPointSize(12);
  return font;
}

CImage::ReadoutColumns CImage::readoutColumns() const {
  // names left-aligned in a column as wide as the widest name, values right-aligned in a column
  // wide enough for "99999.9(mL)", a gap between them, the whole block 10 pixels from the right
  const QFontMetrics m(readoutFont());
  int names = 0;
  for (const char* name : {"Liver", "Liver-Vessel", "Right", "Right-Vessel", "Left", "Left-Vessel", "LeftLiver Rate"})
    names = std::max(names, m.horizontalAdvance(QString::asprintf("area(%s):", name)));
  names = std::max(names, m.horizontalAdvance(kNotDivided));
  names = std::max(names, m.horizontalAdvance(tr("area(Whole liver):")));
  const int values = m.horizontalAdvance("99999.9(mL)") + 2, gap = m.horizontalAdvance("  ");
  ReadoutColumns c;
  c.valueRight = widgetWidth_ - 10;
  c.valueLeft = c.valueRight - values;
  c.nameRight = c.valueLeft - gap;
  c.nameLeft = c.nameRight - names - 2;
  return c;
}

QPoint CImage::toImage(const QPoint& e) const {
  if (displayWidth_ <= 0 || displayHeight_ <= 0) return QPoint(-1, -1);
  // image pixel i covers widget [origin + i * s, origin + (i + 1) * s); the widget pixel's centre decides
  const double ix = std::floor((e.x() + 0.5 - originX_) * imageWidth_ / static_cast<double>(displayWidth_));
  const double iy = std::floor((e.y() + 0.5 - originY_) * imageHeight_ / static_cast<double>(displayHeight_));
  return QPoint(static_cast<int>(std::clamp(ix, -1e6, 1e6)), static_cast<int>(std::clamp(iy, -1e6, 1e6)));
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
  // middle drag, or a left drag with Space held, pans the picture (no tool sees it)
  if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && owner_->spaceHeld())) {
    panning_ = true;
    panLast_ = event->pos();
    return;
  }
  const QPoint p = toImage(event->pos());
  // choosing the side a resection plan removes takes the click before any tool
  if (event->button() == Qt::LeftButton && insideImage(p) && owner_->planSideClick(frameIndex_, p)) return;
  // with the three planes shown, Shift (or a left press without an editing tool) moves their crosshair
  if (event->button() == Qt::LeftButton && owner_->threePlanesShown() && insideImage(p) &&
      owner_->planeGesture(event->modifiers()) == Morvex::PlaneGesture::Navigate) {
    owner_->moveCrosshair(morvex::PlaneAxis::Axial, p);
    navigating_ = (event->modifiers() & Qt::ShiftModifier) != 0;
    if (navigating_) return;
  }
  // live-wire clicks arrive with the release; the latch follows the tool at once, so a press right
  // after another tool was chosen is not swallowed
  liveWireLatch_ = owner_->liveWireSelected();
  if (liveWireLatch_) return;
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
    else if (owner_->liverDivider())
      owner_->dividerPress(frameIndex_, p);
  } else if (event->button() == Qt::RightButton) {
    rightHeld_ = true;
  }
}

void CImage::mouseMoveEvent(QMouseEvent* event) {
  if (!owner_) return;
  if (panning_) {
    panBy(event->pos() - panLast_);
    panLast_ = event->pos();
    return;
  }
  const QPoint p = toImage(event->pos());
  if (navigating_) {
    if (insideImage(p)) owner_->moveCrosshair(morvex::PlaneAxis::Axial, p);
    return;
  }
  const ToolMode mode = owner_->toolMode();
  if (insideImage(p)) {
    owner_->setActiveView(this);
    currentPoint_ = p;
    if (leftHeld_ || rightHeld_) {
      stroke_.append(p);
      if (!owner_->liverDivider()) redraw(true);
    }
    if (owner_->liverDivider() && owner_->dividerMove(frameIndex_, p, leftHeld_)) redraw(true);
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
  if (panning_ && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
    panning_ = false;
    return;
  }
  if (navigating_ && event->button() == Qt::LeftButton) {
    navigating_ = false;
    return;
  }
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
    // the division tool also hears releases outside the image: they end a drag
    if (owner_->liverDivider()) {
      owner_->dividerRelease(frameIndex_, p, insideImage(p));
      stroke_.clear();
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
  if (event->modifiers() & Qt::ControlModifier) {  // Ctrl + wheel zooms about the pointer
    if (event->angleDelta().y() != 0) zoomAt(event->position().toPoint(), event->angleDelta().y() > 0 ? 1.25f : 0.8f);
    return;
  }
  // steps add up until the event loop comes round: a fast wheel shows its latest slice at once
  if (pendingWheelSteps_ == 0) QTimer::singleShot(0, this, &CImage::showPendingWheelSteps);
  pendingWheelSteps_ += event->angleDelta().y() <= 0 ? 1 : -1;
}

void CImage::selectLayer(int nLayerIdx) {
  if (owner_) owner_->moveObjectToLayer(currentPoint_, nLayerIdx);
}
