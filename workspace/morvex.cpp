#include "workspace/morvex.h"

#include "workspace/message_box.h"

Morvex::Morvex(QWidget* parent) : QMainWindow(parent) {
  ui.setupUi(this);
  setMouseTracking(true);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

  labelTable_ = morvex::defaultLabelTable();
  study_.setLabelCount(labelTable_.size());
  study_.setWarningSink(
      [this](const std::string& text) { morvex::warningBox(this, QString::fromStdString(text)); });
}

Morvex::~Morvex() = default;

void Morvex::redrawAll() { ui.widget_image->update(); }
