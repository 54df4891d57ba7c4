// What the slice view draws over the picture besides the tools: the panel behind the volume
// readout, the corner information, the legend of the division colours, the region of interest;
// and the coalesced wheel steps.

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "segmentation/liver_divider.h"
#include "study/label_table.h"
#include "view/cimage.h"
#include "view/slice_render.h"
#include "workspace/morvex.h"

namespace {
constexpr int kMargin = 10, kPadding = 6, kLineHeight = 20, kSwatch = 12;
const QColor kPanelDark(0, 0, 0, 170), kPanelLight(255, 255, 255, 170);

QFont cornerFont() {
  QFont font;
  font.setPointSize(10);
  return font;
}
}  // namespace

int CImage::readoutRows() const {
  if (!owner_) return 7;
  const morvex::Frame* frame = owner_->study().frame(frameIndex_);
  if (!frame) return 7;
  const morvex::VolumeReadout r = morvex::computeVolumeReadout(frame->header.voxelVolumeMl(), &owner_->areaStatistics());
  // fixed rows below the seven figures: not divided (7), whole liver (8), the active plan (9)
  if (!owner_->planReadoutLine().isEmpty()) return 10;
  if (r.wholeLiver > 0) return 9;
  return r.notDivided > 0 ? 8 : 7;
}

QRect CImage::readoutPanel() const {
  const ReadoutColumns c = readoutColumns();
  return QRect(QPoint(c.nameLeft - kPadding, kMargin - 4), QPoint(c.valueRight + kPadding - 1, kMargin + 25 * readoutRows() - 1));
}

QStringList CImage::cornerInfoLines() const {
  if (!owner_) return {};
  const morvex::Study& study = owner_->study();
  const morvex::Frame* frame = study.frame(frameIndex_);
  const int series = study.seriesOfFrame(frameIndex_);
  if (!frame || series < 0) return {};
  const int first = study.firstFrameOfSeries(series), last = study.lastFrameOfSeries(series);
  QString slice = tr("Slice %1 / %2").arg(frameIndex_ - first + 1).arg(last - first + 1);
  if (frame->header.hasPosition) slice += "   " + tr("z %1 mm").arg(frame->header.imagePosition[2], 0, 'f', 1);
  // the window as the boxes show it: width from the handles' span, level their centre
  return {slice, tr("W %1 / L %2").arg(std::abs(windowWidth_)).arg(windowLevel_),
          tr("Zoom %1 %").arg(static_cast<int>(std::lround(zoom_ * fitScale_ * 100.0f)))};
}

QRect CImage::cornerInfoPanel() const {
  const QStringList lines = cornerInfoLines();
  if (lines.isEmpty()) return QRect();
  const QFontMetrics m(cornerFont());
  int width = 0;
  for (const QString& line : lines) width = std::max(width, m.horizontalAdvance(line));
  const int height = kLineHeight * lines.size() + 2 * kPadding;
  return QRect(kMargin, widgetHeight_ - kMargin - height, width + 2 * kPadding, height);
}

void CImage::drawCornerInfo(QPainter& p) {
  const QRect panel = cornerInfoPanel();
  if (panel.isEmpty()) return;
  p.fillRect(panel, invert_ ? kPanelLight : kPanelDark);
  p.setPen(invert_ ? Qt::black : Qt::white);
  p.setFont(cornerFont());
  const QStringList lines = cornerInfoLines();
  for (int i = 0; i < lines.size(); ++i)
    p.drawText(QRect(panel.left() + kPadding, panel.top() + kPadding + kLineHeight * i, panel.width(), kLineHeight),
               Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
}

QList<QPair<QColor, QString>> CImage::legendEntries() const {
  QList<QPair<QColor, QString>> entries;
  if (!owner_) return entries;
  const morvex::CLiverDivider* divider = owner_->liverDivider();
  const morvex::Frame* frame = owner_->study().frame(frameIndex_);
  if (!frame) return entries;
  const morvex::VolumeReadout r = morvex::computeVolumeReadout(frame->header.voxelVolumeMl(), &owner_->areaStatistics());
  if (!(r.left + r.right > 0) && !divider) return entries;
  auto colour = [this](int value) {
    const morvex::LabelInfo* l = owner_->labelTable().byValue(value);
    return l ? QColor(l->r, l->g, l->b) : QColor(Qt::gray);
  };
  entries << qMakePair(colour(morvex::kLiverRight), tr("Right lobe")) << qMakePair(colour(morvex::kLiverLeft), tr("Left lobe"))
          << qMakePair(colour(morvex::kVesselRight), tr("Vessel (right / left)"));
  if (divider)
    entries << qMakePair(QColor(Qt::blue), tr("Line being drawn")) << qMakePair(QColor(Qt::red), tr("Dividing line of this slice"))
            << qMakePair(QColor(Qt::green), tr("Interpolated dividing line"));
  return entries;
}

QRect CImage::legendPanel() const {
  const QList<QPair<QColor, QString>> entries = legendEntries();
  if (entries.isEmpty()) return QRect();
  const QFontMetrics m(cornerFont());
  int width = 0;
  for (const auto& e : entries) width = std::max(width, m.horizontalAdvance(e.second));
  width += kSwatch + 3 * kPadding;
  const int height = kLineHeight * entries.size() + 2 * kPadding;
  return QRect(widgetWidth_ - kMargin - width, widgetHeight_ - kMargin - height, width, height);
}

void CImage::drawDivisionLegend(QPainter& p) {
  const QRect panel = legendPanel();
  if (panel.isEmpty()) return;
  p.fillRect(panel, invert_ ? kPanelLight : kPanelDark);
  p.setFont(cornerFont());
  const QList<QPair<QColor, QString>> entries = legendEntries();
  for (int i = 0; i < entries.size(); ++i) {
    const int top = panel.top() + kPadding + kLineHeight * i;
    p.fillRect(panel.left() + kPadding, top + (kLineHeight - kSwatch) / 2, kSwatch, kSwatch, entries[i].first);
    p.setPen(invert_ ? Qt::black : Qt::white);
    p.drawText(QRect(panel.left() + 2 * kPadding + kSwatch, top, panel.width(), kLineHeight), Qt::AlignLeft | Qt::AlignVCenter,
               entries[i].second);
  }
}

void CImage::drawRoiOverlay(bool bDuringDrag) {
  if (!owner_ || canvas_.isNull()) return;
  QRect box;
  if (bDuringDrag && owner_->roiMode() && leftHeld_ && !stroke_.isEmpty()) {
    box = QRect(stroke_.first(), currentPoint_).normalized();
  } else if (const morvex::Roi r = owner_->roi(); r.set) {
    box = QRect(QPoint(r.x1, r.y1), QPoint(r.x2, r.y2)).normalized();
  }
  if (box.isEmpty()) return;
  QPainter p(&canvas_);
  p.setPen(QPen(QColor(255, 215, 0), 1, bDuringDrag ? Qt::DashLine : Qt::SolidLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(box.adjusted(0, 0, -1, -1));
}

void CImage::showPendingWheelSteps() {
  const int steps = pendingWheelSteps_;
  pendingWheelSteps_ = 0;
  if (owner_ && steps != 0) owner_->scrollSlices(steps);
}
