#include "tools/cli/cli_report.h"

#include <cstdio>
#include <memory>

#include <QGuiApplication>

#include "export/pdf_report.h"
#include "planning/plan_json.h"
#include "study/label_table.h"
#include "tools/cli/cli_io.h"

namespace morvex::cli {

void writeReport(const std::string& series, const std::string& masks, const std::string& planFile,
                 const std::string& out, bool showIdentity) {
  Study study;
  loadSeries(series, study);
  loadMasks(masks, study);
  PlanSet plans;
  std::string error;
  if (!planFile.empty() && !loadPlanFile(planFile, plans, error)) throw CliError(error);
  // fonts and pictures need the painting system, not a screen
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QGuiApplication> app;
  if (!QGuiApplication::instance()) {
    static int argc = 1;
    static char name[] = "morvex-cli";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  const LabelTable labels = defaultLabelTable();
  const PdfReportInput input = reportInputOf(study, 0, labels, planFile.empty() ? nullptr : &plans, showIdentity);
  QString why;
  if (!writePdfReport(QString::fromStdString(out), input, &why)) throw CliError(why.toStdString());
  std::fprintf(stderr, "report: %s written\n", out.c_str());
}

}  // namespace morvex::cli
