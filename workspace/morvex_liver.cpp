// Liver segmentation of the current series and its options.

#include <QApplication>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>
#include <cstdio>
#include <new>

#include "app/data_files.h"
#include "segmentation/liver_driver.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {
// The user's option (1 Soft, 2 Default, 3 Hard) as the engine's option.
int engineOptionOf(int liverOption) {
  switch (liverOption) {
    case 1: return 2;
    case 3: return 1;
    default: return 0;
  }
}
}  // namespace

void Morvex::changeLiverOption() {
  const char* picture = nullptr;
  const char* text = nullptr;
  switch (liverOption_) {
    case 1: picture = "images/LiverSoft.png"; text = QT_TR_NOOP("Soft"); break;
    case 2: picture = "images/LiverDefault.png"; text = QT_TR_NOOP("Default"); break;
    case 3: picture = "images/LiverHard.png"; text = QT_TR_NOOP("Hard"); break;
    default: return;
  }
  ui.pushButton_LiverOption->setIcon(QIcon(morvex::dataFilePath(picture)));
  ui.pushButton_LiverOption->setIconSize(ui.pushButton_LiverOption->rect().size() - QSize(1, 1));
  ui.label_liver->setText(tr(text));
}

void Morvex::clickLiverOptionLeft() {
  liverOption_ = liverOption_ - 1 < 1 ? 3 : liverOption_ - 1;
  changeLiverOption();
}

void Morvex::clickLiverOptionRight() {
  liverOption_ = liverOption_ + 1 > 3 ? 1 : liverOption_ + 1;
  changeLiverOption();
}

void Morvex::setLiver2D3DOption(int id) { liver3D_ = id != 0; }

void Morvex::liverUnion() { liverUnion(-1); }

// A negative index takes back the division of the whole current series, any other index that of
// one frame (frame 0 included).
void Morvex::liverUnion(int nFrameIdx) {
  morvex::uniteDivision(study_, study_.seriesOfFrame(currentFrame_), nFrameIdx < 0 ? -1 : nFrameIdx);
}

int Morvex::liverSegmentation() {
  if (study_.frameCount() == 0 || longRunActive()) return -1;
  const int series = study_.seriesOfFrame(currentFrame_);
  const int first = study_.firstFrameOfSeries(series);
  // The run works on a copy of the series, made and run on a worker thread; the labels are written
  // back in one undo step only when it ends without a cancel. Meanwhile this thread only reads the
  // study (edits are blocked), so the worker may read it too, through a const reference and
  // without the revision counters that reads here bump.
  const morvex::Study& source = study_;
  const std::vector<bool> labelsWritten = source.labelsWrittenOfSeries(series);
  morvex::Study work;
  morvex::LiverRunOptions options;
  options.threeD = liver3D_;
  options.engineOption = engineOptionOf(liverOption_);
  options.currentFrame = currentFrame_ - first;
  morvex::LiverRunResult result = morvex::LiverRunResult::NoStudy;
  int labelled = 0, ringFilled = 0;
  bool outOfMemory = false;
  const bool finished = runLongJob("LiverSeg", [&](morvex::WorkerControl& control) {
    try {
      work = source.seriesWorkCopy(series, &labelsWritten);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
      return;
    }
    if (!options.threeD) control.progress(50);
    options.progress = [&control](int done, int total) {
      control.progress(static_cast<int>(static_cast<float>(done) / static_cast<float>(std::max(total, 1)) * 100));
    };
    options.cancelled = [&control] { return control.cancelled(); };
    morvex::uniteDivision(work, series, -1);  // the divided liver is united before the run
    ringFilled = morvex::fillRingSeed(work, options);  // an outline traced as a ring seeds its inside
    result = morvex::segmentLiver(work, options, &labelled);
    if (result == morvex::LiverRunResult::Done) control.progress(100);
  });
  std::fflush(stdout);
  if (!finished) return -1;
  if (outOfMemory) {
    morvex::warningBox(this, tr("Not enough memory for LiverSeg on this series"));
    return -1;
  }
  if (result == morvex::LiverRunResult::NoOutline) {
    morvex::warningBox(this, tr("Please outline the liver first."));
    return -1;
  }
  if (result != morvex::LiverRunResult::Done) return -1;
  {
    const SeriesEditScope step(*this);  // the whole run is one undo step
    copyLabelsBack(work, first, series);
  }
  std::printf("liverSegmentation(): %d slices labelled\n", labelled);
  std::fflush(stdout);
  const QString outcome = tr("LiverSeg: %1 slices labelled").arg(labelled);
  statusBar()->showMessage(ringFilled > 0 ? outcome + tr(" (the closed outline was filled as the seed: %1 pixels)").arg(ringFilled) : outcome);
  study_.fillSelectionImage(currentFrame_, 0);
  reCalcRegionGroup(-1);
  redrawAll();
  showImage(currentFrame_);
  // A run that reached nothing kept the outline: say so rather than end without a word.
  if (labelled == 0) morvex::warningBox(this, tr("No liver region was found. The outline you drew was kept."));
  return 1;
}

void Morvex::copyLabelsBack(const morvex::Study& work, int first, int series) {
  for (int i = 0; i < work.frameCount(); ++i) {
    const int f = first + i;
    const uint8_t* from = work.labelImage(i);
    const uint8_t* to = static_cast<const morvex::Study&>(study_).labelImage(f);
    const std::size_t n = static_cast<std::size_t>(work.width(i)) * static_cast<std::size_t>(work.height(i));
    if (study_.seriesOfFrame(f) != series || !from || !to || study_.width(f) != work.width(i) ||
        study_.height(f) != work.height(i) || std::equal(from, from + n, to))
      continue;
    std::copy(from, from + n, study_.labelImage(f));
  }
}
