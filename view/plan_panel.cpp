#include "view/plan_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {
// Remnant thresholds of the liver conditions, in the order of the condition box.
constexpr double kConditionThresholds[] = {20.0, 30.0, 40.0};
}  // namespace

PlanPanel::PlanPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("planPanel");
  list_ = new QListWidget(this);
  add_ = new QPushButton(tr("New plan"), this);
  delete_ = new QPushButton(tr("Delete"), this);
  undo_ = new QPushButton(tr("Undo"), this);
  keyLines_ = new QPushButton(tr("Take key lines from the division tool"), this);
  keyLines_->setToolTip(tr("Draw and edit key lines with Divide (interpolation), then take them into the plan; "
                           "the labels are not divided."));
  plane_ = new QPushButton(tr("Draw a cut plane"), this);
  plane_->setObjectName("planPlaneTool");
  plane_->setCheckable(true);
  plane_->setToolTip(tr("Drag a line in the coronal or sagittal view: the plan cuts along it, across that view."));
  side_ = new QPushButton(tr("Choose side to remove"), this);
  side_->setCheckable(true);
  side_->setToolTip(tr("Then click the part of the liver to remove."));
  condition_ = new QComboBox(this);
  condition_->addItems({tr("Normal liver (20 %)"), tr("After chemotherapy (30 %)"), tr("Cirrhosis (40 %)")});
  remnant_ = new QDoubleSpinBox(this);
  remnant_->setRange(0, 100);
  remnant_->setSuffix(" %");
  remnant_->setDecimals(0);
  margin_ = new QDoubleSpinBox(this);
  margin_->setRange(0, 100);
  margin_->setSuffix(" mm");
  margin_->setDecimals(1);
  figures_ = new QLabel(this);
  figures_->setWordWrap(true);
  figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  warnings_ = new QLabel(this);
  warnings_->setWordWrap(true);
  warnings_->setStyleSheet("color: #ff6b5e;");
  identity_ = new QCheckBox(tr("Name and ID in the report"), this);
  report_ = new QPushButton(tr("PDF report..."), this);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(delete_);
  buttons->addWidget(undo_);
  auto* thresholds = new QFormLayout;
  thresholds->addRow(tr("Liver"), condition_);
  thresholds->addRow(tr("Smallest remnant"), remnant_);
  thresholds->addRow(tr("Smallest margin"), margin_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  layout->addWidget(keyLines_);
  layout->addWidget(plane_);
  layout->addWidget(side_);
  layout->addLayout(thresholds);
  layout->addWidget(figures_);
  layout->addWidget(warnings_);
  layout->addWidget(identity_);
  layout->addWidget(report_);
  layout->addStretch();
  setThresholds(20, 10);

  connect(add_, &QPushButton::clicked, this, &PlanPanel::addRequested);
  connect(delete_, &QPushButton::clicked, this, [this] {
    if (list_->currentRow() >= 0) emit deleteRequested(list_->currentRow());
  });
  connect(undo_, &QPushButton::clicked, this, &PlanPanel::undoRequested);
  connect(keyLines_, &QPushButton::clicked, this, &PlanPanel::keyLinesRequested);
  connect(side_, &QPushButton::clicked, this, &PlanPanel::sideRequested);
  connect(plane_, &QPushButton::toggled, this, [this](bool on) { if (!updating_) emit planeToolToggled(on); });
  connect(report_, &QPushButton::clicked, this, [this] { emit reportRequested(identity_->isChecked()); });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!updating_ && row >= 0) emit activated(row);
  });
  connect(list_, &QListWidget::itemChanged, this, &PlanPanel::itemEdited);
  connect(condition_, qOverload<int>(&QComboBox::activated), this, [this](int i) {
    if (i >= 0 && i < 3) remnant_->setValue(kConditionThresholds[i]);
  });
  const auto thresholdsEdited = [this] { if (!updating_) emit thresholdsChanged(remnant_->value(), margin_->value()); };
  connect(remnant_, qOverload<double>(&QDoubleSpinBox::valueChanged), this, thresholdsEdited);
  connect(margin_, qOverload<double>(&QDoubleSpinBox::valueChanged), this, thresholdsEdited);
}

void PlanPanel::itemEdited(QListWidgetItem* item) {
  if (!updating_) emit renameRequested(list_->row(item), item->text());
}

void PlanPanel::setPlans(const QStringList& names, int active) {
  updating_ = true;
  list_->clear();
  for (const QString& n : names) {
    auto* item = new QListWidgetItem(n, list_);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
  }
  list_->setCurrentRow(active);
  delete_->setEnabled(active >= 0);
  keyLines_->setEnabled(active >= 0);
  plane_->setEnabled(active >= 0);
  side_->setEnabled(active >= 0);
  updating_ = false;
}

void PlanPanel::setThresholds(double remnantPercent, double marginMm) {
  updating_ = true;
  remnant_->setValue(remnantPercent);
  margin_->setValue(marginMm);
  int condition = -1;
  for (int i = 0; i < 3; ++i)
    if (kConditionThresholds[i] == remnantPercent) condition = i;
  condition_->setCurrentIndex(condition);
  updating_ = false;
}

void PlanPanel::setFigures(const QStringList& lines, const QStringList& warnings) {
  figures_->setText(lines.join('\n'));
  warnings_->setText(warnings.join('\n'));
}

void PlanPanel::setSidePending(bool pending) { side_->setChecked(pending); }
void PlanPanel::setUndoAvailable(bool available) { undo_->setEnabled(available); }

void PlanPanel::setPlaneTool(bool on) {
  updating_ = true;
  plane_->setChecked(on);
  updating_ = false;
}
