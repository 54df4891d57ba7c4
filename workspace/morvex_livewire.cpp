// Live wire on the shown frame: clicks from the slice view become seeds of a morvex::LiveWire, a
// closed contour is written into the frame through finishEdit, Backspace drops the last seed.

#include <QKeyEvent>
#include <QMouseEvent>
#include <cstdio>
#include <new>

#include "view/cimage.h"
#include "workspace/morvex.h"

bool Morvex::startLiveWireContour() {
  const int16_t* intensities = study_.intensities(currentFrame_);
  const int w = study_.width(currentFrame_), h = study_.height(currentFrame_);
  if (!intensities || w <= 0 || h <= 0) return false;
  try {
    // the last contour's engine keeps its maps for the same slice and its buffers for any other
    std::unique_ptr<morvex::LiveWire> wire = std::move(liveWireSpare_);
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
