#include "view/cimage.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "analysis/chistogram_view.h"
#include "app/data_files.h"
#include "view/slice_render.h"
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
  if (!bDuringDrag) {
    morvex::OverlaySettings s;
    s.labels = &owner_->labelTable();
    s.currentLabel = owner_->currentLabel();
    s.opacity = owner_->opacity();
    s.outlineMode = owner_->outlineMode();
    morvex::composeSlice(displayBuffer_.data(), labels, selection, imageWidth_, imageHeight_, s,
                         reinterpret_cast<uint32_t*>(canvas_.bits()));
  }
  // Tool overlays (strokes, polygons, contours, division lines) are drawn here by their tools.
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
