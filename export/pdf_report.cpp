#include "export/pdf_report.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QDateTime>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "analysis/area_statistics.h"
#include "study/study.h"
#include "view/plane_reformat.h"
#include "view/slice_render.h"

#ifndef MORVEX_VERSION
#define MORVEX_VERSION "unknown"
#endif

// LeakSanitizer (sanitizer builds): the report draws on an offscreen platform whose screen objects
// live until process exit; those allocations belong to the toolkit. Weak, so that the window's own
// list (the same entries) takes precedence where both are linked.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libqoffscreen.so\n"
         "leak:QScreen::QScreen\n"
         "leak:QPlatformScreen::QPlatformScreen\n"
         "leak:QWindowSystemInterface::handleScreenAdded\n";
}

namespace morvex {

namespace {

QString ml(double v) { return QString::number(v, 'f', 1) + " mL"; }
QString mm(double v) { return QString::number(v, 'f', 1) + " mm"; }

// The axial picture of slice `slice` of the series: the frame's own window, labels filled in their
// colours, the cut between the two sides of the plan in yellow.
QImage axialPicture(const Study& study, int frame, const LabelTable& labels, const uint8_t* sideMap) {
  const int w = study.width(frame), h = study.height(frame);
  const int16_t* intensities = study.intensities(frame);
  QImage image(w, h, QImage::Format_RGB32);
  if (!intensities || w <= 0 || h <= 0) return QImage();
  const std::size_t area = static_cast<std::size_t>(w) * h;
  std::vector<uint8_t> grey(area);
  const int c = study.windowCenter(frame), ww = std::max(study.windowWidth(frame), 1);
  windowIntensities(intensities, area, c - ww / 2, c + ww / 2, false, grey.data());
  std::vector<uint8_t> none(area, 0);
  const uint8_t* lab = study.labelImage(frame);
  OverlaySettings settings;
  settings.labels = &labels;
  settings.currentLabel = kLiver;
  settings.opacity = 0.45f;
  // 32-bit rows are never padded: the canvas is one block
  composeSlice(grey.data(), lab ? lab : none.data(), none.data(), w, h, settings, reinterpret_cast<uint32_t*>(image.bits()));
  if (sideMap)
    for (int y = 0; y < h; ++y) {
      uint32_t* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * w + x;
        if ((x + 1 < w && sideMap[i] != sideMap[i + 1]) || (y + 1 < h && sideMap[i] != sideMap[i + w])) row[x] = 0xffffff00u;
      }
    }
  return image;
}

// The coronal plane through the liver's centre (the mean image row of its voxels, else the middle
// row), labels filled in their colours, rows stretched by the slice spacing so that millimetres keep
// their proportions. Null when the series has no pixels.
QImage coronalPicture(const Study& study, int first, const LabelTable& labels) {
  const PlaneStack stack = collectPlaneStack(study, first);
  if (stack.empty()) return QImage();
  double rows = 0, count = 0;
  const std::size_t area = static_cast<std::size_t>(stack.width) * stack.height;
  for (int frame : stack.frames)
    if (const uint8_t* l = study.labelImage(frame))
      for (std::size_t i = 0; i < area; ++i)
        if (l[i] >= kLiver && l[i] <= kVesselRight) rows += static_cast<double>(i / stack.width), ++count;
  const int row = count > 0 ? static_cast<int>(std::lround(rows / count)) : stack.height / 2;
  const PlaneSize size = planeSize(stack, PlaneAxis::Coronal);
  QImage image(size.width, size.height, QImage::Format_RGB32);
  const int c = study.windowCenter(first), ww = std::max(study.windowWidth(first), 1);
  OverlaySettings settings;
  settings.labels = &labels;
  settings.currentLabel = kLiver;
  settings.opacity = 0.45f;
  if (!renderPlane(study, stack, PlaneAxis::Coronal, row, c - ww / 2, c + ww / 2, false, settings,
                   reinterpret_cast<uint32_t*>(image.bits())))
    return QImage();
  const int height = std::max(1, static_cast<int>(std::lround(size.height * size.rowScale)));
  return image.scaled(size.width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Draws text lines top-down, starting a new page when the next line would not fit.
class PageCursor {
 public:
  PageCursor(QPdfWriter& writer, QPainter& painter) : writer_(writer), painter_(painter) {}
  void line(const QString& text, int pointSize = 10, bool bold = false) {
    QFont font("Helvetica", pointSize);
    font.setBold(bold);
    painter_.setFont(font);
    const int height = QFontMetrics(font, &writer_).height();
    if (y_ + height > writer_.height()) newPage();
    painter_.drawText(QRect(0, y_, writer_.width(), height), Qt::AlignLeft | Qt::AlignVCenter, text);
    y_ += height + height / 4;
  }
  void gap() { y_ += writer_.resolution() / 8; }
  void newPage() {
    writer_.newPage();
    y_ = 0;
  }
  int y() const { return y_; }

 private:
  QPdfWriter& writer_;
  QPainter& painter_;
  int y_ = 0;
};

// Pictures of one page, stacked, each scaled to its share of the page with its caption below.
void picturePage(QPdfWriter& writer, QPainter& painter, const std::vector<const ReportPicture*>& pictures) {
  const int count = static_cast<int>(pictures.size());
  const QFont font("Helvetica", 9);
  painter.setFont(font);
  const int captionHeight = QFontMetrics(font, &writer).height() * 2;
  const int slotHeight = writer.height() / std::max(count, 1);
  for (int i = 0; i < count; ++i) {
    const ReportPicture& p = *pictures[static_cast<std::size_t>(i)];
    const QRect box(0, i * slotHeight, writer.width(), slotHeight - captionHeight);
    if (!p.image.isNull()) {
      const QSize size = p.image.size().scaled(box.size(), Qt::KeepAspectRatio);
      const QRect target(box.x() + (box.width() - size.width()) / 2, box.y(), size.width(), size.height());
      painter.drawImage(target, p.image.convertToFormat(QImage::Format_RGB32));
    }
    painter.drawText(QRect(0, box.bottom(), writer.width(), captionHeight), Qt::AlignHCenter | Qt::AlignVCenter, p.caption);
  }
}

}  // namespace

QString softwareVersion() { return QStringLiteral("Morvex " MORVEX_VERSION); }

QStringList planWarningTexts(const PlanFigures& fig, const PlanThresholds& th) {
  QStringList out;
  for (const PlanWarning& w : planWarnings(fig, th)) {
    if (w.kind == PlanWarning::Kind::SmallRemnant)
      out << QCoreApplication::translate("PdfReport", "Warning: the remnant is %1 % of the functional liver, below the threshold of %2 %.")
                 .arg(w.value, 0, 'f', 1).arg(w.threshold, 0, 'f', 0);
    else
      out << QCoreApplication::translate("PdfReport", "Warning: tumour %1 lies %2 from the cut, closer than the margin of %3.")
                 .arg(w.tumour + 1).arg(mm(w.value)).arg(mm(w.threshold));
  }
  return out;
}

QStringList planFigureLines(const PlanFigures& f) {
  QStringList out;
  out << QCoreApplication::translate("PdfReport", "Total liver volume: %1").arg(ml(f.totalMl)) << QCoreApplication::translate("PdfReport", "Tumour volume: %1").arg(ml(f.tumourMl))
      << QCoreApplication::translate("PdfReport", "Functional volume: %1").arg(ml(f.functionalMl));
  if (!f.valid) return out << QCoreApplication::translate("PdfReport", "The plan does not cut the liver yet.");
  if (!f.sideChosen) return out << QCoreApplication::translate("PdfReport", "Choose the side to remove.");
  out << QCoreApplication::translate("PdfReport", "Resected volume: %1").arg(ml(f.resectedMl)) << QCoreApplication::translate("PdfReport", "Remnant volume: %1").arg(ml(f.remnantMl))
      << QCoreApplication::translate("PdfReport", "Functional remnant: %1 (%2 % of functional)").arg(ml(f.remnantFunctionalMl)).arg(f.remnantPercent, 0, 'f', 1);
  for (std::size_t t = 0; t < f.tumours.size(); ++t) {
    const TumourFigures& tf = f.tumours[t];
    const QString where = tf.whollyResected ? QCoreApplication::translate("PdfReport", "wholly resected") : QCoreApplication::translate("PdfReport", "not wholly resected");
    const QString margin = tf.marginMm >= 0 ? QCoreApplication::translate("PdfReport", "margin %1").arg(mm(tf.marginMm)) : QCoreApplication::translate("PdfReport", "the cut misses the liver");
    out << QCoreApplication::translate("PdfReport", "Tumour %1: %2, %3, %4 (slices %5-%6)")
               .arg(t + 1).arg(ml(tf.volumeMl)).arg(where).arg(margin).arg(tf.firstSlice + 1).arg(tf.lastSlice + 1);
  }
  return out;
}

PdfReportInput reportInputOf(const Study& study, int s, const LabelTable& labels, const PlanSet* plans, bool showIdentity) {
  PdfReportInput in;
  const int first = study.firstFrameOfSeries(s);
  in.showIdentity = showIdentity;
  in.created = QDateTime::currentDateTime().toString(Qt::ISODate);
  in.softwareVersion = softwareVersion();
  if (first < 0) return in;
  const SliceHeader& h = study.frame(first)->header;
  in.patientName = QString::fromStdString(h.patientName);
  in.patientId = QString::fromStdString(h.patientId);
  in.seriesDate = QString::fromStdString(h.seriesDate);
  in.seriesDescription = QString::fromStdString(h.seriesDescription);
  AreaStatistics statistics(labels.size());
  SeriesStatistics series;
  series.compute(study, s, false, statistics);
  in.volumes = reportVolumes(statistics, h.voxelVolumeMl());

  const PlanVolume volume = planVolumeOf(study, s);
  const ResectionPlan* plan = plans ? plans->activePlan() : nullptr;
  SideMaps maps;
  if (plan) {
    in.hasPlan = true;
    in.planName = QString::fromStdString(plan->name);
    in.thresholds = plans->thresholds;
    in.figures = computePlanFigures(volume, *plan);
    maps = sideMapsOf(volume, *plan, false);
  }
  // the three levels: within the slices holding liver labels
  int lo = -1, hi = -1;
  const std::size_t area = static_cast<std::size_t>(volume.width) * volume.height;
  for (int i = 0; i < volume.sliceCount(); ++i) {
    const uint8_t* l = volume.slices[static_cast<std::size_t>(i)];
    if (l && std::any_of(l, l + area, [](uint8_t v) { return v >= kLiver && v <= kVesselRight; })) {
      if (lo < 0) lo = i;
      hi = i;
    }
  }
  if (lo < 0) lo = 0, hi = volume.sliceCount() - 1;
  for (int k = 1; k <= 3 && hi >= 0; ++k) {
    const int slice = lo + static_cast<int>(std::lround((hi - lo) * k / 4.0));
    int frame = first, seen = -1;
    for (int f = first; f <= study.lastFrameOfSeries(s) && seen < slice; ++f)
      if (study.seriesOfFrame(f) == s) frame = f, ++seen;
    const uint8_t* side = plan && static_cast<std::size_t>(slice) < maps.maps.size() ? maps.map(slice) : nullptr;
    in.axial.push_back({QCoreApplication::translate("PdfReport", "Axial, slice %1 of %2").arg(slice + 1).arg(volume.sliceCount()) +
                            (side ? QCoreApplication::translate("PdfReport", "; the cut in yellow") : QString()),
                        axialPicture(study, frame, labels, side)});
  }
  const QImage coronal = coronalPicture(study, first, labels);
  if (!coronal.isNull())
    in.extra.push_back({QCoreApplication::translate("PdfReport", "Coronal plane through the liver's centre"), coronal});
  return in;
}

bool writePdfReport(const QString& path, const PdfReportInput& in, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = QCoreApplication::translate("PdfReport", "%1: cannot be written (%2)").arg(path, file.errorString());
    return false;
  }
  {
    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(150);
    writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    writer.setCreator(softwareVersion());
    writer.setTitle(QCoreApplication::translate("PdfReport", "Liver volume report"));
    QPainter painter(&writer);
    PageCursor page(writer, painter);
    page.line(QCoreApplication::translate("PdfReport", "Liver volume report"), 16, true);
    if (in.showIdentity) page.line(QCoreApplication::translate("PdfReport", "Patient: %1   ID: %2").arg(in.patientName, in.patientId));
    page.line(QCoreApplication::translate("PdfReport", "Series date: %1  %2").arg(in.seriesDate, in.seriesDescription));
    page.line(QCoreApplication::translate("PdfReport", "Report date: %1").arg(in.created));
    page.line(QCoreApplication::translate("PdfReport", "Software: %1").arg(in.softwareVersion));
    page.gap();
    page.line(QCoreApplication::translate("PdfReport", "Volumes"), 12, true);
    const ReportVolumes& v = in.volumes;
    page.line(QCoreApplication::translate("PdfReport", "Liver: %1").arg(ml(v.total)));
    page.line(QCoreApplication::translate("PdfReport", "Liver without vessels: %1").arg(ml(v.withoutVessels)));
    page.line(QCoreApplication::translate("PdfReport", "Right lobe: %1").arg(ml(v.right)));
    page.line(QCoreApplication::translate("PdfReport", "Right lobe without vessels: %1").arg(ml(v.rightWithoutVessels)));
    page.line(QCoreApplication::translate("PdfReport", "Left lobe: %1").arg(ml(v.left)));
    page.line(QCoreApplication::translate("PdfReport", "Left lobe without vessels: %1").arg(ml(v.leftWithoutVessels)));
    if (in.hasPlan) {
      page.gap();
      page.line(QCoreApplication::translate("PdfReport", "Resection plan: %1").arg(in.planName), 12, true);
      for (const QString& l : planFigureLines(in.figures)) page.line(l);
      page.line(QCoreApplication::translate("PdfReport", "Thresholds: remnant %1 %, margin %2")
                    .arg(in.thresholds.remnantPercent, 0, 'f', 0).arg(mm(in.thresholds.marginMm)));
      const QStringList warnings = planWarningTexts(in.figures, in.thresholds);
      page.gap();
      page.line(warnings.isEmpty() ? QCoreApplication::translate("PdfReport", "No warnings.") : QCoreApplication::translate("PdfReport", "Warnings"), 12, true);
      for (const QString& w : warnings) page.line(w);
    }
    if (!in.axial.empty()) {
      page.newPage();
      std::vector<const ReportPicture*> axial;
      for (const ReportPicture& p : in.axial) axial.push_back(&p);
      picturePage(writer, painter, axial);
    }
    for (std::size_t i = 0; i < in.extra.size(); i += 2) {
      page.newPage();
      std::vector<const ReportPicture*> two{&in.extra[i]};
      if (i + 1 < in.extra.size()) two.push_back(&in.extra[i + 1]);
      picturePage(writer, painter, two);
    }
    if (!painter.end()) {
      file.cancelWriting();
      if (error) *error = QCoreApplication::translate("PdfReport", "%1: the report could not be drawn").arg(path);
      return false;
    }
  }
  if (!file.commit()) {
    if (error) *error = QCoreApplication::translate("PdfReport", "%1: cannot be written (%2)").arg(path, file.errorString());
    return false;
  }
  return true;
}

}  // namespace morvex
