#pragma once
// The main window: owns the study and every view, and wires the widgets of its form to the
// operations of the program. Slot definitions are split by concern (morvex_import.cpp, ...).

#include <QFutureWatcher>
#include <QLineF>
#include <QMainWindow>
#include <QPointer>
#include <QPolygonF>
#include <QStringList>
#include <functional>
#include <map>
#include <thread>
#include <memory>
#include <optional>

#include "analysis/area_statistics.h"
#include "planning/resection_plan.h"
#include "segmentation/liver_divider.h"
#include "segmentation/slice_interpolation.h"
#include "study/label_table.h"
#include "view/edit_ops.h"
#include "view/live_wire.h"
#include "view/plane_reformat.h"
#include "view/view_layout.h"
#include "study/study.h"
#include "ui_morvex.h"
#include "workspace/background_run.h"
#include "workspace/tool_mode.h"
#include "workspace/recovery_store.h"
#include "workspace/undo_history.h"

class CHistogramView;
class PlanPanel;
class CImage;
class CPlaneView;
class CSurfaceView;
class QDockWidget;
namespace morvex::view3d {
struct SliceStack;
}
class QProgressBar;
class QTimer;
template <typename T>
class QFutureWatcher;
class QTreeWidgetItem;

class Morvex : public QMainWindow {
  Q_OBJECT

 public:
  explicit Morvex(QWidget* parent = nullptr);
  ~Morvex() override;

  morvex::Study& study() { return study_; }
  const morvex::LabelTable& labelTable() const { return labelTable_; }
  Ui::MorvexClass& form() { return ui; }
  QProgressBar* progressBar() const { return progressBar_; }
  const morvex::AreaStatistics& areaStatistics() const { return areaStatistics_; }
  const morvex::AreaStatistics& selectedAreaStatistics() const { return selectedAreaStatistics_; }
  int currentFrame() const { return currentFrame_; }

  // Display state read by the slice views.
  CHistogramView* displayHistogram() const { return histogramView_; }
  CHistogramView* liverHistogram() const { return liverHistogramView_; }
  const QList<CImage*>& imageViews() const { return imageViews_; }
  CImage* activeView() const { return activeView_; }
  int currentLabel() const { return currentLabel_; }
  void setCurrentLabel(int value) { currentLabel_ = value; }
  float opacity() const { return opacity_; }
  void setOpacityValue(float value) { opacity_ = value; }
  bool outlineMode() const { return outlineMode_; }
  void setOutlineMode(bool on) { outlineMode_ = on; }
  bool displayAnnotation() const { return displayAnnotation_; }
  ToolMode toolMode() const { return toolMode_; }
  int brushSize() const { return brushSize_; }
  int lineWidth() const { return lineWidth_; }
  int liverOption() const { return liverOption_; }
  bool liver3D() const { return liver3D_; }
  bool adjustIntensityMode() const { return adjustIntensityMode_; }
  bool roiMode() const { return roiMode_; }
  bool ctrlHeld() const { return ctrlHeld_; }
  bool spaceHeld() const { return spaceHeld_; }
  bool liverHistogramMode() const { return liverHistogramMode_; }
  bool liveWireSelected() const { return liveWire_; }
  bool liveWireClosed() const { return liveWireClosed_; }
  // The contour being traced, null between contours.
  const morvex::LiveWire* liveWire() const { return liveWireTool_.get(); }
  int sliceStart() const { return sliceStart_; }
  int sliceEnd() const { return sliceEnd_; }
  const morvex::UndoHistory& undoRing() const { return undoHistory_; }
  // Records the shown frame's edit since its last step as one undo step (the kind of the design's
  // ring is kept by the callers; a step always restores the slice as it was before it).
  void pushUndo(int kind);
  // Label changes not yet saved (or autosaved for recovery) exist.
  bool hasUnsavedChanges() const { return unsavedChanges_; }
  // An operation over many frames is one undo step: begin before it writes (frames first..last,
  // the current series when first is -1), end after. Nested pairs make one step.
  void beginSeriesEdit(int first = -1, int last = -1);
  void endSeriesEdit();
  struct SeriesEditScope {
    Morvex& window;
    explicit SeriesEditScope(Morvex& m, int first = -1, int last = -1) : window(m) { m.beginSeriesEdit(first, last); }
    ~SeriesEditScope() { window.endSeriesEdit(); }
    SeriesEditScope(const SeriesEditScope&) = delete;
    SeriesEditScope& operator=(const SeriesEditScope&) = delete;
  };
  // Before unsaved labels would be lost: asks Save / Discard / Cancel. True when the caller may go
  // on (saved, discarded, or nothing to lose).
  bool askBeforeDiscarding();
  // Autosave for crash recovery, at most a period after the first unsaved change however the user
  // keeps editing: the frames changed since the last autosave are copied here and written off the
  // interface thread as a new recovery point. restoreRecoveredLabels, called once the slices and
  // the masks opened with them are in, offers what a session that did not close left for the open
  // series, and drops it only when the user declines. closeCleanly (and a save) remove the data.
  void autosave();
  void restoreRecoveredLabels();
  void closeCleanly();
  const morvex::RecoveryStore& recoveryStore() const { return recovery_; }
  // The masks of the newest recovery point of a series (empty when there is none).
  std::vector<std::string> recoveryPointOf(int nGroupIdx) const { return recovery_.recoveryPoint(seriesKey(nGroupIdx)); }
  // LiverSeg and the vessel growth run on a worker thread: meanwhile the window repaints, the
  // progress bar moves, every edit is blocked and the Cancel button beside the bar stops the run,
  // leaving the labels as they were before it.
  bool longRunActive() const { return longRun_ != nullptr; }
  QPushButton* cancelButton() const { return cancelButton_; }
  // Asks the run under way to stop; closeAfter closes the window once it has stopped.
  void cancelLongRun(bool closeAfter = false);
  void setActiveView(CImage* view) { activeView_ = view; }
  // The folder dialog of the save command (tests answer it without a dialog).
  void setDirectoryChooser(std::function<QString()> chooser) { directoryChooser_ = std::move(chooser); }
  // Shows the frame step positions away in the file tree (nothing past either end).
  void showNeighbourFrame(int step);
  bool isInROIRange(int x, int y) const { return roi().contains(x, y); }
  morvex::Roi roi() const;
  // Right click in cut mode: the connected liver part under the pointer is removed.
  void deleteObjectAt(const QPoint& imagePoint);
  // The view slot selectLayer: the object at p moves to another layer.
  void moveObjectToLayer(const QPoint& p, int nLayerIdx);
  // The division tool while it is active (null otherwise), and the pointer events the slice view
  // forwards to it, in image coordinates of frame nFrameIdx. dividerMove is true when the view
  // should show a change.
  const morvex::CLiverDivider* liverDivider() const { return liverDivider_.get(); }
  void dividerPress(int nFrameIdx, const QPoint& p);
  bool dividerMove(int nFrameIdx, const QPoint& p, bool bLeftHeld);
  void dividerRelease(int nFrameIdx, const QPoint& p, bool bInside);

  // Fill between slices: while its preview is shown, the pixels a frame of the previewed range
  // would gain (width x height, nonzero where filled), or null; the preview follows label edits.
  const std::vector<uint8_t>* fillPreviewMask(int nFrameIdx);
  bool fillPreviewShown() const { return fillPlan_.has_value(); }
  const morvex::SliceFillPlan* fillPlan() const { return fillPlan_ ? &*fillPlan_ : nullptr; }

  // Files and folders named on the command line or dropped on the window: folders contribute
  // every file below them; slices are imported first, then the masks are loaded onto them.
  void openPaths(const QStringList& paths);

  // Open Folder: every slice below a chosen folder. The open dialogs start in the folder of the
  // last open (kept across sessions); tests answer the folder dialog through the chooser.
  void readFolder();
  void setFolderChooser(std::function<QString(const QString& start)> chooser) { folderChooser_ = std::move(chooser); }
  QString lastOpenFolder() const;
  // Slices k positions away within the shown series, clamped to its ends (coalesced wheel steps).
  void scrollSlices(int steps);
  // Archive access (morvex_archive.cpp): nodes, query / retrieve, sending what Save wrote.
  void showArchiveNodes();
  void showArchiveQuery();
  void sendToArchive();
  // The DICOM Segmentations the last Save wrote (offered by Send to archive).
  const QStringList& savedSegmentations() const { return savedSegmentations_; }
  // Resection planning (morvex_planning.cpp): named plans per series, an overlay that never
  // changes the labels. planSideClick takes a click on a slice while the side to remove is being
  // chosen (true: the click was taken); planReadoutLine is the active plan's line of the readout.
  PlanPanel* planPanel() const { return planPanel_; }
  const morvex::PlanSet& planSetOf(int nGroupIdx) { return planSets_[nGroupIdx]; }
  const morvex::PlanFigures& planFigures() const { return planFigures_; }
  bool planSideClick(int nFrameIdx, const QPoint& p);
  QString planReadoutLine() const;
  // Writes the PDF report of the shown series (its active plan included) to path; false, with a
  // warning naming the file, when it cannot.
  bool writePlanReport(const QString& path, bool showIdentity);
  // The file dialog of the report (tests answer it without a dialog).
  void setReportPathChooser(std::function<QString()> chooser) { reportPathChooser_ = std::move(chooser); }

 public slots:
  // Redraws every slice view.
  void redrawAll();
  // Fits every slice view to the current size of the image area, then redraws.
  void fitViewsToImageArea();

  // Display window: presets, the WL / WW boxes and the histogram handles.
  void setHistogramView();
  void setHistogramValue(int nValue);
  void setHistogramValue(int nCurrentMinValue, int nCurrentMaxValue);
  void setDisplayAnnotationState();
  void changeInvertMode();

  // Tools and switches.
  void setLiveWireState();
  void setSelectionToolState();
  void setBrushState();
  void setEraserState();
  void setCutState();
  void setAddState();
  void setBodyRegionGrowingState();
  void setAdjustIntensityState();
  void setROIState();
  void stopAllMode(bool bStopAllMode);
  void stopLiveWireMode();
  // Live wire: clicks arrive with every release (moves are ignored); Backspace drops the last seed.
  void mouseEvent_LiveWire(QMouseEvent* event, bool bMouseClicked, bool bMouseDoubleClicked, bool bMouseMove);
  void addSeedPoint_LiveWire(QPoint qpMousePoint);
  void keyboardEvent_LiveWire(QKeyEvent* event);
  void stopDivideRegion();
  void stopVesselHistogramMode();
  void changeTab(int id);
  void slotSlice(int n);
  void syncMouseCursorShape(bool bChangeShape);
  void setBrushSize(int nBrushSize);
  void setOpacity(int nOpacity);
  void deSelectObjectGroup();

  // Label layers.
  void addLayerItem(const char* ucItemName, const char* ucParentItemName, int r, int g, int b, bool bEnable, bool bVisible);
  void addLayerItem(const char* ucItemName, const char* ucParentItemName, int r, int g, int b, bool bEnable);
  void addLayerItem(const char* ucItemName, const char* ucParentItemName, int r, int g, int b);
  void addLayerItem(const char* ucItemName, const char* ucParentItemName, int r, int g);
  void addLayerItem(const char* ucItemName, const char* ucParentItemName, int r);
  void addLayerItem(const char* ucItemName, const char* ucParentItemName);
  void addLayerItem(const char* ucItemName);
  void setVisibleLayerItem(const char* ucItemName, bool bOnOff);
  void showLabelImage(QTreeWidgetItem* item, int column);
  void showLabelImage(int nLabelIdx);
  void expandLayerItem(QTreeWidgetItem* item);
  int getLabelIdx(const char* pcLabelName) const { return labelTable_.getLabelIdx(pcLabelName); }

  // Fill between slices of the current label over the current series (or the slice range boxes):
  // the preview first; Apply writes it as one undo step, Cancel drops it.
  void fillBetweenSlices();
  void applyFillBetweenSlices();
  void cancelFillBetweenSlices();

  // Undo and redo: the step's frame is shown first; a multi-frame step restores every frame.
  void undoHistory();
  void redoHistory();

  // Editing operations on the shown frame (stroke and press position from the active view).
  void selectObject(int nToolMode, int nOption);
  void deleteObject();
  void refineObject(int nOption);
  void addObject(int nLabelIdx);
  void applySelectedRegion();
  void applySelectedRegion(int nLabelIdx);
  void deSelectObject();
  void deleteAll();
  void setSelectedAreaToLabel2D(int nFrameIdx, int nLabelIdx);
  void setSelectedAreaToLabel3D(int nLabelIdx);
  void setSelectedAreaToVessel();
  void setROIRegion(QPoint qpTopLeft, QPoint qpBottomRight);

  // With the Cancer label current, a click of the selection tool labels the lesion under it in 3D
  // (morvex_tumour.cpp); false when it labelled nothing (another label, no lesion at the click: the
  // status bar says why) and the selection tool goes on as usual.
  bool tumourFromClick(const QPoint& p);

  // Liver segmentation of the current series and its options.
  int liverSegmentation();
  void changeLiverOption();
  void clickLiverOptionLeft();
  void clickLiverOptionRight();
  void setLiver2D3DOption(int id);
  void liverUnion(int nFrameIdx);
  void liverUnion();

  // Division of the liver into left and right: each slot starts its mode or, pressed again, ends it.
  void changeDivideArea();
  void changeDivideAreaInterpolation();
  void changeDivideAreaSingle();

  // Export: masks, series TIFFs, histograms, statistics, reports and contrast images.
  void saveFileDir();
  void saveFile_png(const char* pcRootPath, int nFrameIdx, bool bGroup, bool bBinary, const char* pcExtension);
  void saveFile_png(const char* pcRootPath, int nFrameIdx, bool bGroup, bool bBinary);
  void saveFile(const char* pcRootPath, int nFrameIdx);
  void saveFile_tiff(const char* pcRootPath, int nGroupIdx);
  void saveFileAll();
  void saveFileCurrent();
  void saveGroupHistogram(const char* pcRootPath, int nGroupIdx);
  void saveGroupHistogram();
  void saveGroupHistogram2(const char* pcRootPath, int nGroupIdx);
  void saveGroupHistogram2();
  void saveHistogram(const char* pcRootPath, int nFrameIdx);
  void saveHistogram();
  void saveReport(const char* pcRootPath);
  void saveReport(const char* pcRootPath, int nGroupIdx);
  void saveReport();
  void saveContrastImage(const char* pcRootPath, int nFrameIdx, const char* pcExtension);
  void saveContrastImage(const char* pcRootPath, int nFrameIdx);

  void readDICOM();
  void readDICOM(QStringList fileList);
  void readMask();
  void readMask(QStringList fileList);
  void addFileDirectoryItem(const char* ucPatientNum, const char* ucDate, int nInstanceNumber, int nFrameIdx);
  void showImage(QTreeWidgetItem* item, int column);
  void showImage(int nFrameIdx);
  void selectedFrame(int nFrameIdx);
  void deleteDICOMAll();
  void showDICOMInfo(int nFrameIdx);

  // Label clean-up and body segmentation of the current frame.
  void deNoiseObject();
  void reLabeling(int nFrameIdx, unsigned char* pucBeforeLabelImage, unsigned char* pucAfterLabelImage);
  void bodySegmentation();

  // Region statistics: the labels (or the working selection) of a series; -1 is the current series.
  void calcGroupAreaStatistic(int nGroupIdx);
  void calcGroupSelectedAreaStatistic(int nGroupIdx);
  void reCalcRegionGroup();
  void reCalcRegionGroup(int nGroupIdx);

  // Analysis page and vessel tools: liver pixels selected by an intensity interval (options
  // 1 "< low", 2 "low~high", 3 ">high"; areas 1 whole liver, 2 right lobe, 3 left lobe), the
  // automatic liver interval, vessel histogram mode and the vessel growth of the shown series.
  void selectHistogramRange2D(int nFrameIdx, int sMinValue, int sMaxValue, int nOption);
  void selectHistogramRange3D(int sMinValue, int sMaxValue, int nOption);
  int getHistogramOption() const;
  int getLiverAnalysisAreaOption() const;
  void setHistogramOption();
  void setLiverHistogramThresholdAuto();
  void vesselSegmetationHistogram();
  void vesselSegmentation();

 public:
  bool vesselHistogramMode() const { return vesselHistogramMode_; }
  // The 3D view of the shown series' labels, in a dock hidden until the status bar's "3D" button
  // shows it (morvex_view3d.cpp). refreshSurfaceView hands it the labels, visibility, opacity and
  // slice of now; it does nothing while the view is hidden or unavailable.
  CSurfaceView* surfaceView() const { return surfaceView_; }
  QDockWidget* surfaceDock() const { return surfaceDock_; }
  void refreshSurfaceView();
  void placeSurfaceView();  // the fourth pane of the three-plane layout, else the dock

  // --- Three planes (morvex_planes.cpp) ---
  // The image area shows the axial view alone ("One", the default) or beside the coronal and
  // sagittal planes ("1 + 2"); the choice is kept in the settings. The axial slice stays the
  // current frame; the crosshair (x, y of the current frame) picks the coronal row and the
  // sagittal column.
  void setThreePlanes(bool on);
  void toggleThreePlanes() { setThreePlanes(!threePlanesShown()); }
  bool threePlanesShown() const { return viewArea_ && viewArea_->mode() == CViewLayout::Mode::OnePlusTwo; }
  CViewLayout* viewArea() const { return viewArea_; }
  // A fourth pane beside the planes: "1 + 2" becomes a 2 x 2 grid.
  void setExtraPane(QWidget* pane);
  const QList<CPlaneView*>& planeViews() const { return planeViews_; }
  // The frames the planes cross (those of the current frame's series and size).
  morvex::PlaneStack planeStack() const { return morvex::collectPlaneStack(study_, currentFrame_); }
  // The plane a view shows: coronal the crosshair's row, sagittal its column, axial the stack row.
  int planeIndex(morvex::PlaneAxis axis) const;
  QPoint crosshair() const;
  // Moves the crosshair to a point of a plane (axial: an image point of the current frame); a
  // point on another slice shows that frame.
  void moveCrosshair(morvex::PlaneAxis axis, const QPoint& planePoint);
  // The wheel over a view: the next plane along its axis.
  void stepPlane(morvex::PlaneAxis axis, int step);
  // What a left press in a view does: move the crosshair (Shift, or a tool that does not edit),
  // draw a stroke (brush, eraser), seed a region (selection tool, body region growing), or
  // nothing but a message (tools that work on the axial slice only).
  enum class PlaneGesture { Navigate, Stroke, Seed, Refuse, PlanLine };
  PlaneGesture planeGesture(Qt::KeyboardModifiers modifiers) const;
  // The current tool applied in a coronal or sagittal plane (stroke in plane pixels, pen width
  // in plane columns), written into the frames it crosses as one undo step.
  void editInPlane(morvex::PlaneAxis axis, const std::vector<morvex::ImagePoint>& stroke, double penColumns);
  // A line dragged in a coronal or sagittal view (plane pixels) with the plan's plane tool: the
  // active plan cuts along it. Where the active plane plan crosses a view, in its pixels (centres
  // at +0.5); a null line when it does not.
  void planLineInPlane(morvex::PlaneAxis axis, const QPoint& from, const QPoint& to);
  QLineF planCut(morvex::PlaneAxis axis) const;
  // The active key-line plan's cut in a view, as its side maps cut (the line continued to the image
  // border), in the view's pixels (centres at +0.5): on the axial slice shown one piece; in a
  // coronal or sagittal view where each slice's cut crosses it, in pieces broken where a slice's
  // cut misses it. Empty when the active plan has no key line or the slices are of another size
  // than the series' first.
  QList<QPolygonF> planKeyLineCut(morvex::PlaneAxis axis) const;
  void refuseInPlane();
  // The display window (low, high) and inversion the axial view uses.
  std::pair<int, int> displayWindow() const;
  bool invertShown() const { return invert_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setupActions();
  void setupArchiveMenu();
  QString archiveCacheFolder() const;
  QStringList savedSegmentations_;
  void setupToolButtonPictures();
  void setupHistogramViews();
  void setupScrollingToolColumn();
  void setupLayers();
  morvex::SliceEdit currentSliceEdit();
  // The tail of every edit of the shown frame: vessel labels outside the liver taken back (when
  // the labels before the edit are given), statistics, undo push (kind > 0), redraw.
  void finishEdit(const std::vector<uint8_t>* labelsBefore, int undoKind);
  // Every path that changes labels ends here: the statistics of the shown series and the views.
  void labelsChanged();
  std::vector<morvex::FrameImages> frameImages(int first, int last);
  morvex::FrameImages frameImages(int frame);
  // The same images for a snapshot that only reads them: the frames do not count as changed.
  std::vector<morvex::FrameImages> snapshotImages(int first, int last) const;
  morvex::FrameImages snapshotImages(int frame) const;
  void undoStep(bool redo);
  // Analysis page internals: wiring, the liver histogram of the shown series, a handle change of
  // the liver histogram, the selected-pixel trees.
  void connectAnalysisSignals();
  void refreshLiverHistogram();
  void liverHistogramChanged(int nMinValue, int nMaxValue);
  void showSelectedAreaStatistics();
  // Shows the frame of the file tree's highlighted item unless it is already the shown frame.
  void followFileTreeHighlight(QTreeWidgetItem* item);
  // Warnings of one import are gathered into one message naming each file with its reason.
  void readSlices(const QStringList& fileList);
  void readMasks(const QStringList& fileList);
  void openDroppedPaths(const QStringList& paths);
  void beginWarningBatch();
  void endWarningBatch();
  // text is the warning, reason (may be empty) why the file was refused.
  void reportWarning(const QString& text, const QString& file, const QString& reason = QString());
  // One write of a save command; a failed write (or a path that did not fit) is logged and recorded.
  bool writeTo(const std::string& path, const char* operation, const std::function<bool(const std::string&)>& write);
  // The series' labels as a DICOM Segmentation; the reason of a failure goes to standard error.
  bool writeSegmentation(const std::string& path, int nGroupIdx);
  // Ends a save command: names every file that failed in one message, else says where it saved.
  bool endSave(const QStringList& folders);
  // Live wire: a contour starts with its cost maps, a closed one is written into the shown frame,
  // a discarded one leaves the tool selected.
  bool startLiveWireContour();
  // While live wire is selected and no contour is on the way, the shown slice's cost maps are
  // computed on a worker thread, so that the first click finds them ready. One computation at a
  // time: when it ends on a slice no longer shown, the shown one follows.
  void prepareLiveWireMaps();
  void commitLiveWireContour();
  void discardLiveWireContour();
  void selectTool(ToolMode mode, QPushButton* button, const char* logName, bool refreshCursor);
  // The window's keys (slices, tools, opacity, brush size, zoom); true when the key was one of them.
  // Keys sent to a child widget reach them too, except in a text or number field being edited.
  bool windowKey(QKeyEvent* event);
  bool routeKeyToWindow(QObject* watched, QKeyEvent* event);
  // Zoom keys: + and - about the pointer (the view's centre when the pointer is elsewhere), fit.
  void zoomActiveView(float factor);
  void fitActiveView();
  QTreeWidgetItem* findLayerItem(const QString& name) const;
  void bindSliceViews();
  void removeSliceViews();
  void connectSignals();
  void beginProgress();
  // Runs job on a worker thread as a long run (see longRunActive); false when it was cancelled.
  // The job must work on copies: the study stays with this thread.
  bool runLongJob(const QString& name, const std::function<void(morvex::WorkerControl&)>& job);
  void setEditsBlocked(bool blocked);
  // Writes the labels of a work copy of series (its frame 0 is frame first here) into the frames
  // whose labels differ.
  void copyLabelsBack(const morvex::Study& work, int first, int series);
  void setProgress(int percent);
  void endProgress();
  void renumberFileTree();
  void resetStatistics();
  // Folder of the frame's file (its path up to the last '/'), "" when the path has none.
  std::string dicomFolderOf(int nFrameIdx) const;
  void writeMaskPass(int frameCount, bool contrast);
  // Both slice-range boxes span the instance numbers of the series.
  void setSliceRange(int nGroupIdx);
  QTreeWidgetItem* patientItem(const QString& patientName) const;
  void startDivider(morvex::CLiverDivider::Mode mode, QPushButton* button, const char* logName);
  void applyDivider();

  Ui::MorvexClass ui;
  morvex::Study study_;
  morvex::LabelTable labelTable_;
  QProgressBar* progressBar_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  morvex::WorkerControl* longRun_ = nullptr;
  bool closeAfterLongRun_ = false;
  // the enabled state of each action before a long run blocked them, and the focus it took
  std::vector<std::pair<QAction*, bool>> blockedActions_;
  QPointer<QWidget> focusBeforeLongRun_;
  QString defaultDirectory_;
  morvex::AreaStatistics areaStatistics_{morvex::defaultLabelTable().size()};
  morvex::AreaStatistics selectedAreaStatistics_{1};
  morvex::SeriesStatistics seriesStatistics_;
  morvex::SeriesStatistics selectionStatistics_;
  CHistogramView* histogramView_ = nullptr;
  CHistogramView* liverHistogramView_ = nullptr;
  QList<CImage*> imageViews_;
  CImage* activeView_ = nullptr;
  int currentLabel_ = 0;
  float opacity_ = 0.5f;
  bool outlineMode_ = false;
  bool displayAnnotation_ = true;
  bool invert_ = false;
  ToolMode toolMode_ = ToolMode::NoMode;
  int brushSize_ = 5;
  int lineWidth_ = 1;
  bool adjustIntensityMode_ = false;
  bool roiMode_ = false, roiSet_ = false;
  int roi_[4] = {0, 0, 0, 0};
  bool ctrlHeld_ = false;
  bool spaceHeld_ = false;
  bool liverHistogramMode_ = false;
  bool vesselHistogramMode_ = false;
  bool liverAutoRequest_ = false;  // the next liver histogram refresh sets the automatic interval
  bool liveWire_ = false, liveWireClosed_ = false;
  std::unique_ptr<morvex::LiveWire> liveWireTool_;  // the contour being traced, if any
  std::unique_ptr<morvex::LiveWire> liveWireSpare_;  // the last contour's engine, reused by the next
  // The engine whose maps a worker computes: touched here only once liveWireMaps_ has finished.
  std::unique_ptr<morvex::LiveWire> liveWirePrepared_;
  QFutureWatcher<void> liveWireMaps_;
  int sliceStart_ = 0, sliceEnd_ = 0;
  morvex::UndoHistory undoHistory_;
  int liverOption_ = 2;
  bool liver3D_ = true;
  std::function<QString()> directoryChooser_;
  int currentFrame_ = -1;
  int previousFrame_ = -1;
  QStringList failedWrites_;
  int warningBatchDepth_ = 0;
  QList<QStringList> batchedWarnings_;  // file, warning text, reason (may be empty)
  QAction* actionRedo_ = nullptr;
  bool unsavedChanges_ = false;
  void markUnsaved();
  void discardRecoveryData();
  void rememberSavedRevisions();
  std::string seriesKey(int nGroupIdx) const;
  morvex::RecoveryStore recovery_;
  QTimer* autosaveTimer_ = nullptr;
  std::thread autosaveWorker_;
  std::map<uint64_t, uint64_t> autosavedRevision_;
  std::map<uint64_t, uint64_t> savedRevision_;  // as the files hold them (last save or load)
  std::atomic<bool> autosaveFailed_{false};      // set by the worker: the last point is behind
  int seriesEditDepth_ = 0;
  int seriesEditFirst_ = -1, seriesEditLast_ = -1;
  std::unique_ptr<morvex::CLiverDivider> liverDivider_;
  // Fill between slices: the action, the preview's plan, the label revisions it was planned from
  // (one per frame of its range) and its Apply / Cancel buttons.
  void setupFillBetweenSlices();
  // Window fit and control help (morvex_layout.cpp); last open folder (morvex_import.cpp).
  void moveWindowPanelToFileColumn();
  void setupToolTips();
  void rememberOpenFolder(const QStringList& paths);
  std::function<QString(const QString&)> folderChooser_;
  QAction* actionOpenFolder_ = nullptr;
  void refreshFillPreview();
  void showFillOutcome(const morvex::SliceFillPlan& plan, bool bApplied);
  void endFillPreview();
  QAction* actionFillBetweenSlices_ = nullptr;
  std::optional<morvex::SliceFillPlan> fillPlan_;
  std::vector<std::pair<uint64_t, uint64_t>> fillRevisions_;  // (frame uid, label revision)
  QPushButton* fillApplyButton_ = nullptr;
  QPushButton* fillCancelButton_ = nullptr;
  // Three planes: the panes, the plane views, the crosshair and the layout's toolbar action.
  void setupPlaneViews();
  void redrawPlanes();
  QSize axialPaneSize() const;
  void finishPlaneEdit(std::vector<morvex::VoxelChange> changes, const morvex::FrameRevisions& written);
  CViewLayout* viewArea_ = nullptr;
  QList<CPlaneView*> planeViews_;
  QPoint crosshair_{-1, -1};
  QAction* actionThreePlanes_ = nullptr;
  void setupSurfaceView();
  CSurfaceView* surfaceView_ = nullptr;
  QDockWidget* surfaceDock_ = nullptr;
  QPushButton* surfaceToggle_ = nullptr;
  QTimer* surfaceTimer_ = nullptr;
  std::shared_ptr<morvex::view3d::SliceStack> surfaceStack_;  // the labels it was last given
  int surfaceSeries_ = -1;

  // --- resection planning (morvex_planning.cpp) ---
  void setupPlanning();
  int planSeries() const;
  morvex::PlanSet* currentPlanSet();
  void pushPlanUndo();
  void refreshPlans();
  void refreshPlanList();
  void showPlanFigures();
  void watchPlanLabels();
  void planLabelsEdited();
  void startPlanFigures();
  void planFiguresArrived();
  void forgetPlans();
  void setPlanPlaneTool(bool on);
  void addPlan();
  void renamePlan(int index, const QString& name);
  void deletePlan(int index);
  void undoPlan();
  void activatePlan(int index);
  void takeKeyLinesIntoPlan();
  void choosePlanSide();
  void setPlanThresholds(double remnantPercent, double marginMm);
  void reportFromPanel(bool showIdentity);
  void savePlansBeside(const std::string& maskPath, int nGroupIdx);
  void loadPlansBeside(const std::string& maskPath, int nFrameIdx);
  int seriesOfMaskFile(const std::string& maskPath, int nFrameIdx) const;
  std::map<int, morvex::PlanSet> planSets_;
  std::vector<std::pair<int, morvex::PlanSet>> planUndo_;
  morvex::PlanFigures planFigures_;
  PlanPanel* planPanel_ = nullptr;
  bool planSidePending_ = false;
  std::function<QString()> reportPathChooser_;
  // The figures follow the labels: the series and label revisions they were made of, the poll and
  // the pause after an edit that look for changes, the worker that makes them again.
  std::shared_ptr<morvex::PlanLabelCache> planLabelCache_ = std::make_shared<morvex::PlanLabelCache>();
  int planShownSeries_ = -2;
  std::vector<uint64_t> planShownRevisions_;
  QTimer* planPoll_ = nullptr;
  QTimer* planPause_ = nullptr;
  QFutureWatcher<morvex::PlanFigures>* planWatcher_ = nullptr;
  uint64_t planRequest_ = 0, planJobRequest_ = 0;  // a worker's answer to an older request is dropped
  bool planJobAgain_ = false;
  bool planPlaneTool_ = false;
};
