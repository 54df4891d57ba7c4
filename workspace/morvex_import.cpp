// Series import, the file tree, the DICOM information panel, drag and drop.

#include <QCoreApplication>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QDir>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "analysis/chistogram_view.h"
#include "app/data_files.h"
#include "study/import_rules.h"
#include "study/mask_import.h"
#include "study/series_import.h"
#include "study/text_field.h"
#include "view/cimage.h"
#include "workspace/morvex.h"

namespace {

QString local(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

// Paths handed to the file functions are local 8-bit strings of at most 1023 bytes; a longer path
// is refused rather than cut into the name of another file.
bool toLocalPath(const QString& path, std::string& out) {
  const QByteArray bytes = path.toLocal8Bit();
  if (bytes.size() >= static_cast<int>(morvex::kPathCapacity)) {
    std::fprintf(stderr, "readDICOM(): path longer than %zu bytes skipped: %s\n", morvex::kPathCapacity - 1,
                 bytes.constData());
    return false;
  }
  out.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  return true;
}

}  // namespace

namespace {
const char* kLastFolderKey = "open/lastFolder";
}  // namespace

void Morvex::readDICOM() {
  // DICOM exports often carry no extension: every file can be chosen too
  readDICOM(QFileDialog::getOpenFileNames(this, tr("Select a file to open..."), defaultDirectory_,
                                          tr("Dicom Files (*.dcm)") + ";;" + tr("All files (*)")));
}

void Morvex::readFolder() {
  const QString folder = folderChooser_ ? folderChooser_(defaultDirectory_)
                                        : QFileDialog::getExistingDirectory(this, tr("Select a folder to open..."),
                                                                            defaultDirectory_);
  if (folder.isEmpty()) return;
  rememberOpenFolder({folder});
  openPaths({folder});
}

QString Morvex::lastOpenFolder() const {
  const QString folder = QSettings().value(kLastFolderKey).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void Morvex::rememberOpenFolder(const QStringList& paths) {
  const QFileInfo first(paths.value(0));
  const QString folder = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
  defaultDirectory_ = folder;
  QSettings().setValue(kLastFolderKey, folder);
}

void Morvex::scrollSlices(int steps) {
  const int series = study_.seriesOfFrame(currentFrame_);
  if (series < 0 || steps == 0) return;
  const int target = std::clamp(currentFrame_ + steps, study_.firstFrameOfSeries(series), study_.lastFrameOfSeries(series));
  if (target != currentFrame_) showNeighbourFrame(target - currentFrame_);
}

void Morvex::readDICOM(QStringList fileList) {
  if (fileList.isEmpty()) return;
  rememberOpenFolder(fileList);
  beginWarningBatch();
  readSlices(fileList);
  endWarningBatch();
  restoreRecoveredLabels();
}

void Morvex::readSlices(const QStringList& fileList) {
  const std::vector<std::string> names = morvex::readNameList("List");
  std::vector<std::string> paths;
  for (const QString& f : fileList) {
    std::string p;
    if (toLocalPath(f, p)) paths.push_back(p);
  }
  beginProgress();
  // The open study goes only once a new slice has decoded (files that load nothing change nothing),
  // and only when its unsaved labels were saved or may be discarded.
  const auto loaded = morvex::importSlices(study_, paths, names, [this](int p) { setProgress(p); }, [this] {
    if (!askBeforeDiscarding()) return false;
    deleteDICOMAll();
    return true;
  });
  {
    // building the tree moves its highlight item by item; only the final frame is shown
    const QSignalBlocker quiet(ui.treeWidget_FileDirectory);
    for (const morvex::ImportedSlice& s : loaded) {
      currentFrame_ = s.frameIndex;
      // the date node reads the series date, or date, number and description when the date holds
      // several series (known only once every file has loaded)
      const std::string caption = study_.seriesCaption(s.seriesIndex);
      addFileDirectoryItem(s.patientName.c_str(), caption.c_str(), s.instanceNumber, s.frameIndex);
    }
    endProgress();
    renumberFileTree();
  }
  std::printf("readDICOM(): %zu of %d files loaded\n", loaded.size(), static_cast<int>(fileList.size()));
  std::fflush(stdout);
  if (loaded.empty()) return;
  rememberSavedRevisions();  // what the files hold needs no autosave
  showImage(currentFrame_);
  selectedFrame(currentFrame_);
  // the slice is on screen before masks opened with the slices load: a view made by this import
  // is shown and the pending layouts are done now rather than from the event loop
  if (isVisible()) {
    for (CImage* view : imageViews_) view->show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (CImage* view : imageViews_) view->repaint();
  }
}

void Morvex::readMask() {
  readMask(QFileDialog::getOpenFileNames(this, tr("Select a file to open..."), defaultDirectory_,
                                         tr("Mask Image (*.png *.tiff *.nii *.nii.gz)")));
}

void Morvex::readMask(QStringList fileList) {
  if (fileList.isEmpty()) return;
  beginWarningBatch();
  readMasks(fileList);
  endWarningBatch();
}

void Morvex::readMasks(const QStringList& fileList) {
  beginSeriesEdit(0, study_.frameCount() - 1);  // a load of masks is one undo step
  beginProgress();
  int lastLoaded = -1;
  for (int i = 0; i < fileList.size(); ++i) {
    std::string path;
    if (toLocalPath(fileList[i], path)) {
      const int f = morvex::loadMaskFile(study_, path.c_str());
      if (f != -1) lastLoaded = f;
      loadPlansBeside(path, f);  // resection plans saved with the series' masks
    }
    setProgress(static_cast<int>((i + 1) * 100LL / fileList.size()));
  }
  endProgress();
  endSeriesEdit();
  if (lastLoaded < 0) return;
  // The frame of the last mask becomes the shown frame, exactly as choosing it in the tree: edits
  // and undo then act on the frame the user sees, and the readout counts the loaded labels.
  showImage(lastLoaded);
  selectedFrame(lastLoaded);
  labelsChanged();
}

void Morvex::beginProgress() {
  progressBar_->setValue(0);
  progressBar_->show();
  ui.treeWidget_FileDirectory->setUpdatesEnabled(false);
  ui.treeWidget_DICOMInfo->setUpdatesEnabled(false);
}

void Morvex::setProgress(int percent) {
  progressBar_->setValue(percent);
  progressBar_->repaint();
}

void Morvex::endProgress() {
  progressBar_->setValue(0);
  progressBar_->hide();
  ui.treeWidget_FileDirectory->setUpdatesEnabled(true);
  ui.treeWidget_DICOMInfo->setUpdatesEnabled(true);
}

QTreeWidgetItem* Morvex::patientItem(const QString& patientName) const {
  // Patients are top-level items only: a date or instance equal to a patient name never matches.
  QTreeWidget* tree = ui.treeWidget_FileDirectory;
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    if (tree->topLevelItem(i)->text(0) == patientName) return tree->topLevelItem(i);
  return nullptr;
}

void Morvex::addFileDirectoryItem(const char* ucPatientNum, const char* ucDate, int nInstanceNumber, int nFrameIdx) {
  QTreeWidget* tree = ui.treeWidget_FileDirectory;
  const QString patient = QString::fromLocal8Bit(ucPatientNum), date = QString::fromLocal8Bit(ucDate);
  QTreeWidgetItem* patientNode = patientItem(patient);
  if (!patientNode) {
    patientNode = new QTreeWidgetItem(tree, QStringList{patient});
    patientNode->setIcon(0, QIcon(morvex::dataFilePath("images/folder.png")));
  }
  QTreeWidgetItem* seriesNode = nullptr;
  for (int i = 0; i < patientNode->childCount() && !seriesNode; ++i)
    if (patientNode->child(i)->text(0) == date) seriesNode = patientNode->child(i);
  if (!seriesNode) {
    seriesNode = new QTreeWidgetItem(patientNode, QStringList{date});
    seriesNode->setIcon(0, QIcon(morvex::dataFilePath("images/calendar.png")));
  }
  const QString instance = QString::number(nInstanceNumber);
  for (int i = 0; i < seriesNode->childCount(); ++i)
    if (seriesNode->child(i)->text(0) == instance) return;  // a reloaded duplicate
  auto* frameNode = new QTreeWidgetItem(seriesNode, QStringList{instance, QString::number(nFrameIdx)});
  frameNode->setIcon(0, QIcon(morvex::dataFilePath("images/dcm.png")));
  tree->setCurrentItem(frameNode);
}

void Morvex::renumberFileTree() {
  for (int s = 0; s < study_.seriesCount(); ++s) {
    const int first = study_.firstFrameOfSeries(s);
    if (first < 0) continue;
    QTreeWidgetItem* patientNode = patientItem(local(study_.frame(first)->header.patientName));
    if (!patientNode) continue;
    for (int i = 0; i < patientNode->childCount(); ++i) {
      QTreeWidgetItem* seriesNode = patientNode->child(i);
      if (seriesNode->text(0) != local(study_.seriesCaption(s))) continue;
      for (int k = 0; k < seriesNode->childCount(); ++k) {
        seriesNode->child(k)->setText(0, QString::number(study_.instanceNumber(first + k)));
        seriesNode->child(k)->setText(1, QString::number(first + k));
      }
      break;
    }
  }
}

void Morvex::showImage(QTreeWidgetItem* item, int) {
  if (item && !item->text(1).isEmpty()) showImage(item->text(1).toInt());
}

void Morvex::followFileTreeHighlight(QTreeWidgetItem* item) {
  if (!item || item->text(1).isEmpty()) return;
  const int f = item->text(1).toInt();
  const int shown = imageViews_.isEmpty() ? -1 : imageViews_.first()->frameIndex();
  if (f == currentFrame_ && f == shown) return;
  showImage(f);
}

void Morvex::showImage(int nFrameIdx) {
  currentFrame_ = nFrameIdx;
  // looked at, not written: a write access would count as a change of the frame's labels
  const morvex::Study& study = study_;
  if (!study.intensities(nFrameIdx) || !study.labelImage(nFrameIdx) || !study_.selectionImage(nFrameIdx)) return;
  setSliceRange(study_.seriesOfFrame(nFrameIdx));
  bindSliceViews();
  imageViews_.first()->setDisplaySize(axialPaneSize().width(), axialPaneSize().height());
  setHistogramView();
  undoHistory_.setBaseline(snapshotImages(nFrameIdx));  // the history of other frames stays
  stopAllMode(false);
  prepareLiveWireMaps();
  if (previousFrame_ < 0 || study_.seriesOfFrame(nFrameIdx) != study_.seriesOfFrame(previousFrame_))
    reCalcRegionGroup(-1);
  showDICOMInfo(nFrameIdx);
  previousFrame_ = currentFrame_;
}

void Morvex::setSliceRange(int nGroupIdx) {
  const int low = study_.instanceNumber(study_.firstFrameOfSeries(nGroupIdx));
  const int high = study_.instanceNumber(study_.lastFrameOfSeries(nGroupIdx));
  for (QSpinBox* box : {ui.spinBox_Slice1, ui.spinBox_Slice2}) box->setRange(low, high);
  ui.spinBox_Slice1->setValue(low);
  ui.spinBox_Slice2->setValue(high);
}

void Morvex::selectedFrame(int nFrameIdx) {
  QTreeWidget* tree = ui.treeWidget_FileDirectory;
  const QString key = QString::number(nFrameIdx);
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    if ((*it)->text(1).isEmpty() || (*it)->text(1) != key) continue;
    tree->setCurrentItem(*it);
    tree->clearSelection();
    (*it)->setSelected(true);
    tree->scrollToItem(*it);
    return;
  }
}

void Morvex::deleteDICOMAll() {
  previousFrame_ = -1;  // the next shown frame belongs to a new series: statistics are recomputed
  discardRecoveryData();  // the user saved or discarded the study that goes
  recovery_.releaseAll();
  undoHistory_.clear();
  unsavedChanges_ = false;
  stopDivideRegion();
  ui.treeWidget_FileDirectory->clear();
  study_.clear();
  forgetPlans();
  resetStatistics();
  removeSliceViews();
  if (histogramView_) histogramView_->resetView();
  ui.treeWidget_DICOMInfo->clear();
}

void Morvex::showDICOMInfo(int nFrameIdx) {
  QTreeWidget* tree = ui.treeWidget_DICOMInfo;
  tree->clear();
  const morvex::Frame* f = study_.frame(nFrameIdx);
  if (!f) return;
  for (const auto& row : morvex::dicomInfoRows(f->header))
    new QTreeWidgetItem(tree, QStringList{QString::fromStdString(row.first), local(row.second)});
}

void Morvex::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !longRunActive()) event->acceptProposedAction();
}

void Morvex::dropEvent(QDropEvent* event) {
  if (longRunActive()) return;
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) paths << url.toLocalFile();
  openPaths(paths);
}

void Morvex::openPaths(const QStringList& paths) {
  beginWarningBatch();  // one message for the slices and masks of one drop
  openDroppedPaths(paths);
  endWarningBatch();
}

void Morvex::openDroppedPaths(const QStringList& paths) {
  QStringList slices, masks;
  auto sort = [&](const QString& path, bool insideFolder) {
    std::string p;
    if (!toLocalPath(path, p)) return;
    switch (morvex::classifyDroppedFile(p, insideFolder)) {
      case morvex::DropKind::Slice: slices << path; break;
      case morvex::DropKind::Mask: masks << path; break;
      case morvex::DropKind::Ignored: break;
    }
  };
  for (const QString& path : paths) {
    if (path.isEmpty()) continue;
    if (QFileInfo(path).isDir()) {
      QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
      while (it.hasNext()) sort(it.next(), true);
    } else {
      sort(path, false);
    }
  }
  if (!slices.isEmpty()) readSlices(slices);
  // Folder listings come in no particular order: masks load in natural order too, so the last
  // mask (which becomes the current frame) is the last slice's.
  std::stable_sort(masks.begin(), masks.end(), [](const QString& a, const QString& b) {
    return morvex::naturalLess(a.toStdString(), b.toStdString());
  });
  const bool newStudy = !slices.isEmpty() && study_.frameCount() > 0 && !unsavedChanges_;
  readMask(masks);
  if (newStudy && !masks.isEmpty()) {
    // masks opened with their slices are where the study starts, not an edit to take back
    undoHistory_.clear();
    undoHistory_.setBaseline(snapshotImages(currentFrame_));
    unsavedChanges_ = false;
    if (autosaveTimer_) autosaveTimer_->stop();
    rememberSavedRevisions();
  }
  // recovered labels go over the masks just loaded (older files of a save before the crash)
  restoreRecoveredLabels();
  for (int s = 0; s < study_.seriesCount(); ++s) reCalcRegionGroup(s);
  // the statistics record ends on the shown series, whatever series came last
  if (study_.frameCount() > 0) labelsChanged();
}
