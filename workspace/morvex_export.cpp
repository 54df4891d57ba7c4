// Export of masks, series TIFFs, histogram / statistics / report files and contrast images.
// Every file is written under a temporary name and renamed over its target when complete.

#include <QDir>
#include <QFileDialog>
#include <QProgressBar>
#include <QStatusBar>
#include <cstdio>
#include <set>
#include <vector>

#include "export/atomic_file.h"
#include "export/dicom_seg.h"
#include "export/mask_writer.h"
#include "export/report_writer.h"
#include "study/text_field.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {
constexpr const char* kResult = "Result";

// The series part is the series date, or date and series number when the date holds several series.
// Every part taken from the header is made safe for a file name.
std::string fileNameOf(const char* pattern, const morvex::Study& study, const morvex::SliceHeader& h,
                       const char* suffix = "") {
  using morvex::fileNamePart;
  return std::string(pattern) + "_" + fileNamePart(h.patientId) + "_" + fileNamePart(h.patientName) + "_" +
         fileNamePart(study.seriesFileKeyOf(h)) + suffix;
}

// "Result" is not created: a histogram command skips it silently when it is missing.
bool resultFolderExists() { return QDir(kResult).exists(); }

// The folders a histogram command writes to: the slices' folder (when known) and "Result" (when
// it exists).
QStringList savedFolders(const std::string& dicom) {
  QStringList folders;
  if (!dicom.empty()) folders << QString::fromLocal8Bit(dicom.c_str());
  if (resultFolderExists()) folders << kResult;
  return folders;
}
}  // namespace

bool Morvex::writeTo(const std::string& path, const char* operation,
                     const std::function<bool(const std::string&)>& write) {
  // joinPath has logged a path that does not fit; the write itself is not tried then.
  const bool ok = !path.empty() && write(path);
  if (!ok) {
    const QString shown = path.empty() ? tr("(a path longer than 1023 bytes)") : QString::fromLocal8Bit(path.c_str());
    std::fprintf(stderr, "%s: could not write %s\n", operation, path.c_str());
    failedWrites_ << shown;
  }
  return ok;
}

bool Morvex::askBeforeDiscarding() {
  if (!unsavedChanges_ || study_.frameCount() == 0) return true;
  switch (morvex::askToSave(this, tr("The labels have unsaved changes. Save them first?"))) {
    case morvex::Answer::Save:
      saveFileDir();
      return !unsavedChanges_;  // a cancelled or failed save keeps the work and stops here
    case morvex::Answer::Discard: return true;
    default: return false;
  }
}

bool Morvex::endSave(const QStringList& folders) {
  const bool ok = failedWrites_.isEmpty();
  if (!ok) {
    QStringList lines = failedWrites_.mid(0, 20);
    if (failedWrites_.size() > 20) lines << tr("and %1 more").arg(failedWrites_.size() - 20);
    statusBar()->showMessage(tr("Save failed: %1").arg(failedWrites_.first()));
    morvex::warningBox(this, tr("The files could not be saved:") + "\n" + lines.join("\n"));
  } else if (!folders.isEmpty()) {
    statusBar()->showMessage(tr("Saved to %1").arg(folders.join(tr(" and "))));
  }
  failedWrites_.clear();
  return ok;
}

bool Morvex::writeSegmentation(const std::string& path, int nGroupIdx) {
  std::string error;
  if (morvex::writeDicomSeg(path, study_, nGroupIdx, labelTable_, error)) return true;
  std::fprintf(stderr, "saveFileDir(): %s\n", error.c_str());
  return false;
}

std::string Morvex::dicomFolderOf(int f) const {
  const morvex::Frame* frame = study_.frame(f);
  if (!frame) return std::string();
  const auto slash = frame->header.filePath.find_last_of('/');
  return slash == std::string::npos ? std::string() : frame->header.filePath.substr(0, slash);
}

void Morvex::saveFileDir() {
  if (study_.frameCount() == 0) return;
  const QString chosen = directoryChooser_
                             ? directoryChooser_()
                             : QFileDialog::getExistingDirectory(
                                   this, tr("Save Directory"), defaultDirectory_,
                                   QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
  if (chosen.isEmpty()) return;
  const QByteArray root = chosen.toLocal8Bit();
  morvex::removeStalePartials(root.toStdString());  // left by a save that was killed
  std::set<std::string> incomplete;
  std::set<std::string> reportFolders{root.toStdString()};
  // The series files: the series TIFF, a DICOM Segmentation for other tools (when the slices can be
  // referenced and hold labels) and the same TIFF beside the series' DICOM files (paths from the
  // dialogs always hold a '/'). They are written on a worker that reads the study while this
  // thread only reads it too (edits are blocked); a failure is recorded here afterwards.
  struct SeriesWrite {
    std::string path;
    int series;
    bool segmentation;
    std::string folder;  // whose report describes this file (none for a segmentation)
    bool ok = false;
  };
  std::vector<SeriesWrite> writes;
  for (int s = 0; s < study_.seriesCount(); ++s) {
    const int first = study_.firstFrameOfSeries(s);
    if (first < 0) continue;
    const morvex::SliceHeader& h = study_.frame(first)->header;
    const std::string name = fileNameOf("m", study_, h) + ".tiff";
    writes.push_back({morvex::joinPath(root.toStdString(), name, "saveFileDir()"), s, false, root.toStdString()});
    if (morvex::canWriteDicomSeg(study_, s))
      writes.push_back({morvex::joinPath(root.toStdString(), fileNameOf("seg", study_, h) + ".dcm", "saveFileDir()"), s, true, {}});
    const std::string dicom = dicomFolderOf(first);
    if (dicom.empty()) continue;
    reportFolders.insert(dicom);
    writes.push_back({morvex::joinPath(dicom, name, "saveFileDir()"), s, false, dicom});
  }
  const auto job = [&](morvex::WorkerControl& control) {
    for (std::size_t i = 0; i < writes.size() && !control.cancelled(); ++i) {
      SeriesWrite& w = writes[i];
      w.ok = !w.path.empty() && (w.segmentation ? writeSegmentation(w.path, w.series)
                                                : morvex::writeSeriesTiff(w.path, study_, w.series));
      control.progress(static_cast<int>((i + 1) * 100 / writes.size()));
    }
  };
  if (longRunActive()) {  // never nested in another run: written here
    morvex::WorkerControl control;
    job(control);
  } else if (!runLongJob(tr("Save"), job)) {
    return;  // cancelled: what was written stays, the labels count as unsaved
  }
  savedSegmentations_.clear();
  for (const SeriesWrite& w : writes)
    if (w.segmentation && w.ok) savedSegmentations_ << QString::fromLocal8Bit(w.path.c_str());
  for (const SeriesWrite& w : writes)
    if (!writeTo(w.path, "saveFileDir()", [&](const std::string&) { return w.ok; }) && !w.folder.empty())
      incomplete.insert(w.folder);
  for (const SeriesWrite& w : writes)
    if (w.ok && !w.segmentation) savePlansBeside(w.path, w.series);  // resection plans beside the TIFF
  QStringList folders;
  for (const std::string& folder : reportFolders) {
    // a report describes the masks beside it: none where they could not all be written
    if (!incomplete.count(folder)) saveReport(folder.c_str());
    folders << QString::fromLocal8Bit(folder.c_str());
  }
  // the labels are safe in the series TIFFs: nothing is unsaved any more
  if (endSave(folders)) {
    unsavedChanges_ = false;
    discardRecoveryData();
  }
}

void Morvex::saveFile_png(const char* pcRootPath, int f, bool bGroup, bool bBinary, const char* pcExtension) {
  const morvex::Frame* frame = study_.frame(f);
  if (study_.frameCount() == 0 || !frame || !pcRootPath || !study_.labelImage(f)) return;
  std::string folder = pcRootPath;
  if (bGroup) folder = morvex::seriesFolder(folder, frame->header.patientName, study_.seriesFileKeyOf(frame->header));
  if (folder.empty()) return;
  const std::string name = "m_" + frame->header.fileName + "." + (pcExtension ? pcExtension : "png");
  writeTo(morvex::joinPath(folder, name, "saveFile_png()"), "saveFile_png()", [&](const std::string& path) { return morvex::writeMaskImage(path, study_.labelImage(f), study_.width(f),
                         study_.height(f), bBinary); });
}

void Morvex::saveFile_png(const char* root, int f, bool group, bool binary) { saveFile_png(root, f, group, binary, nullptr); }
void Morvex::saveFile(const char* root, int f) { saveFile_png(root, f, false, false, nullptr); }

void Morvex::saveFile_tiff(const char* pcRootPath, int s) {
  const int first = study_.firstFrameOfSeries(s);
  if (study_.frameCount() == 0 || first < 0 || !pcRootPath) return;
  const morvex::SliceHeader& h = study_.frame(first)->header;
  const std::string folder = morvex::seriesFolder(pcRootPath, h.patientName, study_.seriesFileKeyOf(h));
  if (folder.empty()) return;
  writeTo(morvex::joinPath(folder, fileNameOf("m", study_, h) + ".tiff", "saveFile_tiff()"), "saveFile_tiff()", [&](const std::string& path) { return morvex::writeSeriesTiff(path, study_, s); });
}

void Morvex::writeMaskPass(int n, bool contrast) {
  beginProgress();
  for (int f = 0; f < study_.frameCount(); ++f) {
    if (contrast)
      saveContrastImage(kResult, f, "jpg");
    else
      saveFile_png(kResult, f, false, true, "bmp");
    setProgress(static_cast<int>(static_cast<float>(f + 1) / static_cast<float>(n) * 100));
  }
  endProgress();
}

void Morvex::saveFileAll() {
  const int n = study_.frameCount();
  if (n == 0) return;
  writeMaskPass(n, true);
  writeMaskPass(n, false);
  endSave({kResult});
}

void Morvex::saveFileCurrent() {
  if (study_.frameCount() == 0) return;
  saveContrastImage(kResult, currentFrame_, "jpg");
  saveFile_png(kResult, currentFrame_, false, true, "bmp");
  endSave({kResult});
}

void Morvex::saveGroupHistogram(const char* pcRootPath, int s) {
  const int first = study_.firstFrameOfSeries(s);
  if (!pcRootPath || first < 0 || !selectedAreaStatistics_.computed()) return;
  const morvex::SliceHeader& h = study_.frame(first)->header;
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("histogram", study_, h, ".csv"), "saveGroupHistogram()"), "saveGroupHistogram()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::histogramCsv(selectedAreaStatistics_, 1)); });
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("statistic", study_, h, ".txt"), "saveGroupHistogram()"), "saveGroupHistogram()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::statisticsText(h, selectedAreaStatistics_, 1)); });
}

void Morvex::saveGroupHistogram() {
  if (study_.frameCount() == 0) return;
  const int s = study_.seriesOfFrame(currentFrame_);
  calcGroupSelectedAreaStatistic(s);  // the files describe the selection as it is now
  const std::string dicom = dicomFolderOf(currentFrame_);
  if (!dicom.empty()) saveGroupHistogram(dicom.c_str(), s);
  if (resultFolderExists()) saveGroupHistogram(kResult, s);
  endSave(savedFolders(dicom));
}

void Morvex::saveGroupHistogram2(const char* pcRootPath, int s) {
  const int first = study_.firstFrameOfSeries(s);
  if (!pcRootPath || first < 0 || !areaStatistics_.computed() || areaStatistics_.pixelCnt(morvex::kLiverRight) == 0)
    return;
  const morvex::SliceHeader& h = study_.frame(first)->header;
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("histogram", study_, h, "_R.csv"), "saveGroupHistogram2()"), "saveGroupHistogram2()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::histogramCsv(areaStatistics_, morvex::kLiverRight)); });
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("histogram", study_, h, "_L.csv"), "saveGroupHistogram2()"), "saveGroupHistogram2()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::histogramCsv(areaStatistics_, morvex::kLiverLeft)); });
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("statistic", study_, h, ".txt"), "saveGroupHistogram2()"), "saveGroupHistogram2()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::statisticsTextLeftRight(h, areaStatistics_)); });
}

void Morvex::saveGroupHistogram2() {
  if (study_.frameCount() == 0) return;
  const int s = study_.seriesOfFrame(currentFrame_);
  const std::string dicom = dicomFolderOf(currentFrame_);
  if (!dicom.empty()) saveGroupHistogram2(dicom.c_str(), s);
  if (resultFolderExists()) saveGroupHistogram2(kResult, s);
  endSave(savedFolders(dicom));
}

void Morvex::saveHistogram(const char* pcRootPath, int f) {
  const morvex::Frame* frame = study_.frame(f);
  if (!pcRootPath || !frame || !study_.intensities(f) || !study_.selectionImage(f)) return;
  morvex::AreaStatistics st(1);
  st.computeSlice(study_.intensities(f), study_.selectionImage(f), study_.width(f), study_.height(f), true);
  const morvex::SliceHeader& h = frame->header;
  const std::string suffix = "_" + std::to_string(h.instanceNumber);
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("histogram", study_, h, (suffix + ".csv").c_str()), "saveHistogram()"), "saveHistogram()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::histogramCsv(st, 1)); });
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("statistic", study_, h, (suffix + ".txt").c_str()), "saveHistogram()"), "saveHistogram()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::statisticsText(h, st, 1)); });
}

void Morvex::saveHistogram() {
  if (study_.frameCount() == 0) return;
  const std::string dicom = dicomFolderOf(currentFrame_);
  if (!dicom.empty()) saveHistogram(dicom.c_str(), currentFrame_);
  if (resultFolderExists()) saveHistogram(kResult, currentFrame_);
  endSave(savedFolders(dicom));
}

void Morvex::saveReport(const char* pcRootPath) {
  for (int s = 0; s < study_.seriesCount(); ++s) saveReport(pcRootPath, s);
}

void Morvex::saveReport(const char* pcRootPath, int s) {
  const int first = study_.firstFrameOfSeries(s);
  if (!pcRootPath || first < 0) return;
  morvex::AreaStatistics st(study_.labelCount());
  seriesStatistics_.compute(study_, s, false, st);
  const morvex::SliceHeader& h = study_.frame(first)->header;
  writeTo(morvex::joinPath(pcRootPath, fileNameOf("report", study_, h, ".txt"), "saveReport()"), "saveReport()", [&](const std::string& path) { return morvex::writeFileAtomically(path,
                              morvex::volumeReportText(h, st)); });
}

// Without a folder the reports go to the working directory.
void Morvex::saveReport() {
  saveReport(".");
  endSave({"."});
}

void Morvex::saveContrastImage(const char* pcRootPath, int f, const char* pcExtension) {
  if (study_.frameCount() == 0 || !pcRootPath) return;
  if (f == -1) f = currentFrame_;
  const morvex::Frame* frame = study_.frame(f);
  if (!frame) return;
  const std::string name = "c_" + frame->header.fileName + "." + (pcExtension ? pcExtension : "png");
  writeTo(morvex::joinPath(pcRootPath, name, "saveContrastImage()"), "saveContrastImage()", [&](const std::string& path) { return morvex::writeContrastImage(path, study_.intensities(f),
                             study_.width(f), study_.height(f)); });
}

void Morvex::saveContrastImage(const char* root, int f) { saveContrastImage(root, f, nullptr); }
