// Live wire on the shown frame: clicks from the slice view become seeds of a morvex::LiveWire, a
// closed contour is written into the frame through finishEdit, Backspace drops the last seed.

#include <QKeyEvent>
#include <QMouseEvent>
#include <QtConcurrent>
#include <cstdio>
#include <new>

#include "view/cimage.h"
#include "workspace/morvex.h"

bool Morvex::startLiveWireContour() {
  const int16_t* intensities = study_.intensities(currentFrame_);
  const int w = study_.width(currentFrame_), h = study_.height(currentFrame_);
  if (!intensities || w <= 0 || h <= 0) return false;
  liveWireMaps_.waitForFinished();  // at most the rest of one slice's maps; no events meanwhile
  try {
    // The engine prepared in the background, else the last contour's: restart keeps the maps only
    // when they are this slice's (same size and intensities), else they are computed here.
    std::unique_ptr<morvex::LiveWire> wire = std::move(liveWirePrepared_ ? liveWirePrepared_ : liveWireSpare_);
    if (wire) wire->restart(intensities, w, h);
    else wire = std::make_unique<morvex::LiveWire>(intensities, w, h);
    if (!wire->costsReady()) wire->CalculateCostFunction();
    liveWireTool_ = std::move(wire);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "mouseEvent_LiveWire(): out of memory for the cost maps\n");
    return false;
  }
  return true;
}

void Morvex::prepareLiveWireMaps() {
  if (!liveWire_ || liveWireTool_ || liveWireMaps_.isRunning()) return;  // a running one calls again when done
  liveWireMaps_.waitForFinished();  // finished: orders the worker's writes before what follows here
  const int16_t* intensities = study_.intensities(currentFrame_);
  const int w = study_.width(currentFrame_), h = study_.height(currentFrame_);
  if (!intensities || w <= 0 || h <= 0) return;
  try {
    std::unique_ptr<morvex::LiveWire>& wire = liveWirePrepared_ ? liveWirePrepared_ : liveWireSpare_;
    if (!wire) wire = std::make_unique<morvex::LiveWire>(intensities, w, h);
    else if (wire->restart(intensities, w, h)) return;  // already this slice's maps
    liveWirePrepared_ = std::move(wire);
  } catch (const std::bad_alloc&) {
    return;  // the first click tries again and says so
  }
  morvex::LiveWire* engine = liveWirePrepared_.get();  // a copy of the slice; nothing else is shared
  liveWireMaps_.setFuture(QtConcurrent::run([engine] {
    try {
      engine->CalculateCostFunction();
    } catch (const std::bad_alloc&) {
      // the maps stay not ready: the first click computes them and reports a failure
    }
  }));
}

void Morvex::discardLiveWireContour() {
  if (liveWireTool_) liveWireSpare_ = std::move(liveWireTool_);
  liveWireClosed_ = false;
}

void Morvex::commitLiveWireContour() {
  morvex::SliceEdit s = currentSliceEdit();
  int kind = 0;
  std::vector<uint8_t> before;
  if (s.valid() && liveWireTool_) {
    before.assign(s.labels, s.labels + s.size());
    kind = morvex::commitLiveWire(s, *liveWireTool_);
  }
  // Ready for the next contour. Not through setLiveWireState: stopping every tool would clear the
  // working selection this contour may just have written.
  discardLiveWireContour();
  liveWire_ = true;
  toolMode_ = ToolMode::LiveWireMode;
  ui.pushButton_Livewire->setChecked(true);
  if (kind > 0) finishEdit(&before, kind);
}

void Morvex::mouseEvent_LiveWire(QMouseEvent* event, bool bMouseClicked, bool, bool bMouseMove) {
  if (!event || !bMouseClicked || bMouseMove || !liveWire_ || !activeView_) return;
  if (event->button() == Qt::LeftButton) {
    if (!liveWireTool_ && !startLiveWireContour()) return;
    addSeedPoint_LiveWire(activeView_->currentPoint());
    if (liveWireTool_ && liveWireTool_->seeds().empty()) discardLiveWireContour();  // first click on the border
  } else if (event->button() == Qt::RightButton && liveWireTool_) {
    if (liveWireTool_->seeds().size() > 1) {
      const morvex::ImagePoint first = liveWireTool_->seeds().front();
      addSeedPoint_LiveWire(QPoint(first.x, first.y));
    } else {
      discardLiveWireContour();  // the contour is cancelled, the tool stays on
    }
  } else {
    return;
  }
  if (liveWireClosed_) commitLiveWireContour();
  activeView_->redraw(false);
}

void Morvex::addSeedPoint_LiveWire(QPoint qpMousePoint) {
  if (!liveWireTool_) return;
  if (liveWireTool_->seeds().empty())
    liveWireTool_->takeObjectAt(study_.labelImage(currentFrame_), qpMousePoint.x(), qpMousePoint.y());
  liveWireTool_->addSeed(qpMousePoint.x(), qpMousePoint.y());
  if (liveWireTool_->closed()) {
    liveWire_ = false;
    liveWireClosed_ = true;
  }
}

void Morvex::keyboardEvent_LiveWire(QKeyEvent* event) {
  if (!event || event->key() != Qt::Key_Backspace || !liveWireTool_) return;
  liveWireTool_->removeLastSeed();
  const bool emptied = liveWireTool_->seeds().empty();
  if (emptied) discardLiveWireContour();  // live wire stays selected
  if (activeView_) activeView_->redraw(!emptied);
}
