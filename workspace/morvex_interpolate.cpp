// Fill between slices: the action and its preview, Apply and Cancel. The interpolation itself is
// segmentation/slice_interpolation; the slice views draw the preview (view/fill_preview).

#include <QAction>
#include <QDebug>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>
#include <exception>

#include "workspace/morvex.h"

namespace {

// The frames of a fill: the current series, narrowed to the slice range boxes when they span at
// least two slices of it.
std::pair<int, int> fillRange(const Morvex& window, const morvex::Study& study) {
  const int series = study.seriesOfFrame(window.currentFrame());
  const int first = study.firstFrameOfSeries(series), last = study.lastFrameOfSeries(series);
  const int start = std::max(first + window.sliceStart(), first), end = std::min(first + window.sliceEnd(), last);
  if (end - start >= 1) return {start, end};
  return {first, last};
}

}  // namespace

void Morvex::setupFillBetweenSlices() {
  actionFillBetweenSlices_ = new QAction(tr("Fill between slices"), this);
  actionFillBetweenSlices_->setObjectName("actionFillBetweenSlices");
  actionFillBetweenSlices_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  actionFillBetweenSlices_->setShortcutContext(Qt::WindowShortcut);
  actionFillBetweenSlices_->setToolTip(
      tr("Fill between slices (Ctrl+I): the slices between two slices that hold the current label receive the "
         "shape interpolated between them, on unlabelled pixels only; shown as a preview until Apply"));
  addAction(actionFillBetweenSlices_);
  QMenu* edit = menuBar()->addMenu(tr("Edit"));
  edit->setObjectName("menuEdit");
  edit->setToolTipsVisible(true);
  edit->addAction(actionFillBetweenSlices_);
  connect(actionFillBetweenSlices_, &QAction::triggered, this, &Morvex::fillBetweenSlices);

  fillApplyButton_ = new QPushButton(tr("Apply"), this);
  fillApplyButton_->setObjectName("pushButton_FillApply");
  fillApplyButton_->setToolTip(tr("Writes the previewed fill into the labels as one undo step"));
  fillCancelButton_ = new QPushButton(tr("Cancel"), this);
  fillCancelButton_->setObjectName("pushButton_FillCancel");
  fillCancelButton_->setToolTip(tr("Drops the previewed fill; the labels stay as they are"));
  for (QPushButton* b : {fillApplyButton_, fillCancelButton_}) {
    b->hide();
    statusBar()->addPermanentWidget(b);
  }
  connect(fillApplyButton_, &QPushButton::clicked, this, &Morvex::applyFillBetweenSlices);
  connect(fillCancelButton_, &QPushButton::clicked, this, &Morvex::cancelFillBetweenSlices);
}

void Morvex::fillBetweenSlices() {
  if (longRunActive() || !study_.frame(currentFrame_)) return;
  const morvex::LabelInfo* label = labelTable_.byValue(currentLabel_);
  if (!label || currentLabel_ >= morvex::kSelectionLabel) {
    statusBar()->showMessage(tr("Fill between slices: choose a label first"));
    return;
  }
  const auto [first, last] = fillRange(*this, study_);
  morvex::SliceFillPlan plan;
  try {
    plan = morvex::planSliceFill(study_, first, last, static_cast<uint8_t>(currentLabel_));
  } catch (const std::exception& e) {  // out of memory, or the image library refused
    qWarning("fill between slices: %s", e.what());
    endFillPreview();
    statusBar()->showMessage(tr("Fill between slices failed: not enough memory for the series"));
    return;
  }
  if (plan.empty()) {
    endFillPreview();
    statusBar()->showMessage(tr("Fill between slices: nothing to fill; %1 needs two slices that hold it with "
                                "unlabelled slices between them")
                                 .arg(QString::fromStdString(label->name)));
    redrawAll();
    return;
  }
  fillRevisions_.clear();
  for (int f = first; f <= last; ++f) fillRevisions_.emplace_back(study_.frame(f)->uid, study_.frame(f)->labelRevision);
  fillPlan_ = std::move(plan);
  fillApplyButton_->show();
  fillCancelButton_->show();
  showFillOutcome(*fillPlan_, false);
  redrawAll();
}

void Morvex::refreshFillPreview() {
  if (!fillPlan_) return;
  const int first = fillPlan_->first, count = static_cast<int>(fillRevisions_.size());
  std::vector<int> changed;
  for (int i = 0; i < count; ++i) {
    const morvex::Frame* f = study_.frame(first + i);
    if (!f || f->uid != fillRevisions_[i].first) {  // the frames are gone: so is the preview
      endFillPreview();
      return;
    }
    if (f->labelRevision != fillRevisions_[i].second) changed.push_back(i);
    fillRevisions_[i].second = f->labelRevision;
  }
  if (changed.empty()) return;
  try {
    const std::vector<const uint8_t*> labels =
        morvex::sliceLabelImages(study_, first, first + count - 1, fillPlan_->width, fillPlan_->height);
    if (changed.size() == 1) {
      morvex::updateSliceFill(*fillPlan_, labels, changed.front());
    } else {
      morvex::SliceFillPlan plan = morvex::planSliceFill(labels, fillPlan_->width, fillPlan_->height, fillPlan_->label);
      plan.first = first;
      *fillPlan_ = std::move(plan);
    }
  } catch (const std::exception& e) {  // the preview cannot follow: it ends rather than show stale pixels
    qWarning("fill between slices: %s", e.what());
    endFillPreview();
    statusBar()->showMessage(tr("Fill between slices failed: not enough memory for the series"));
    return;
  }
  showFillOutcome(*fillPlan_, false);
}

const std::vector<uint8_t>* Morvex::fillPreviewMask(int nFrameIdx) {
  refreshFillPreview();
  if (!fillPlan_) return nullptr;
  const int index = nFrameIdx - fillPlan_->first;
  const auto& slices = fillPlan_->slices;
  const auto it = std::lower_bound(slices.begin(), slices.end(), index,
                                   [](const morvex::SliceFillPlan::Slice& s, int i) { return s.index < i; });
  return it != slices.end() && it->index == index && it->filled > 0 ? &it->mask : nullptr;
}

void Morvex::applyFillBetweenSlices() {
  if (longRunActive()) return;
  refreshFillPreview();
  if (!fillPlan_) return;
  const morvex::SliceFillPlan plan = std::move(*fillPlan_);
  const int last = plan.first + static_cast<int>(fillRevisions_.size()) - 1;
  endFillPreview();
  {
    const SeriesEditScope step(*this, plan.first, last);
    morvex::applySliceFill(plan, study_);
  }
  labelsChanged();
  showFillOutcome(plan, true);
}

void Morvex::cancelFillBetweenSlices() {
  if (!fillPlan_) return;
  endFillPreview();
  statusBar()->showMessage(tr("Fill between slices cancelled; the labels are as they were"));
  redrawAll();
}

void Morvex::endFillPreview() {
  fillPlan_.reset();
  fillRevisions_.clear();
  fillApplyButton_->hide();
  fillCancelButton_->hide();
}

void Morvex::showFillOutcome(const morvex::SliceFillPlan& plan, bool bApplied) {
  QString text = bApplied ? tr("Fill between slices: %1 slices filled between %2 key slices")
                          : tr("Fill between slices: %1 slices to fill between %2 key slices (Apply or Cancel)");
  text = text.arg(plan.filledSlices()).arg(plan.keys.size());
  if (plan.blockedPixels() > 0)
    text += (bApplied ? tr("; other labels left holes in %1 slices (%2 pixels)")
                      : tr("; other labels leave holes in %1 slices (%2 pixels)"))
                .arg(plan.blockedSlices())
                .arg(plan.blockedPixels());
  statusBar()->showMessage(text);
}
