// The label layers panel and the undo history of the shown frame.

#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QTreeWidgetItemIterator>

#include "app/data_files.h"
#include "view/cimage.h"
#include "workspace/morvex.h"

namespace {
QIcon squareIcon(const QColor& colour) {
  QPixmap pix(16, 16);
  pix.fill(colour);
  return QIcon(pix);
}
}  // namespace

void Morvex::setupLayers() {
  QTreeWidget* tree = ui.treeWidget_Label;
  tree->setFixedSize(258, 120);
  tree->setHeaderHidden(true);
  tree->setFocusPolicy(Qt::NoFocus);
  tree->setContextMenuPolicy(Qt::NoContextMenu);
  tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tree->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree->setColumnCount(1);

  labelTable_ = morvex::LabelTable();
  const morvex::LabelTable defaults = morvex::defaultLabelTable();
  auto colour = [&defaults](const char* name) { return defaults.byValue(defaults.getLabelIdx(name)); };
  addLayerItem("Image");
  addLayerItem("Selected Region (Working)", "Image");
  addLayerItem("MergedImage");
  for (const char* name : {"Liver", "Vessel"}) {
    const morvex::LabelInfo* c = colour(name);
    addLayerItem(name, "MergedImage", c->r, c->g, c->b, true, true);
  }
  const morvex::LabelInfo* cancer = colour("Cancer");
  addLayerItem("Cancer", "MergedImage", cancer->r, cancer->g, cancer->b, false, true);
  for (const auto& [name, parent] : {std::pair{"Liver(Left)", "Liver"}, std::pair{"Liver(Right)", "Liver"},
                                     std::pair{"Vessel(Left)", "Vessel"}, std::pair{"Vessel(Right)", "Vessel"}}) {
    const morvex::LabelInfo* c = colour(name);
    addLayerItem(name, parent, c->r, c->g, c->b, false, false);
  }
  setVisibleLayerItem("Selected Region (Working)", false);
  tree->setCurrentItem(tree->topLevelItem(0));
  study_.setLabelCount(labelTable_.size());
}

QTreeWidgetItem* Morvex::findLayerItem(const QString& name) const {
  for (QTreeWidgetItemIterator it(ui.treeWidget_Label); *it; ++it)
    if ((*it)->text(0) == name) return *it;
  return nullptr;
}

void Morvex::addLayerItem(const char* ucItemName, const char* ucParentItemName, int r, int g, int b, bool bEnable,
                          bool bVisible) {
  const QString name = QString::fromLocal8Bit(ucItemName);
  if (findLayerItem(name)) return;
  QTreeWidgetItem* parent = ucParentItemName ? findLayerItem(QString::fromLocal8Bit(ucParentItemName)) : nullptr;
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ui.treeWidget_Label);
  item->setText(0, name);
  if (!ucParentItemName) item->setExpanded(true);
  if (name == "Image") {
    item->setIcon(0, QIcon(morvex::dataFilePath("images/dcm.png")));
  } else if (name == "MergedImage") {
    item->setIcon(0, QIcon(morvex::dataFilePath("images/Total merged overlay image.jpg")));
  } else if (name == "Selected Region (Working)") {
    item->setIcon(0, squareIcon(QColor(255, 0, 0)));
  } else {
    item->setIcon(0, squareIcon(bEnable ? QColor(r, g, b) : QColor(100, 100, 100)));
    labelTable_.addLabel(ucItemName, r, g, b);
  }
  if (!bEnable) item->setDisabled(true);
  if (!bVisible) item->setHidden(true);
  if (parent) parent->setExpanded(true);
}

void Morvex::addLayerItem(const char* n, const char* p, int r, int g, int b, bool e) { addLayerItem(n, p, r, g, b, e, true); }
void Morvex::addLayerItem(const char* n, const char* p, int r, int g, int b) { addLayerItem(n, p, r, g, b, true); }
void Morvex::addLayerItem(const char* n, const char* p, int r, int g) { addLayerItem(n, p, r, g, 0); }
void Morvex::addLayerItem(const char* n, const char* p, int r) { addLayerItem(n, p, r, 0); }
void Morvex::addLayerItem(const char* n, const char* p) { addLayerItem(n, p, 0); }
void Morvex::addLayerItem(const char* n) { addLayerItem(n, nullptr); }

void Morvex::setVisibleLayerItem(const char* ucItemName, bool bOnOff) {
  if (QTreeWidgetItem* item = findLayerItem(QString::fromLocal8Bit(ucItemName))) item->setHidden(!bOnOff);
}

void Morvex::showLabelImage(QTreeWidgetItem* item, int column) {
  if (!item) return;
  static const std::pair<const char*, int> kLayers[] = {
      {"Image", 1},  {"MergedImage", 1},  {"Subcutaneous Fat", 1}, {"Liver", 1},  {"Muscle", 2},
      {"Vessel", 2}, {"Visceral Fat", 3}, {"Cancer", 3},           {"Selected Region (Working)", 255}};
  const QString text = item->text(column);
  for (const auto& [name, value] : kLayers)
    if (text == name) currentLabel_ = value;
  if (study_.frameCount() > 0) redrawAll();
}

void Morvex::showLabelImage(int nLabelIdx) {
  QTreeWidget* tree = ui.treeWidget_Label;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = tree->topLevelItem(i);
    top->setSelected(false);
    for (int c = 0; c < top->childCount(); ++c) top->child(c)->setSelected(false);
  }
  QTreeWidgetItem* merged = findLayerItem("MergedImage");
  QTreeWidgetItem* chosen = (merged && nLabelIdx >= 1 && nLabelIdx <= 3 && nLabelIdx <= merged->childCount())
                                ? merged->child(nLabelIdx - 1)
                                : tree->topLevelItem(1);
  if (chosen) {
    chosen->setSelected(true);
    tree->setCurrentItem(chosen);
  }
  currentLabel_ = nLabelIdx;
}

void Morvex::expandLayerItem(QTreeWidgetItem* item) {
  if (item) item->setExpanded(true);
}

// A change of the labels makes the last outcome in the status bar ("Saved to", "LiverSeg: ...")
// stale: it is cleared with every recorded step, undo and redo.
void Morvex::pushUndo(int) {
  if (!undoHistory_.pushFrame(frameImages(currentFrame_))) return;
  markUnsaved();
  statusBar()->clearMessage();
}

morvex::FrameImages Morvex::frameImages(int frame) {
  morvex::FrameImages f;
  f.frame = frame;
  f.labels = study_.labelImage(frame);
  f.selection = study_.selectionImage(frame);
  f.pixels = static_cast<std::size_t>(std::max(study_.width(frame), 0)) * static_cast<std::size_t>(std::max(study_.height(frame), 0));
  return f;
}

std::vector<morvex::FrameImages> Morvex::frameImages(int first, int last) {
  std::vector<morvex::FrameImages> frames;
  for (int f = std::max(first, 0); f <= last && f < study_.frameCount(); ++f) frames.push_back(frameImages(f));
  return frames;
}

morvex::FrameImages Morvex::snapshotImages(int frame) const {
  // the history only reads these images (its writes go through frameImages)
  morvex::FrameImages f;
  f.frame = frame;
  f.labels = const_cast<uint8_t*>(study_.labelImage(frame));
  f.selection = const_cast<uint8_t*>(study_.selectionImage(frame));
  f.pixels = static_cast<std::size_t>(std::max(study_.width(frame), 0)) * static_cast<std::size_t>(std::max(study_.height(frame), 0));
  return f;
}

std::vector<morvex::FrameImages> Morvex::snapshotImages(int first, int last) const {
  std::vector<morvex::FrameImages> frames;
  for (int f = std::max(first, 0); f <= last && f < study_.frameCount(); ++f) frames.push_back(snapshotImages(f));
  return frames;
}

void Morvex::beginSeriesEdit(int first, int last) {
  if (seriesEditDepth_++ > 0 || study_.frameCount() == 0) return;
  if (first < 0) {
    const int series = study_.seriesOfFrame(currentFrame_);
    first = study_.firstFrameOfSeries(series);
    last = study_.lastFrameOfSeries(series);
  }
  seriesEditFirst_ = first;
  seriesEditLast_ = last;
  undoHistory_.beginMultiFrame(currentFrame_, snapshotImages(first, last));
}

void Morvex::endSeriesEdit() {
  if (seriesEditDepth_ == 0 || --seriesEditDepth_ > 0) return;
  if (undoHistory_.commitMultiFrame(snapshotImages(seriesEditFirst_, seriesEditLast_))) {
    markUnsaved();
    statusBar()->clearMessage();
  }
  undoHistory_.setBaseline(snapshotImages(currentFrame_));
}

void Morvex::undoHistory() { undoStep(false); }
void Morvex::redoHistory() { undoStep(true); }

void Morvex::undoStep(bool redo) {
  if (study_.frameCount() == 0) return;
  const morvex::UndoHistory::Step* step = redo ? undoHistory_.redo() : undoHistory_.undo();
  if (!step) return;
  const int start = step->startFrame;
  morvex::UndoHistory::apply(*step, redo, [this](int f) { return frameImages(f); });
  markUnsaved();
  statusBar()->clearMessage();
  // the step's frame is shown (an edit on another slice is undone where the user can see it)
  if (start != currentFrame_ && study_.frame(start)) {
    showImage(start);
    selectedFrame(start);
  }
  undoHistory_.setBaseline(snapshotImages(currentFrame_));
  labelsChanged();
}
