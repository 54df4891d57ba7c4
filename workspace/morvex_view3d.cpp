// The 3D view of the shown series in a dock: its labels, the label panel's visibility and
// opacity, the shown slice, and a click on a surface that shows the slice there.

#include <QDockWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include "view3d/label_surfaces.h"
#include "view3d/surface_view.h"
#include "workspace/morvex.h"

namespace {
// Labels that hold others (the liver and its halves) take the panel's opacity, so that the
// vessels and tumours inside them show; the others stay opaque. Never fully transparent.
bool enclosesOthers(const std::string& name) { return name.rfind("Liver", 0) == 0; }
}  // namespace

void Morvex::setupSurfaceView() {
  surfaceView_ = new CSurfaceView(this);
  surfaceDock_ = new QDockWidget(tr("3D View"), this);
  surfaceDock_->setObjectName("dockWidget_View3d");
  surfaceDock_->setWidget(surfaceView_);
  addDockWidget(Qt::RightDockWidgetArea, surfaceDock_);
  surfaceDock_->hide();
  surfaceToggle_ = new QPushButton(tr("3D"), this);
  surfaceToggle_->setObjectName("pushButton_View3d");
  surfaceToggle_->setCheckable(true);
  surfaceToggle_->setToolTip(tr("Show the 3D view of the labels (the fourth pane with three planes, else a panel)"));
  statusBar()->addPermanentWidget(surfaceToggle_);
  connect(surfaceToggle_, &QPushButton::toggled, this, &Morvex::placeSurfaceView);
  // closing the floating or docked panel by its own button unchecks the toggle
  connect(surfaceDock_, &QDockWidget::visibilityChanged, this, [this](bool) {
    if (isVisible() && !surfaceDock_->isVisible() && surfaceDock_->widget() == surfaceView_) surfaceToggle_->setChecked(false);
    refreshSurfaceView();
  });
  if (!surfaceView_->available()) return;  // the dock only says why

  connect(ui.treeWidget_Label, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int) { refreshSurfaceView(); });
  connect(surfaceView_, &CSurfaceView::slicePicked, this, [this](int slice) {
    const int series = study_.seriesOfFrame(currentFrame_);
    const int frame = study_.firstFrameOfSeries(series) + slice;
    if (series >= 0 && frame <= study_.lastFrameOfSeries(series) && frame != currentFrame_) showNeighbourFrame(frame - currentFrame_);
  });
  // edits end in labelsChanged (which refreshes); the poll catches the rest (slice changes,
  // loads, undo, a run's results) while the view is shown
  surfaceTimer_ = new QTimer(this);
  surfaceTimer_->setInterval(300);
  connect(surfaceTimer_, &QTimer::timeout, this, &Morvex::refreshSurfaceView);
  surfaceTimer_->start();
}

void Morvex::refreshSurfaceView() {
  if (!surfaceView_ || !surfaceView_->available() || !surfaceView_->isVisible()) return;
  // labels added to the table later get their colour and check box here too
  for (const morvex::LabelInfo& info : labelTable_.labels()) {
    QTreeWidgetItem* item = findLayerItem(QString::fromLocal8Bit(info.name.c_str()));
    if (item && !item->data(0, Qt::CheckStateRole).isValid()) {
      const QSignalBlocker quiet(ui.treeWidget_Label);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Checked);
      item->setToolTip(0, tr("Checked: shown in the 3D view"));
    }
    surfaceView_->setLabelColour(info.value, QColor(info.r, info.g, info.b));
    surfaceView_->setLabelVisible(info.value, item && !item->isHidden() && item->checkState(0) != Qt::Unchecked);
    surfaceView_->setLabelOpacity(info.value, enclosesOthers(info.name) ? std::max(0.15, double(opacity_)) : 1.0);
  }
  const int series = study_.seriesOfFrame(currentFrame_);
  if (series < 0) {
    if (surfaceStack_) surfaceView_->setLabels(morvex::view3d::SliceStack());  // the study was closed
    surfaceStack_.reset();
    return;
  }
  const bool sameSeries = surfaceStack_ && series == surfaceSeries_;
  morvex::view3d::SliceStack stack = morvex::view3d::stackOfSeries(study_, series, sameSeries ? surfaceStack_.get() : nullptr);
  if (!sameSeries || stack.revisions != surfaceStack_->revisions) {
    surfaceView_->setLabels(stack);
    surfaceStack_ = std::make_shared<morvex::view3d::SliceStack>(std::move(stack));
    surfaceSeries_ = series;
  }
  surfaceView_->setSlice(currentFrame_ - study_.firstFrameOfSeries(series));
}

// With the three planes shown the 3D view is the fourth pane of a 2 x 2 grid; with one view it
// lives in the dock. Hidden, it sits in the dock (and computes nothing).
void Morvex::placeSurfaceView() {
  if (!surfaceView_) return;
  const bool wanted = surfaceToggle_ && surfaceToggle_->isChecked();
  if (wanted && threePlanesShown()) {
    if (surfaceDock_->widget() == surfaceView_) surfaceDock_->setWidget(nullptr);
    setExtraPane(surfaceView_);
    surfaceView_->show();
    surfaceDock_->hide();
  } else {
    setExtraPane(nullptr);
    if (surfaceDock_->widget() != surfaceView_) surfaceDock_->setWidget(surfaceView_);
    surfaceView_->show();
    surfaceDock_->setVisible(wanted);
  }
  refreshSurfaceView();
}
