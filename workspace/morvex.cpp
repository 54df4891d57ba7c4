#include "workspace/morvex.h"

#include <QDir>
#include <QProgressBar>
#include <QStatusBar>

#include "workspace/message_box.h"

Morvex::Morvex(QWidget* parent) : QMainWindow(parent) {
  ui.setupUi(this);
  setMouseTracking(true);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  ui.treeWidget_FileDirectory->setColumnHidden(1, true);

  progressBar_ = new QProgressBar(this);
  progressBar_->setMaximumSize(250, 15);
  progressBar_->setAlignment(Qt::AlignRight);
  progressBar_->hide();
  statusBar()->addPermanentWidget(progressBar_);
  defaultDirectory_ = QDir::homePath();

  labelTable_ = morvex::defaultLabelTable();
  study_.setLabelCount(labelTable_.size());
  study_.setWarningSink(
      [this](const std::string& text) { morvex::warningBox(this, QString::fromStdString(text)); });
  connect(ui.treeWidget_FileDirectory, &QTreeWidget::itemActivated, this,
          qOverload<QTreeWidgetItem*, int>(&Morvex::showImage));
}

Morvex::~Morvex() = default;

void Morvex::redrawAll() { ui.widget_image->update(); }
