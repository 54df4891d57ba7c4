// Construction of the main window: form, initial state, actions, menu, toolbar, pictures, wiring.

#include "workspace/morvex.h"

#include <cstdio>

#include <QApplication>
#include <QBoxLayout>
#include <QDockWidget>
#include <QKeyEvent>
#include <QSignalMapper>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStatusBar>
#include <QToolBar>

#include "analysis/chistogram_view.h"
#include "app/data_files.h"
#include "study/translatable.h"
#include "view/cimage.h"
#include "view/plane_view.h"
#include "workspace/message_box.h"

namespace {

QIcon picture(const char* relative) { return QIcon(morvex::dataFilePath(QString::fromUtf8(relative))); }

// A toolbar gap: fixed width, or expanding when width is 0.
QWidget* toolbarSpacer(QWidget* parent, int width) {
  auto* w = new QWidget(parent);
  if (width > 0) {
    w->setFixedWidth(width);
    w->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  } else {
    w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }
  return w;
}

}  // namespace

Morvex::Morvex(QWidget* parent) : QMainWindow(parent) {
  ui.setupUi(this);
  setMouseTracking(true);
  setAcceptDrops(true);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  defaultDirectory_ = lastOpenFolder();

  setupActions();
  setupToolButtonPictures();
  setupHistogramViews();
  ui.treeWidget_FileDirectory->setColumnHidden(1, true);
  ui.treeWidget_DICOMInfo->setColumnWidth(0, 150);

  setupLayers();
  moveWindowPanelToFileColumn();
  setupScrollingToolColumn();
  setupPlaneViews();
  // the slice views follow the image pane's size: at start-up, after the layout settles, on resizes
  ui.widget_image->installEventFilter(this);
  qApp->installEventFilter(this);  // the window's keys work whichever of its widgets has the focus
  study_.setWarningSink([this](const std::string& text) {
    reportWarning(QCoreApplication::translate(morvex::kCoreTextContext, text.c_str()), QString::fromLocal8Bit(study_.warningSubject().c_str()),
                  QString::fromStdString(study_.warningReason()));
  });
  study_.setSkipSink([this](const std::string& path) {
    if (warningBatchDepth_ > 0)
      batchedWarnings_.append({QString::fromLocal8Bit(path.c_str()), tr("not a slice this program can read"),
                               QString::fromStdString(study_.warningReason())});
  });
  connectSignals();
  setupFillBetweenSlices();
  setupToolTips();
  setupSurfaceView();
  setupPlanning();
  showLabelImage(1);
}

Morvex::~Morvex() {
  if (autosaveWorker_.joinable()) autosaveWorker_.join();
  liveWireMaps_.waitForFinished();  // the worker writes into liveWirePrepared_
  // the 3D panel hides while the children go: nothing of this window may answer it any more
  if (surfaceDock_) surfaceDock_->disconnect(this);
}

void Morvex::setupActions() {
  ui.actionOpen->setIcon(picture("images/folder.png"));
  ui.actionOpen->setShortcut(QKeySequence::Open);
  ui.actionLoadMask->setIcon(picture("images/folder_mask.png"));
  actionOpenFolder_ = new QAction(style()->standardIcon(QStyle::SP_DirOpenIcon), tr("Open Folder"), this);
  actionOpenFolder_->setObjectName("actionOpenFolder");
  actionOpenFolder_->setToolTip(tr("Open every slice in a folder and its subfolders (Ctrl+Shift+O)"));
  actionOpenFolder_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  connect(actionOpenFolder_, &QAction::triggered, this, &Morvex::readFolder);
  ui.actionSave->setIcon(picture("images/save.png"));
  ui.actionSave->setShortcut(QKeySequence::Save);
  ui.actionSaveAll->setIcon(picture("images/saveAll.png"));
  ui.actionUndo->setIcon(picture("images/undo.png"));
  ui.actionUndo->setShortcut(QKeySequence::Undo);
  // Redo is not on the toolbar: Ctrl+Y and Ctrl+Shift+Z reach it from anywhere in the window.
  actionRedo_ = new QAction(tr("Redo"), this);
  actionRedo_->setObjectName("actionRedo");
  actionRedo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  actionRedo_->setShortcutContext(Qt::WindowShortcut);
  addAction(actionRedo_);
  ui.actionDisplayAnnotation->setIcon(picture("images/Display Annotation.png"));
  ui.actionAdjustIntensity->setIcon(picture("images/contrast2.png"));

  QMenu* file = menuBar()->addMenu(tr("File"));
  file->setObjectName("menuFile");
  file->addAction(ui.actionOpen);
  file->addAction(actionOpenFolder_);
  file->addAction(ui.actionSave);
  setupArchiveMenu();

  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName("progressBar");
  progressBar_->setMaximumSize(250, 15);
  progressBar_->setAlignment(Qt::AlignRight);
  progressBar_->hide();
  statusBar()->addPermanentWidget(progressBar_);
  cancelButton_ = new QPushButton(tr("Cancel"), this);
  cancelButton_->setObjectName("pushButton_CancelRun");
  cancelButton_->setToolTip(tr("Stops the run; the labels stay as they were before it"));
  cancelButton_->hide();
  statusBar()->addPermanentWidget(cancelButton_);
  connect(cancelButton_, &QPushButton::clicked, this, [this] { cancelLongRun(); });

  QToolBar* bar = addToolBar(tr("File"));
  bar->setObjectName("toolBarFile");
  bar->addAction(ui.actionOpen);
  bar->addAction(actionOpenFolder_);
  bar->addAction(ui.actionLoadMask);
  bar->addAction(ui.actionSave);
  bar->addAction(ui.actionSaveAll);
  bar->addWidget(toolbarSpacer(bar, 160));
  bar->addAction(ui.actionUndo);
  bar->addWidget(toolbarSpacer(bar, 0));
  bar->addAction(ui.actionDisplayAnnotation);
  bar->addAction(ui.actionAdjustIntensity);
}

void Morvex::setupToolButtonPictures() {
  const std::pair<QPushButton*, const char*> pictures[] = {
      {ui.pushButton_LiverOption, "images/LiverDefault.png"},
      {ui.pushButton_LiverSeg, "images/LiverSegmentation.png"},
      {ui.pushButton_SelectionTool, "images/selectionTool3.png"},
      {ui.pushButton_Livewire, "images/livewire3.png"},
      {ui.pushButton_Add, "images/add6.png"},
      {ui.pushButton_Cut, "images/cut5.png"},
      {ui.pushButton_Brush, "images/brush2.png"},
      {ui.pushButton_Eraser, "images/eraser.png"},
      {ui.pushButton_Divide, "images/divideSingle(3d).png"},
      {ui.pushButton_Divide_2, "images/divideMulti.png"},
      {ui.pushButton_Divide_3, "images/divideSingle(2d).png"},
      {ui.pushButton_ROI, "images/roi.png"},
      {ui.pushButton_HistogramSave, "images/histogramSave.png"},
      {ui.pushButton_HistogramSaveGroup, "images/histogramSaveGroup.png"},
      {ui.pushButton_VesselSeg2, "images/vesselSegmentation.png"},
  };
  for (const auto& [button, file] : pictures) {
    button->setIcon(picture(file));
    button->setIconSize(button->size() - QSize(2, 2));
  }
  ui.pushButton_LiverOption->setCheckable(false);
  ui.pushButton_LiverSeg->setCheckable(false);
  const QString caption = "QWidget{color: #e4e4e4; font: bold}";
  ui.label_liver->setStyleSheet(caption);
  ui.label_LiverSeg->setStyleSheet(caption);
}

void Morvex::setupScrollingToolColumn() {
  // The right-hand column keeps its width and scrolls vertically, so the window fits small screens
  // without squeezing its controls and the image pane gets the height.
  QWidget* column = ui.widget_right;
  auto* row = qobject_cast<QBoxLayout*>(column->parentWidget()->layout());
  if (!row) return;
  const int at = row->indexOf(column);
  auto* scroll = new QScrollArea(column->parentWidget());
  scroll->setObjectName("scrollArea_right");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroll->setWidgetResizable(true);
  const int scrollBar = scroll->verticalScrollBar()->sizeHint().width();
  scroll->setFixedWidth(column->maximumWidth() + scrollBar);
  row->removeWidget(column);
  scroll->setWidget(column);
  row->insertWidget(at, scroll);
}

bool Morvex::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui.widget_image && event->type() == QEvent::Resize) fitViewsToImageArea();
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      routeKeyToWindow(watched, static_cast<QKeyEvent*>(event)))
    return true;
  return QMainWindow::eventFilter(watched, event);
}

void Morvex::setupHistogramViews() {
  // Each view takes the place of its placeholder in the form, at the placeholder's size.
  auto replace = [](QWidget* placeholder, int mode) {
    auto* view = new CHistogramView(placeholder->parentWidget());
    view->setInputMode(mode);
    view->setViewSize(std::max(placeholder->width(), 250), std::max(placeholder->height(), 100));
    auto* layout = qobject_cast<QBoxLayout*>(placeholder->parentWidget()->layout());
    if (layout) layout->insertWidget(0, view);
    placeholder->hide();
    return view;
  };
  histogramView_ = replace(ui.widget_histogram, 0);
  histogramView_->setObjectName("histogramView");
  liverHistogramView_ = replace(ui.widget_LiverHistogram, 1);
  liverHistogramView_->setObjectName("liverHistogramView");
}

void Morvex::connectSignals() {
  connect(ui.actionOpen, &QAction::triggered, this, qOverload<>(&Morvex::readDICOM));
  connect(ui.actionLoadMask, &QAction::triggered, this, qOverload<>(&Morvex::readMask));
  connect(ui.actionDisplayAnnotation, &QAction::triggered, this, &Morvex::setDisplayAnnotationState);
  connect(ui.comboBox_Histogram, qOverload<int>(&QComboBox::currentIndexChanged), this, &Morvex::setHistogramView);
  connect(histogramView_, &CHistogramView::valueChanged, this, qOverload<int, int>(&Morvex::setHistogramValue));
  for (QSpinBox* box : {ui.spinBox_histogram_low, ui.spinBox_histogram_high})
    connect(box, qOverload<int>(&QSpinBox::valueChanged), this, qOverload<int>(&Morvex::setHistogramValue));
  connect(ui.actionUndo, &QAction::triggered, this, &Morvex::undoHistory);
  connect(actionRedo_, &QAction::triggered, this, &Morvex::redoHistory);
  connect(ui.actionSave, &QAction::triggered, this, &Morvex::saveFileDir);
  connect(ui.actionSaveAll, &QAction::triggered, this, &Morvex::saveFileDir);
  connect(ui.pushButton_HistogramSaveGroup, &QPushButton::clicked, this, qOverload<>(&Morvex::saveGroupHistogram));
  connect(ui.pushButton_HistogramSave, &QPushButton::clicked, this, qOverload<>(&Morvex::saveHistogram));
  connect(ui.actionAdjustIntensity, &QAction::triggered, this, &Morvex::setAdjustIntensityState);
  for (QSpinBox* box : {ui.spinBox_Slice1, ui.spinBox_Slice2})
    connect(box, qOverload<int>(&QSpinBox::valueChanged), this, &Morvex::slotSlice);
  for (QTabWidget* tabs : {ui.tabWidget_Tool, ui.tabWidget_toolOption})
    connect(tabs, &QTabWidget::currentChanged, this, &Morvex::changeTab);
  connect(ui.horizontalSlider_BrushSize, &QSlider::valueChanged, this, &Morvex::setBrushSize);
  connect(ui.horizontalSlider_LabelOpacity, &QSlider::valueChanged, this, &Morvex::setOpacity);
  connect(ui.pushButton_Livewire, &QPushButton::clicked, this, &Morvex::setLiveWireState);
  connect(&liveWireMaps_, &QFutureWatcher<void>::finished, this, &Morvex::prepareLiveWireMaps);
  connect(ui.pushButton_SelectionTool, &QPushButton::clicked, this, &Morvex::setSelectionToolState);
  connect(ui.pushButton_Add, &QPushButton::clicked, this, &Morvex::setAddState);
  connect(ui.pushButton_Cut, &QPushButton::clicked, this, &Morvex::setCutState);
  connect(ui.pushButton_Brush, &QPushButton::clicked, this, &Morvex::setBrushState);
  connect(ui.pushButton_Eraser, &QPushButton::clicked, this, &Morvex::setEraserState);
  connect(ui.pushButton_Divide, &QPushButton::clicked, this, &Morvex::changeDivideArea);
  connect(ui.pushButton_Divide_2, &QPushButton::clicked, this, &Morvex::changeDivideAreaInterpolation);
  connect(ui.pushButton_Divide_3, &QPushButton::clicked, this, &Morvex::changeDivideAreaSingle);
  // The ROI button is there to be used: it switches region-of-interest mode.
  connect(ui.pushButton_ROI, &QPushButton::clicked, this, &Morvex::setROIState);
  connect(ui.pushButton_LiverSeg, &QPushButton::clicked, this, &Morvex::liverSegmentation);
  connect(ui.pushButton_left, &QPushButton::clicked, this, &Morvex::clickLiverOptionLeft);
  connect(ui.pushButton_right, &QPushButton::clicked, this, &Morvex::clickLiverOptionRight);
  auto* dimensions = new QSignalMapper(this);
  dimensions->setMapping(ui.radioButton, 0);
  dimensions->setMapping(ui.radioButton_2, 1);
  for (QRadioButton* b : {ui.radioButton, ui.radioButton_2})
    connect(b, &QRadioButton::clicked, dimensions, qOverload<>(&QSignalMapper::map));
  connect(dimensions, &QSignalMapper::mappedInt, this, &Morvex::setLiver2D3DOption);
  connect(ui.pushButton_Apply, &QPushButton::clicked, this, qOverload<>(&Morvex::applySelectedRegion));
  connect(ui.pushButton_Delete, &QPushButton::clicked, this, &Morvex::deleteObject);
  connect(ui.pushButton_DeleteAll, &QPushButton::clicked, this, &Morvex::deleteAll);
  connect(ui.treeWidget_Label, &QTreeWidget::itemClicked, this, qOverload<QTreeWidgetItem*, int>(&Morvex::showLabelImage));
  connect(ui.treeWidget_Label, &QTreeWidget::itemCollapsed, this, &Morvex::expandLayerItem);
  connect(ui.treeWidget_FileDirectory, &QTreeWidget::itemDoubleClicked, this,
          qOverload<QTreeWidgetItem*, int>(&Morvex::showImage));
  // The highlighted frame is the shown frame, however the highlight moved (click, arrow keys).
  connect(ui.treeWidget_FileDirectory, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item, QTreeWidgetItem*) { followFileTreeHighlight(item); });
  connect(ui.spinBox_2, qOverload<int>(&QSpinBox::valueChanged), ui.horizontalSlider_BrushSize, &QSlider::setValue);
  connect(ui.horizontalSlider_BrushSize, &QSlider::valueChanged, ui.spinBox_2, &QSpinBox::setValue);
  connect(ui.spinBox, qOverload<int>(&QSpinBox::valueChanged), ui.horizontalSlider_LabelOpacity, &QSlider::setValue);
  connect(ui.horizontalSlider_LabelOpacity, &QSlider::valueChanged, ui.spinBox, &QSpinBox::setValue);
  connectAnalysisSignals();
}

void Morvex::redrawAll() {
  for (CImage* view : imageViews_) view->redraw(false);
  redrawPlanes();
}

void Morvex::fitViewsToImageArea() {
  const QSize axial = axialPaneSize();
  for (CImage* view : imageViews_) view->setDisplaySize(axial.width(), axial.height());
  if (!viewArea_) return;
  for (CPlaneView* view : planeViews_) {
    const QRect pane = viewArea_->paneRect(view->axis() == morvex::PlaneAxis::Coronal ? CViewLayout::Coronal
                                                                                      : CViewLayout::Sagittal);
    view->setDisplaySize(pane.width(), pane.height());
  }
}

void Morvex::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  fitViewsToImageArea();
}

void Morvex::reportWarning(const QString& text, const QString& file, const QString& reason) {
  if (warningBatchDepth_ == 0) {
    morvex::warningBox(this, reason.isEmpty() ? text : text + "\n" + QFileInfo(file).fileName() + ": " + reason);
    return;
  }
  batchedWarnings_.append({file, text, reason});
}

void Morvex::beginWarningBatch() { ++warningBatchDepth_; }

void Morvex::endWarningBatch() {
  if (warningBatchDepth_ == 0 || --warningBatchDepth_ > 0 || batchedWarnings_.isEmpty()) return;
  // the warning texts once each, then one line per file with its reason (the first 20 shown)
  QStringList texts, files, lines;
  for (const QStringList& w : batchedWarnings_) {
    const QString &file = w[0], &text = w[1], &reason = w[2];
    const QString why = reason.isEmpty() ? text : reason;
    std::fprintf(stderr, "import: %s: %s\n", qPrintable(file), qPrintable(why));
    if (text != tr("not a slice this program can read") && !texts.contains(text)) texts << text;
    const int at = files.indexOf(file);
    if (at < 0) {
      files << file;
      lines << QFileInfo(file).fileName() + ": " + why;
    } else if (!reason.isEmpty()) {
      lines[at] = QFileInfo(file).fileName() + ": " + why;  // a file's reason over its other texts
    }
  }
  if (lines.size() > 20) {
    const int more = lines.size() - 20;
    lines = lines.mid(0, 20) << tr("and %1 more").arg(more);
  }
  if (texts.isEmpty()) texts << tr("Some files could not be read.");
  batchedWarnings_.clear();
  morvex::warningBox(this, texts.join("\n") + "\n\n" + lines.join("\n"));
}
