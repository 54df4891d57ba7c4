// Resection planning: the plan panel's requests turned into changes of the shown series' plans,
// their figures, the side click, plan files beside the series masks and the PDF report. Plans are
// an overlay: nothing here writes a label.

#include <cmath>

#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QtConcurrent>

#include "export/pdf_report.h"
#include "planning/plan_json.h"
#include "study/text_field.h"
#include "view/plan_panel.h"
#include "view3d/surface_view.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

void Morvex::setupPlanning() {
  planPanel_ = new PlanPanel(this);
  auto* dock = new QDockWidget(tr("Resection plans"), this);
  dock->setObjectName("planDock");
  dock->setWidget(planPanel_);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  // shown on demand: the window keeps its designed size on small screens
  dock->hide();
  QAction* show = dock->toggleViewAction();
  show->setObjectName("actionResectionPlans");
  QMenu* menu = menuBar()->addMenu(tr("Plan"));
  menu->setObjectName("menuPlan");
  menu->addAction(show);
  connect(planPanel_, &PlanPanel::addRequested, this, &Morvex::addPlan);
  connect(planPanel_, &PlanPanel::renameRequested, this, &Morvex::renamePlan);
  connect(planPanel_, &PlanPanel::deleteRequested, this, &Morvex::deletePlan);
  connect(planPanel_, &PlanPanel::undoRequested, this, &Morvex::undoPlan);
  connect(planPanel_, &PlanPanel::activated, this, &Morvex::activatePlan);
  connect(planPanel_, &PlanPanel::keyLinesRequested, this, &Morvex::takeKeyLinesIntoPlan);
  connect(planPanel_, &PlanPanel::sideRequested, this, &Morvex::choosePlanSide);
  connect(planPanel_, &PlanPanel::planeToolToggled, this, &Morvex::setPlanPlaneTool);
  connect(planPanel_, &PlanPanel::thresholdsChanged, this, &Morvex::setPlanThresholds);
  connect(planPanel_, &PlanPanel::reportRequested, this, &Morvex::reportFromPanel);
  // edits end in labelsChanged (a short pause, then a look); the poll catches the rest (undo,
  // runs, loads) and the switch to another series
  planWatcher_ = new QFutureWatcher<morvex::PlanFigures>(this);
  connect(planWatcher_, &QFutureWatcher<morvex::PlanFigures>::finished, this, &Morvex::planFiguresArrived);
  planPause_ = new QTimer(this);
  planPause_->setSingleShot(true);
  planPause_->setInterval(120);
  connect(planPause_, &QTimer::timeout, this, &Morvex::watchPlanLabels);
  planPoll_ = new QTimer(this);
  planPoll_->setInterval(400);
  connect(planPoll_, &QTimer::timeout, this, &Morvex::watchPlanLabels);
  planPoll_->start();
  refreshPlans();
}

int Morvex::planSeries() const { return study_.frame(currentFrame_) ? study_.seriesOfFrame(currentFrame_) : -1; }

morvex::PlanSet* Morvex::currentPlanSet() {
  const int s = planSeries();
  return s >= 0 ? &planSets_[s] : nullptr;
}

void Morvex::pushPlanUndo() {
  if (morvex::PlanSet* set = currentPlanSet()) planUndo_.emplace_back(planSeries(), *set);
}

// The panel, the figures and the readout follow the shown series' plans; a change of a plan gets
// its figures at once.
void Morvex::refreshPlans() {
  if (!planPanel_) return;
  refreshPlanList();
  const morvex::PlanSet* set = currentPlanSet();
  const morvex::ResectionPlan* plan = set ? set->activePlan() : nullptr;
  const morvex::PlanVolume volume = morvex::planVolumeOf(study_, planSeries());
  ++planRequest_;  // an answer still on its way is older
  planShownSeries_ = planSeries();
  planShownRevisions_ = volume.revisions;
  planFigures_ = plan ? morvex::computePlanFigures(volume, *plan, planLabelCache_->of(volume).get()) : morvex::PlanFigures{};
  showPlanFigures();
}

void Morvex::refreshPlanList() {
  const morvex::PlanSet* set = currentPlanSet();
  QStringList names;
  if (set)
    for (const morvex::ResectionPlan& p : set->plans) names << QString::fromStdString(p.name);
  planPanel_->setPlans(names, set ? set->active : -1);
  if (set) planPanel_->setThresholds(set->thresholds.remnantPercent, set->thresholds.marginMm);
  planPanel_->setUndoAvailable(!planUndo_.empty());
  planPanel_->setSidePending(planSidePending_);
  planPlaneTool_ = planPlaneTool_ && set && set->activePlan();  // no plan to place: plain clicks again
  planPanel_->setPlaneTool(planPlaneTool_);
}

void Morvex::showPlanFigures() {
  const morvex::PlanSet* set = currentPlanSet();
  const bool shown = set && set->activePlan();
  planPanel_->setFigures(shown ? morvex::planFigureLines(planFigures_) : QStringList{},
                         shown ? morvex::planWarningTexts(planFigures_, set->thresholds) : QStringList{});
  redrawAll();
}

// Another series shown, or the labels of the shown one changed: its plans, and their figures made
// again on a worker (from the labels' summary, which only changed labels make anew).
void Morvex::watchPlanLabels() {
  if (!planPanel_) return;
  const int s = planSeries();
  std::vector<uint64_t> revisions = morvex::planVolumeOf(study_, s).revisions;
  if (s == planShownSeries_ && revisions == planShownRevisions_) return;
  if (s != planShownSeries_) {
    planSidePending_ = false;
    refreshPlanList();
  }
  planShownSeries_ = s;
  planShownRevisions_ = std::move(revisions);
  startPlanFigures();
}

// Labels were edited: a look after a short pause (a run of strokes makes one computation).
void Morvex::planLabelsEdited() {
  if (planPause_) planPause_->start();
}

void Morvex::startPlanFigures() {
  const uint64_t request = ++planRequest_;
  const morvex::PlanSet* set = currentPlanSet();
  const morvex::ResectionPlan* plan = set ? set->activePlan() : nullptr;
  if (!plan) {
    planFigures_ = {};
    showPlanFigures();
    return;
  }
  if (planWatcher_->isRunning()) {  // one at a time: the next look follows this one
    planJobAgain_ = true;
    return;
  }
  // the worker reads copies of the labels: edits, or a closed study, go on meanwhile
  morvex::PlanVolume volume = morvex::planVolumeOf(study_, planSeries());
  const std::size_t area = static_cast<std::size_t>(volume.width) * static_cast<std::size_t>(volume.height);
  auto copies = std::make_shared<std::vector<std::vector<uint8_t>>>();
  copies->reserve(volume.slices.size());
  for (const uint8_t*& slice : volume.slices)
    if (slice) {
      copies->emplace_back(slice, slice + area);
      slice = copies->back().data();
    }
  planJobRequest_ = request;
  std::shared_ptr<morvex::PlanLabelCache> cache = planLabelCache_;
  planWatcher_->setFuture(QtConcurrent::run([volume, copies, cache, plan = *plan] {
    return morvex::computePlanFigures(volume, plan, cache->of(volume).get());
  }));
}

void Morvex::planFiguresArrived() {
  if (planJobRequest_ == planRequest_) {
    planFigures_ = planWatcher_->result();
    showPlanFigures();
  }
  if (planJobAgain_) {
    planJobAgain_ = false;
    startPlanFigures();
  }
}

// A closed study takes its plans along: a new series starts with none (or those of its file).
void Morvex::forgetPlans() {
  planSets_.clear();
  planUndo_.clear();
  planSidePending_ = false;
  planLabelCache_->clear();
  if (planPanel_) refreshPlans();
}

void Morvex::addPlan() {
  morvex::PlanSet* set = currentPlanSet();
  if (!set) return;
  pushPlanUndo();
  morvex::ResectionPlan plan;
  plan.name = tr("Plan %1").arg(set->plans.size() + 1).toStdString();
  set->plans.push_back(plan);
  set->active = static_cast<int>(set->plans.size()) - 1;
  refreshPlans();
}

void Morvex::renamePlan(int index, const QString& name) {
  morvex::PlanSet* set = currentPlanSet();
  if (!set || index < 0 || index >= static_cast<int>(set->plans.size()) || name.trimmed().isEmpty()) return refreshPlans();
  pushPlanUndo();
  set->plans[static_cast<std::size_t>(index)].name = name.trimmed().toStdString();
  refreshPlans();
}

void Morvex::deletePlan(int index) {
  morvex::PlanSet* set = currentPlanSet();
  if (!set || index < 0 || index >= static_cast<int>(set->plans.size())) return;
  pushPlanUndo();
  set->plans.erase(set->plans.begin() + index);
  set->active = std::min(set->active, static_cast<int>(set->plans.size()) - 1);
  refreshPlans();
}

void Morvex::undoPlan() {
  if (planUndo_.empty()) return;
  planSets_[planUndo_.back().first] = std::move(planUndo_.back().second);
  planUndo_.pop_back();
  refreshPlans();
}

void Morvex::activatePlan(int index) {
  morvex::PlanSet* set = currentPlanSet();
  if (!set || index < 0 || index >= static_cast<int>(set->plans.size()) || index == set->active) return;
  set->active = index;
  refreshPlans();
}

// The key lines drawn with the division tool become the active plan's; the tool stays open for
// further edits and never divides for a plan.
void Morvex::takeKeyLinesIntoPlan() {
  morvex::PlanSet* set = currentPlanSet();
  const int first = study_.firstFrameOfSeries(planSeries());
  if (!set || !set->activePlan() || first < 0) return;
  if (!liverDivider_ || liverDivider_->keyLines().empty() || liverDivider_->series() != planSeries()) {
    morvex::warningBox(this, tr("Draw key lines with Divide (interpolation) first; the plan takes them without "
                                "dividing the liver."));
    return;
  }
  pushPlanUndo();
  morvex::ResectionPlan& plan = set->plans[static_cast<std::size_t>(set->active)];
  plan.kind = morvex::PlanKind::KeyLines;
  plan.keyLines.clear();
  for (morvex::DivisionLine line : liverDivider_->keyLines()) {
    line.frame -= first;
    plan.setKeyLine(std::move(line));
  }
  refreshPlans();
}

// The plane tool: lines dragged in the coronal and sagittal views place the active plan's cut (the
// three planes are shown for it).
void Morvex::setPlanPlaneTool(bool on) {
  const morvex::PlanSet* set = currentPlanSet();
  planPlaneTool_ = on && set && set->activePlan();
  planPanel_->setPlaneTool(planPlaneTool_);
  if (planPlaneTool_ && !threePlanesShown()) setThreePlanes(true);
}

void Morvex::planLineInPlane(morvex::PlaneAxis axis, const QPoint& from, const QPoint& to) {
  morvex::PlanSet* set = currentPlanSet();
  const morvex::PlaneStack stack = planeStack();
  const int first = study_.firstFrameOfSeries(planSeries());
  if (!set || !set->activePlan() || stack.empty() || first < 0 || axis == morvex::PlaneAxis::Axial) return;
  double ends[2][3];
  int k = 0;
  for (const QPoint& p : {from, to}) {
    const morvex::VoxelPoint v = morvex::planeToVoxel(axis, planeIndex(axis), p.x(), p.y());
    if (v.row < 0 || v.row >= stack.depth()) return;
    ends[k][0] = v.x, ends[k][1] = v.y, ends[k][2] = stack.frames[static_cast<std::size_t>(v.row)] - first;
    ++k;
  }
  morvex::ResectionPlan plan = *set->activePlan();
  const int across = axis == morvex::PlaneAxis::Coronal ? 1 : 0;
  if (!morvex::setPlaneThroughLine(plan, morvex::planVolumeOf(study_, planSeries()), ends[0], ends[1], across)) return;
  pushPlanUndo();
  set->plans[static_cast<std::size_t>(set->active)] = std::move(plan);
  refreshPlans();
}

QLineF Morvex::planCut(morvex::PlaneAxis axis) const {
  const auto it = planSets_.find(planSeries());
  const morvex::ResectionPlan* plan = it == planSets_.end() ? nullptr : it->second.activePlan();
  if (!plan || plan->kind != morvex::PlanKind::Plane) return {};
  const morvex::PlaneStack stack = planeStack();
  const int first = study_.firstFrameOfSeries(planSeries());
  const int row = stack.rowOf(currentFrame_);
  if (stack.empty() || row < 0) return {};
  const int viewAxis = axis == morvex::PlaneAxis::Axial ? 2 : axis == morvex::PlaneAxis::Coronal ? 1 : 0;
  const double index = axis == morvex::PlaneAxis::Axial ? currentFrame_ - first : planeIndex(axis);
  double seg[4];
  if (!morvex::planeCrossing(*plan, morvex::planVolumeOf(study_, planSeries()), viewAxis, index, seg)) return {};
  if (axis != morvex::PlaneAxis::Axial) {
    // slices to stack rows (the stack runs head to foot: the series' order or its reverse)
    const double s0 = stack.frames.front() - first, s1 = stack.frames.back() - first;
    const double step = stack.depth() > 1 ? (stack.depth() - 1) / (s1 - s0) : 1.0;
    seg[1] = (seg[1] - s0) * step, seg[3] = (seg[3] - s0) * step;
  }
  return QLineF(seg[0] + 0.5, seg[1] + 0.5, seg[2] + 0.5, seg[3] + 0.5);
}

QList<QPolygonF> Morvex::planKeyLineCut(morvex::PlaneAxis axis) const {
  const auto it = planSets_.find(planSeries());
  const morvex::ResectionPlan* plan = it == planSets_.end() ? nullptr : it->second.activePlan();
  const int first = study_.firstFrameOfSeries(planSeries());
  if (!plan || first < 0 || study_.seriesOfFrame(currentFrame_) != planSeries()) return {};
  const int width = study_.width(first), height = study_.height(first);
  const int slices = study_.lastFrameOfSeries(planSeries()) - first + 1;
  QList<QPolygonF> pieces;
  if (axis == morvex::PlaneAxis::Axial) {
    morvex::DivisionLine line;
    if (study_.width(currentFrame_) != width || study_.height(currentFrame_) != height ||
        !morvex::planKeyLineOf(*plan, slices, currentFrame_ - first, line))
      return {};
    pieces << QPolygonF();
    for (const auto& [x, y] : morvex::divisionCutPath(line, width, height)) pieces.back() << QPointF(x + 0.5, y + 0.5);
    return pieces;
  }
  const morvex::PlaneStack stack = planeStack();
  if (stack.empty() || stack.width != width || stack.height != height) return {};
  const int viewAxis = axis == morvex::PlaneAxis::Coronal ? 1 : 0;
  const std::vector<double> crossings =
      morvex::planKeyLineCrossings(*plan, slices, width, height, viewAxis, planeIndex(axis));
  if (crossings.empty()) return {};
  bool broken = true;
  for (int row = 0; row < stack.depth(); ++row) {
    const int slice = stack.frames[static_cast<std::size_t>(row)] - first;
    const double u = slice >= 0 && slice < slices ? crossings[static_cast<std::size_t>(slice)] : std::nan("");
    if (std::isnan(u)) {
      broken = true;
      continue;
    }
    if (broken) pieces << QPolygonF();
    broken = false;
    pieces.back() << QPointF(u + 0.5, row + 0.5);
  }
  return pieces;
}

void Morvex::choosePlanSide() {
  const morvex::PlanSet* set = currentPlanSet();
  planSidePending_ = !planSidePending_ && set && set->activePlan();
  refreshPlans();
}

bool Morvex::planSideClick(int nFrameIdx, const QPoint& p) {
  if (!planSidePending_) return false;
  planSidePending_ = false;
  morvex::PlanSet* set = currentPlanSet();
  const int first = study_.firstFrameOfSeries(planSeries());
  if (set && set->activePlan() && first >= 0 && study_.seriesOfFrame(nFrameIdx) == planSeries()) {
    pushPlanUndo();
    morvex::ResectionPlan& plan = set->plans[static_cast<std::size_t>(set->active)];
    plan.hasSide = true;
    plan.sideSlice = nFrameIdx - first;
    plan.sideX = p.x();
    plan.sideY = p.y();
  }
  refreshPlans();
  return true;
}

void Morvex::setPlanThresholds(double remnantPercent, double marginMm) {
  morvex::PlanSet* set = currentPlanSet();
  if (!set) return;
  set->thresholds.remnantPercent = remnantPercent;
  set->thresholds.marginMm = marginMm;
  refreshPlans();
}

QString Morvex::planReadoutLine() const {
  const auto it = planSets_.find(planSeries());
  if (it == planSets_.end() || !it->second.activePlan() || !planFigures_.sideChosen) return {};
  return tr("Remnant %1 % (%2)")
      .arg(planFigures_.remnantPercent, 0, 'f', 1)
      .arg(QString::fromStdString(it->second.activePlan()->name));
}

void Morvex::reportFromPanel(bool showIdentity) {
  if (planSeries() < 0) return;
  const QString path = reportPathChooser_ ? reportPathChooser_()
                                          : QFileDialog::getSaveFileName(this, tr("PDF report"), defaultDirectory_,
                                                                         tr("PDF (*.pdf)"));
  if (!path.isEmpty()) writePlanReport(path, showIdentity);
}

bool Morvex::writePlanReport(const QString& path, bool showIdentity) {
  const int s = planSeries();
  if (s < 0) return false;
  const morvex::PlanSet set = planSets_[s];
  morvex::PdfReportInput input;
  // figures and pictures on a worker; the study is only read while edits are blocked
  const auto job = [&](morvex::WorkerControl&) { input = morvex::reportInputOf(study_, s, labelTable_, &set, showIdentity); };
  if (longRunActive()) {
    morvex::WorkerControl control;
    job(control);
  } else if (!runLongJob(tr("Report"), job)) {
    return false;
  }
  // the 3D view's picture where it is shown
  if (surfaceView_ && surfaceView_->available() && surfaceView_->isVisible() && surfaceView_->shownTriangles() > 0)
    input.extra.push_back({tr("3D view"), surfaceView_->snapshot()});
  QString error;
  if (morvex::writePdfReport(path, input, &error)) return true;
  morvex::warningBox(this, error);
  return false;
}

void Morvex::savePlansBeside(const std::string& maskPath, int nGroupIdx) {
  const auto it = planSets_.find(nGroupIdx);
  if (it == planSets_.end() || it->second.plans.empty()) return;
  std::string error;
  if (!morvex::savePlanFile(morvex::planFileBeside(maskPath), it->second, error))
    morvex::warningBox(this, tr("The resection plans were not saved: %1").arg(QString::fromStdString(error)));
}

// The series whose masks a file holds: the series of the frame it went to, else (a series TIFF) the
// series whose TIFF bears its name, as the save names it.
int Morvex::seriesOfMaskFile(const std::string& maskPath, int nFrameIdx) const {
  if (study_.frame(nFrameIdx)) return study_.seriesOfFrame(nFrameIdx);
  const std::string name = QFileInfo(QString::fromStdString(maskPath)).fileName().toStdString();
  for (int s = 0; s < study_.seriesCount(); ++s) {
    const int first = study_.firstFrameOfSeries(s);
    if (first < 0) continue;
    const morvex::SliceHeader& h = study_.frame(first)->header;
    if (name == "m_" + morvex::fileNamePart(h.patientId) + "_" + morvex::fileNamePart(h.patientName) + "_" +
                    morvex::fileNamePart(study_.seriesFileKeyOf(h)) + ".tiff")
      return s;
  }
  return -1;
}

void Morvex::loadPlansBeside(const std::string& maskPath, int nFrameIdx) {
  const std::string path = morvex::planFileBeside(maskPath);
  const int s = seriesOfMaskFile(maskPath, nFrameIdx);
  if (s < 0 || !QFileInfo::exists(QString::fromStdString(path))) return;
  morvex::PlanSet set;
  std::string error;
  if (!morvex::loadPlanFile(path, set, error)) {
    morvex::warningBox(this, tr("The resection plans were not loaded: %1").arg(QString::fromStdString(error)));
    return;
  }
  planSets_[s] = std::move(set);
  refreshPlans();
}
