// Work safety: autosave of the changed labels for crash recovery, the offer to restore them, and
// the clean close that removes them.

#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "export/atomic_file.h"
#include "study/import_rules.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {
// Seconds between a change and its autosave: 30, or $MORVEX_AUTOSAVE_SECONDS (at least 1).
int autosaveSeconds() {
  const char* value = std::getenv("MORVEX_AUTOSAVE_SECONDS");
  const int seconds = value ? std::atoi(value) : 30;
  return seconds > 0 ? seconds : 30;
}
}  // namespace

void Morvex::markUnsaved() {
  unsavedChanges_ = true;
  if (!autosaveTimer_) {
    autosaveTimer_ = new QTimer(this);
    autosaveTimer_->setSingleShot(true);
    autosaveTimer_->setInterval(autosaveSeconds() * 1000);
    connect(autosaveTimer_, &QTimer::timeout, this, &Morvex::autosave);
  }
  if (!autosaveTimer_->isActive()) autosaveTimer_->start();
}

std::string Morvex::seriesKey(int s) const {
  const int first = study_.firstFrameOfSeries(s);
  if (first < 0) return std::string();
  const morvex::SliceHeader& h = study_.frame(first)->header;
  return h.patientName + "|" + h.seriesDate + "|" + dicomFolderOf(first);
}

void Morvex::rememberSavedRevisions() {
  for (int f = 0; f < study_.frameCount(); ++f)
    if (const morvex::Frame* frame = study_.frame(f))
      autosavedRevision_[frame->uid] = savedRevision_[frame->uid] = frame->labelRevision;
}

void Morvex::autosave() {
  if (autosaveWorker_.joinable()) autosaveWorker_.join();
  if (!unsavedChanges_ || recovery_.root().empty()) return;
  // the last point could not be written: the next one holds every frame the files do not
  if (autosaveFailed_.exchange(false)) autosavedRevision_ = savedRevision_;
  // copies on this thread (a few milliseconds), files on the worker
  std::vector<std::pair<std::string, std::vector<morvex::RecoveryStore::FrameLabels>>> jobs;
  int frames = 0;
  for (int s = 0; s < study_.seriesCount(); ++s) {
    const std::string key = seriesKey(s);
    if (!recovery_.holds(key)) continue;  // open in another running session, which keeps it
    std::vector<morvex::RecoveryStore::FrameLabels> changed;
    for (int f = study_.firstFrameOfSeries(s); f >= 0 && f <= study_.lastFrameOfSeries(s); ++f) {
      const morvex::Frame* frame = study_.frame(f);
      const uint8_t* labels = frame ? static_cast<const morvex::Study&>(study_).labelImage(f) : nullptr;
      if (!labels || autosavedRevision_[frame->uid] == frame->labelRevision) continue;
      autosavedRevision_[frame->uid] = frame->labelRevision;
      const std::size_t n = static_cast<std::size_t>(study_.width(f)) * static_cast<std::size_t>(study_.height(f));
      changed.push_back({frame->header.fileName, study_.width(f), study_.height(f), std::vector<uint8_t>(labels, labels + n)});
    }
    frames += static_cast<int>(changed.size());
    if (!changed.empty()) jobs.emplace_back(key, std::move(changed));
  }
  if (jobs.empty()) return;
  std::printf("autosave(): %d changed frames\n", frames);
  std::fflush(stdout);
  autosaveWorker_ = std::thread([store = &recovery_, failed = &autosaveFailed_, jobs = std::move(jobs)] {
    for (const auto& [key, changed] : jobs)
      if (!store->save(key, changed)) {
        std::fprintf(stderr, "autosave(): could not write %s\n", store->folderOf(key).c_str());
        failed->store(true);
      }
  });
}

void Morvex::discardRecoveryData() {
  if (autosaveWorker_.joinable()) autosaveWorker_.join();
  if (autosaveTimer_) autosaveTimer_->stop();
  for (int s = 0; s < study_.seriesCount(); ++s)
    if (recovery_.holds(seriesKey(s))) recovery_.discard(seriesKey(s));
  autosaveFailed_ = false;
  rememberSavedRevisions();
}

void Morvex::closeCleanly() {
  discardRecoveryData();
  recovery_.releaseAll();
}

void Morvex::restoreRecoveredLabels() {
  for (int s = 0; s < study_.seriesCount(); ++s) {
    const std::string key = seriesKey(s);
    if (recovery_.holds(key)) continue;  // this session's own
    if (!recovery_.claim(key)) {
      std::fprintf(stderr, "restoreRecoveredLabels(): the series is open in another session, which keeps its "
                   "recovery data: %s\n", dicomFolderOf(study_.firstFrameOfSeries(s)).c_str());
      continue;
    }
    // a save killed half-way beside the slices left its partial files there
    morvex::removeStalePartials(dicomFolderOf(study_.firstFrameOfSeries(s)));
    std::vector<std::string> masks = recovery_.recoveryPoint(key);
    if (masks.empty()) continue;
    const QString text = tr("Labels of this series were kept from a session that did not close (%1 slices). "
                            "Restore them?").arg(masks.size());
    if (morvex::askYesNo(this, text) != morvex::Answer::Yes) {
      recovery_.discard(key);  // only now that the user has declined them
      continue;
    }
    // the last mask (the frame shown afterwards) is the last slice's
    std::sort(masks.begin(), masks.end(), morvex::naturalLess);
    QStringList files;
    for (const std::string& m : masks) files << QString::fromLocal8Bit(m.c_str());
    std::printf("restoreRecoveredLabels(): %d slices restored\n", static_cast<int>(masks.size()));
    std::fflush(stdout);
    // one undo step over what the files hold; the restored labels are unsaved work, and the point
    // stays until a newer one (which links them) or a save replaces it
    readMask(files);
  }
}
