#include "archive_ui/archive_store_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "archive_ui/archive_job.h"
#include "network/archive_store.h"
#include "workspace/message_box.h"

namespace morvex {

ArchiveStoreDialog::ArchiveStoreDialog(const ArchiveSettings& settings, const QStringList& files,
                                       const PdfDocumentInfo& report, QWidget* parent)
    : QDialog(parent), settings_(settings), report_(report), job_(new ArchiveJob(this)) {
  setWindowTitle(tr("Send to archive"));
  setObjectName("archiveStoreDialog");
  node_ = new QComboBox(this);
  node_->setObjectName("archiveStoreNode");
  for (const net::ArchiveNode& n : settings_.nodes)
    node_->addItem(QString::fromStdString(n.name.empty() ? net::nodeAddress(n) : n.name));
  list_ = new QListWidget(this);
  list_->setObjectName("archiveStoreFiles");
  add_ = new QPushButton(tr("Add files..."), this);
  add_->setObjectName("archiveStoreAdd");
  send_ = new QPushButton(tr("Send"), this);
  send_->setObjectName("archiveStoreSend");
  cancel_ = new QPushButton(tr("Cancel"), this);
  cancel_->setObjectName("archiveStoreCancel");
  status_ = new QLabel(this);
  status_->setObjectName("archiveStoreStatus");
  status_->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(node_, 1);
  buttons->addWidget(add_);
  buttons->addWidget(send_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  layout->addWidget(status_);
  resize(600, 360);
  cancel_->setEnabled(false);
  send_->setEnabled(!settings_.nodes.empty());
  if (settings_.nodes.empty()) status_->setText(tr("No archive node is set up: add one under Archive nodes."));
  addFiles(files);
  connect(add_, &QPushButton::clicked, this, [this] {
    addFiles(QFileDialog::getOpenFileNames(this, tr("DICOM files to send"), QString(), tr("DICOM files and PDF reports (*.dcm *.pdf);;All files (*)")));
  });
  connect(send_, &QPushButton::clicked, this, &ArchiveStoreDialog::send);
  connect(cancel_, &QPushButton::clicked, job_, &ArchiveJob::cancel);
}

QString ArchiveStoreDialog::statusText() const { return status_->text(); }

QStringList ArchiveStoreDialog::resultLines() const {
  QStringList lines;
  for (int i = 0; i < list_->count(); ++i) lines << list_->item(i)->text();
  return lines;
}

void ArchiveStoreDialog::addFiles(const QStringList& files) {
  for (QString f : files) {
    if (f.isEmpty() || files_.contains(f)) continue;
    const QString shown = QFileInfo(f).fileName();
    if (f.endsWith(".pdf", Qt::CaseInsensitive)) {
      const QString object = wrapped_.filePath(QString::number(files_.size()) + "_" + QFileInfo(f).completeBaseName() + ".dcm");
      std::string error;
      if (!wrapped_.isValid() || !writeEncapsulatedPdf(f.toStdString(), object.toStdString(), report_, &error)) {
        status_->setText(tr("Not added: %1").arg(QString::fromStdString(error)));
        continue;
      }
      f = object;
    }
    files_ << f;
    names_ << shown;
    list_->addItem(shown);
  }
}

void ArchiveStoreDialog::send() {
  const int i = node_->currentIndex();
  if (job_->running() || i < 0 || files_.isEmpty()) return;
  const net::ArchiveNode node = settings_.nodes[i];
  const net::LocalEntity local = settings_.local;
  std::vector<std::string> paths;
  for (const QString& f : files_) paths.push_back(f.toStdString());
  auto out = std::make_shared<net::Outcome>();
  auto results = std::make_shared<std::vector<net::StoreResult>>();
  send_->setEnabled(false);
  add_->setEnabled(false);
  cancel_->setEnabled(true);
  status_->setText(tr("Sending %n files ...", "", files_.size()));
  job_->start([=](net::TransferControl& control) { *out = net::ArchiveStore(node, local, {}).run(paths, *results, control); });
  connect(job_, &ArchiveJob::finished, this, [=] {
    disconnect(job_, &ArchiveJob::finished, this, nullptr);
    for (std::size_t k = 0; k < results->size() && static_cast<int>(k) < list_->count(); ++k) {
      const net::StoreResult& r = (*results)[k];
      list_->item(static_cast<int>(k))
          ->setText(names_[static_cast<int>(k)] + ": " +
                    (r.message.empty() ? tr("not sent") : QString::fromStdString(r.message)));
    }
    send_->setEnabled(true);
    add_->setEnabled(true);
    cancel_->setEnabled(false);
    const QString message = QString::fromStdString(out->message);
    status_->setText(out->ok ? tr("Every file was stored.") : message);
    if (!out->ok && !out->cancelled) warningBox(this, message);
    emit sent(out->ok);
  });
}

}  // namespace morvex
