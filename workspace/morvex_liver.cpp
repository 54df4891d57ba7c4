// Liver segmentation of the current series and its options.

#include <QApplication>
#include <QProgressBar>
#include <QStatusBar>
#include <cstdio>

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
    case 1: picture = "images/LiverSoft.png"; text = "Soft"; break;
    case 2: picture = "images/LiverDefault.png"; text = "Default"; break;
    case 3: picture = "images/LiverHard.png"; text = "Hard"; break;
    default: return;
  }
  ui.pushButton_LiverOption->setIcon(QIcon(morvex::dataFilePath(picture)));
  ui.pushButton_LiverOption->setIconSize(ui.pushButton_LiverOption->rect().size() - QSize(1, 1));
  ui.label_liver->setText(text);
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
  if (study_.frameCount() == 0) return -1;
  const SeriesEditScope step(*this);  // the whole run is one undo step
  liverUnion(-1);
  morvex::LiverRunOptions options;
  options.threeD = liver3D_;
  options.engineOption = engineOptionOf(liverOption_);
  options.currentFrame = currentFrame_;
  // The run blocks the window; only the progress bar moves, repainted after every slice.
  beginProgress();
  if (!liver3D_) setProgress(50);
  for (CImage* view : imageViews_) view->setUpdatesEnabled(false);
  options.progress = [this](int done, int total) {
    setProgress(static_cast<int>(static_cast<float>(done) / static_cast<float>(std::max(total, 1)) * 100));
  };
  int labelled = 0;
  const morvex::LiverRunResult result = morvex::segmentLiver(study_, options, &labelled);
  setProgress(100);
  endProgress();
  for (CImage* view : imageViews_) view->setUpdatesEnabled(true);
  std::fflush(stdout);
  if (result == morvex::LiverRunResult::NoOutline) {
    morvex::warningBox(this, QString::fromUtf8("간 영역을 입력해주세요"));
    return -1;
  }
  if (result != morvex::LiverRunResult::Done) return -1;
  std::printf("liverSegmentation(): %d slices labelled\n", labelled);
  std::fflush(stdout);
  statusBar()->showMessage(tr("LiverSeg: %1 slices labelled").arg(labelled));
  study_.fillSelectionImage(currentFrame_, 0);
  reCalcRegionGroup(-1);
  redrawAll();
  showImage(currentFrame_);
  // A run that reached nothing kept the outline: say so rather than end without a word.
  if (labelled == 0) morvex::warningBox(this, QString::fromUtf8("간 영역을 찾지 못했습니다. 입력한 윤곽은 그대로 두었습니다."));
  return 1;
}
