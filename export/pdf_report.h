#pragma once
// The PDF report of a series: identity (when asked for), date, software version, the liver volume
// table, the figures and warnings of a resection plan, axial pictures with the labels at three
// levels and any further pictures (coronal, 3D) a view supplies. Written with Qt's PDF writer;
// every figure is text, so the file can be searched and parsed.

#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

#include "export/report_writer.h"
#include "planning/resection_plan.h"
#include "study/label_table.h"

namespace morvex {

class Study;

struct ReportPicture {
  QString caption;
  QImage image;
};

struct PdfReportInput {
  bool showIdentity = false;  // the patient's name and ID appear only when set
  QString patientName, patientId, seriesDate, seriesDescription;
  QString created;            // date and time of the report
  QString softwareVersion;
  ReportVolumes volumes;
  bool hasPlan = false;
  QString planName;
  PlanFigures figures;
  PlanThresholds thresholds;
  std::vector<ReportPicture> axial;  // the three levels
  std::vector<ReportPicture> extra;  // optional pictures of other views, two to a page
};

// The warnings of a plan as sentences for the user (translated).
QStringList planWarningTexts(const PlanFigures& figures, const PlanThresholds& thresholds);
// The figure lines of a plan as the report and the plan panel show them (translated).
QStringList planFigureLines(const PlanFigures& figures);

// Everything but the extra pictures, from series nGroupIdx of a study and the active plan of
// plans (null or none active: no plan). Axial pictures at a quarter, half and three quarters of
// the liver's slice range (of the series when it has no liver), labels in their colours and the
// cut of the plan in yellow.
PdfReportInput reportInputOf(const Study& study, int nGroupIdx, const LabelTable& labels, const PlanSet* plans,
                             bool showIdentity);

// Writes the report; false with a reason naming the file when it cannot be written.
bool writePdfReport(const QString& path, const PdfReportInput& input, QString* error);

// The program's version as the report states it.
QString softwareVersion();

}  // namespace morvex
