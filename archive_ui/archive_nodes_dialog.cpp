#include "archive_ui/archive_nodes_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <memory>

#include "archive_ui/archive_job.h"
#include "network/archive_echo.h"

namespace morvex {

namespace {
QString display(const net::ArchiveNode& n) {
  return QString::fromStdString(n.name.empty() ? net::nodeAddress(n) : n.name + "  (" + net::nodeAddress(n) + ")");
}
}  // namespace

ArchiveNodesDialog::ArchiveNodesDialog(const ArchiveSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), job_(new ArchiveJob(this)) {
  setWindowTitle(tr("Archive nodes"));
  setObjectName("archiveNodesDialog");
  list_ = new QListWidget(this);
  list_->setObjectName("archiveNodeList");
  for (const net::ArchiveNode& n : settings_.nodes) list_->addItem(display(n));
  auto* add = new QPushButton(tr("Add"), this);
  add->setObjectName("archiveNodeAdd");
  remove_ = new QPushButton(tr("Remove"), this);
  remove_->setObjectName("archiveNodeRemove");
  test_ = new QPushButton(tr("Test"), this);
  test_->setObjectName("archiveNodeTest");
  test_->setToolTip(tr("Checks within 10 s whether the node answers (C-ECHO)"));

  name_ = new QLineEdit(this);
  name_->setObjectName("archiveNodeName");
  aeTitle_ = new QLineEdit(this);
  aeTitle_->setObjectName("archiveNodeAeTitle");
  aeTitle_->setMaxLength(16);
  host_ = new QLineEdit(this);
  host_->setObjectName("archiveNodeHost");
  port_ = new QSpinBox(this);
  port_->setObjectName("archiveNodePort");
  port_->setRange(1, 65535);
  auto* nodeForm = new QFormLayout;
  nodeForm->addRow(tr("Name"), name_);
  nodeForm->addRow(tr("AE title"), aeTitle_);
  nodeForm->addRow(tr("Host"), host_);
  nodeForm->addRow(tr("Port"), port_);

  ownAeTitle_ = new QLineEdit(QString::fromStdString(settings_.local.aeTitle), this);
  ownAeTitle_->setObjectName("archiveOwnAeTitle");
  ownAeTitle_->setMaxLength(16);
  receivePort_ = new QSpinBox(this);
  receivePort_->setObjectName("archiveReceivePort");
  receivePort_->setRange(1, 65535);
  receivePort_->setValue(settings_.local.receivePort);
  receivePort_->setToolTip(tr("Port on which this workstation receives the images of a C-MOVE"));
  auto* own = new QGroupBox(tr("This workstation"), this);
  auto* ownForm = new QFormLayout(own);
  ownForm->addRow(tr("AE title"), ownAeTitle_);
  ownForm->addRow(tr("Receive port"), receivePort_);

  result_ = new QLabel(this);
  result_->setObjectName("archiveTestResult");
  result_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  auto* listButtons = new QHBoxLayout;
  listButtons->addWidget(add);
  listButtons->addWidget(remove_);
  listButtons->addWidget(test_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(listButtons);
  layout->addLayout(nodeForm);
  layout->addWidget(result_);
  layout->addWidget(own);
  layout->addWidget(buttons);

  connect(add, &QPushButton::clicked, this, &ArchiveNodesDialog::addNode);
  connect(remove_, &QPushButton::clicked, this, &ArchiveNodesDialog::removeNode);
  connect(test_, &QPushButton::clicked, this, &ArchiveNodesDialog::testNode);
  connect(list_, &QListWidget::currentRowChanged, this, &ArchiveNodesDialog::showNode);
  for (QLineEdit* e : {name_, aeTitle_, host_}) connect(e, &QLineEdit::textEdited, this, &ArchiveNodesDialog::editNode);
  connect(port_, QOverload<int>::of(&QSpinBox::valueChanged), this, &ArchiveNodesDialog::editNode);
  connect(buttons, &QDialogButtonBox::accepted, this, &ArchiveNodesDialog::acceptIfValid);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  list_->setCurrentRow(settings_.nodes.empty() ? -1 : 0);
  showNode(list_->currentRow());
}

QString ArchiveNodesDialog::testResult() const { return result_->text(); }

void ArchiveNodesDialog::addNode() {
  settings_.nodes.push_back({tr("New node").toStdString(), "ARCHIVE", "localhost", 104});
  list_->addItem(display(settings_.nodes.back()));
  list_->setCurrentRow(list_->count() - 1);
  name_->setFocus();
  name_->selectAll();
}

void ArchiveNodesDialog::removeNode() {
  const int row = list_->currentRow();
  if (row < 0) return;
  settings_.nodes.erase(settings_.nodes.begin() + row);
  delete list_->takeItem(row);
  showNode(list_->currentRow());
}

void ArchiveNodesDialog::showNode(int row) {
  const bool has = row >= 0 && row < static_cast<int>(settings_.nodes.size());
  for (QWidget* w : std::initializer_list<QWidget*>{name_, aeTitle_, host_, port_, remove_}) w->setEnabled(has);
  test_->setEnabled(has && !job_->running());
  if (!has) return;
  filling_ = true;
  const net::ArchiveNode& n = settings_.nodes[row];
  name_->setText(QString::fromStdString(n.name));
  aeTitle_->setText(QString::fromStdString(n.aeTitle));
  host_->setText(QString::fromStdString(n.host));
  port_->setValue(n.port);
  filling_ = false;
}

void ArchiveNodesDialog::editNode() {
  const int row = list_->currentRow();
  if (filling_ || row < 0 || row >= static_cast<int>(settings_.nodes.size())) return;
  net::ArchiveNode& n = settings_.nodes[row];
  n.name = name_->text().trimmed().toStdString();
  n.aeTitle = aeTitle_->text().trimmed().toStdString();
  n.host = host_->text().trimmed().toStdString();
  n.port = port_->value();
  list_->item(row)->setText(display(n));
}

void ArchiveNodesDialog::testNode() {
  const int row = list_->currentRow();
  if (row < 0 || job_->running()) return;
  const net::ArchiveNode node = settings_.nodes[row];
  net::LocalEntity local = settings_.local;
  local.aeTitle = ownAeTitle_->text().trimmed().toStdString();
  auto outcome = std::make_shared<net::Outcome>();
  result_->setText(tr("Testing %1 ...").arg(QString::fromStdString(net::nodeAddress(node))));
  test_->setEnabled(false);
  // connection and answer each get 5 s: the verdict comes within 10 s
  job_->start([node, local, outcome](net::TransferControl&) { *outcome = net::ArchiveEcho::run(node, local, {5, 5}); });
  connect(job_, &ArchiveJob::finished, this, [this, outcome, node] {
    disconnect(job_, &ArchiveJob::finished, this, nullptr);
    test_->setEnabled(list_->currentRow() >= 0);
    const QString who = QString::fromStdString(net::nodeAddress(node));
    result_->setText(outcome->ok ? tr("%1 answers.").arg(who)
                                 : tr("%1 does not answer: %2").arg(who, QString::fromStdString(outcome->message)));
    emit testFinished(outcome->ok);
  });
}

void ArchiveNodesDialog::acceptIfValid() {
  settings_.local.aeTitle = ownAeTitle_->text().trimmed().toStdString();
  settings_.local.receivePort = receivePort_->value();
  std::string why = net::validateAeTitle(settings_.local.aeTitle);
  for (std::size_t i = 0; why.empty() && i < settings_.nodes.size(); ++i) {
    why = net::validateNode(settings_.nodes[i]);
    if (!why.empty()) {
      list_->setCurrentRow(static_cast<int>(i));
      why = settings_.nodes[i].name + ": " + why;
    }
  }
  if (!why.empty()) {
    result_->setText(tr("Not saved: %1").arg(QString::fromStdString(why)));
    return;
  }
  accept();
}

}  // namespace morvex
