#include "archive_ui/archive_query_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "archive_ui/archive_job.h"
#include "workspace/message_box.h"

namespace morvex {

namespace {
const int kStudyRole = Qt::UserRole;
const int kSeriesRole = Qt::UserRole + 1;
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

ArchiveQueryDialog::ArchiveQueryDialog(const ArchiveSettings& settings, const QString& cacheRoot, QWidget* parent)
    : QDialog(parent), settings_(settings), cacheRoot_(cacheRoot), job_(new ArchiveJob(this)) {
  setWindowTitle(tr("Archive: query and retrieve"));
  setObjectName("archiveQueryDialog");
  node_ = new QComboBox(this);
  node_->setObjectName("archiveQueryNode");
  for (const net::ArchiveNode& n : settings_.nodes) node_->addItem(q(n.name.empty() ? net::nodeAddress(n) : n.name));
  const auto field = [this](const char* name, const QString& placeholder) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setPlaceholderText(placeholder);
    return e;
  };
  patientName_ = field("archivePatientName", tr("e.g. DOE^J*"));
  patientId_ = field("archivePatientId", QString());
  dateFrom_ = field("archiveDateFrom", tr("YYYYMMDD"));
  dateTo_ = field("archiveDateTo", tr("YYYYMMDD"));
  modality_ = field("archiveModality", tr("e.g. CT"));
  accession_ = field("archiveAccession", QString());
  auto* dates = new QHBoxLayout;
  dates->addWidget(dateFrom_);
  dates->addWidget(new QLabel(tr("to"), this));
  dates->addWidget(dateTo_);
  auto* form = new QFormLayout;
  form->addRow(tr("Node"), node_);
  form->addRow(tr("Patient name"), patientName_);
  form->addRow(tr("Patient ID"), patientId_);
  form->addRow(tr("Study date"), dates);
  form->addRow(tr("Modality"), modality_);
  form->addRow(tr("Accession number"), accession_);

  search_ = new QPushButton(tr("Search"), this);
  search_->setObjectName("archiveSearch");
  search_->setDefault(true);
  results_ = new QTreeWidget(this);
  results_->setObjectName("archiveResults");
  results_->setHeaderLabels({tr("Patient / series"), tr("ID / modality"), tr("Date / images"), tr("Description")});
  results_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  useMove_ = new QCheckBox(tr("Retrieve by C-MOVE (for nodes without C-GET)"), this);
  useMove_->setObjectName("archiveUseMove");
  retrieve_ = new QPushButton(tr("Retrieve and open"), this);
  retrieve_->setObjectName("archiveRetrieve");
  cancel_ = new QPushButton(tr("Cancel"), this);
  cancel_->setObjectName("archiveCancel");
  progress_ = new QProgressBar(this);
  progress_->setObjectName("archiveProgress");
  status_ = new QLabel(this);
  status_->setObjectName("archiveStatus");
  status_->setWordWrap(true);
  auto* actions = new QHBoxLayout;
  actions->addWidget(useMove_);
  actions->addStretch();
  actions->addWidget(retrieve_);
  actions->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(search_);
  layout->addWidget(results_, 1);
  layout->addLayout(actions);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  resize(720, 560);

  connect(search_, &QPushButton::clicked, this, &ArchiveQueryDialog::search);
  connect(retrieve_, &QPushButton::clicked, this, &ArchiveQueryDialog::retrieve);
  connect(cancel_, &QPushButton::clicked, this, &ArchiveQueryDialog::cancel);
  connect(results_, &QTreeWidget::itemDoubleClicked, this, [this] { retrieve(); });
  connect(job_, &ArchiveJob::progress, this, [this](int done, int total) {
    progress_->setRange(0, total > 0 ? total : 0);
    progress_->setValue(done);
  });
  setBusy(false);
  if (settings_.nodes.empty()) status_->setText(tr("No archive node is set up: add one under Archive nodes."));
}

QString ArchiveQueryDialog::statusText() const { return status_->text(); }
bool ArchiveQueryDialog::busy() const { return job_->running(); }

net::ArchiveNode ArchiveQueryDialog::currentNode() const {
  const int i = node_->currentIndex();
  return i >= 0 && i < static_cast<int>(settings_.nodes.size()) ? settings_.nodes[i] : net::ArchiveNode{};
}

void ArchiveQueryDialog::setBusy(bool busy) {
  search_->setEnabled(!busy && !settings_.nodes.empty());
  retrieve_->setEnabled(!busy && !settings_.nodes.empty());
  node_->setEnabled(!busy);
  cancel_->setEnabled(busy);
  progress_->setVisible(busy);
}

void ArchiveQueryDialog::search() {
  if (job_->running() || settings_.nodes.empty()) return;
  net::StudyQuery query;
  query.patientName = patientName_->text().trimmed().toStdString();
  query.patientId = patientId_->text().trimmed().toStdString();
  query.dateFrom = dateFrom_->text().trimmed().toStdString();
  query.dateTo = dateTo_->text().trimmed().toStdString();
  query.modality = modality_->text().trimmed().toUpper().toStdString();
  query.accessionNumber = accession_->text().trimmed().toStdString();
  std::string from, to;
  const std::string range = query.dateFrom + "-" + query.dateTo;
  if (range != "-" && !net::parseDateRange(range, from, to)) {
    status_->setText(tr("Dates are written YYYYMMDD, e.g. 20260131."));
    return;
  }
  const net::ArchiveNode node = currentNode();
  const net::LocalEntity local = settings_.local;
  auto out = std::make_shared<net::Outcome>();
  auto found = std::make_shared<std::vector<net::StudyRecord>>();
  status_->setText(tr("Searching %1 ...").arg(node_->currentText()));
  progress_->setRange(0, 0);
  setBusy(true);
  job_->start([=](net::TransferControl& control) {
    net::ArchiveQuery archive(node, local, {});
    *out = archive.findStudies(query, *found, control);
  });
  connect(job_, &ArchiveJob::finished, this, [=] {
    disconnect(job_, &ArchiveJob::finished, this, nullptr);
    if (out->ok) studies_ = std::move(*found);
    showStudies();
    int series = 0;
    for (const net::StudyRecord& s : studies_) series += static_cast<int>(s.series.size());
    finish(*out, tr("%n studies found", "", static_cast<int>(studies_.size())) + tr(", %n series", "", series));
  });
}

void ArchiveQueryDialog::showStudies() {
  results_->clear();
  for (std::size_t i = 0; i < studies_.size(); ++i) {
    const net::StudyRecord& s = studies_[i];
    auto* study = new QTreeWidgetItem(results_, {q(s.patientName), q(s.patientId), q(s.date), q(s.description)});
    study->setData(0, kStudyRole, static_cast<int>(i));
    for (std::size_t k = 0; k < s.series.size(); ++k) {
      const net::SeriesRecord& r = s.series[k];
      const QString images = r.imageCount < 0 ? tr("?") : QString::number(r.imageCount);
      auto* item = new QTreeWidgetItem(study, {r.description.empty() ? tr("Series %1").arg(r.number) : q(r.description),
                                               q(r.modality), images, QString()});
      item->setData(0, kStudyRole, static_cast<int>(i));
      item->setData(0, kSeriesRole, static_cast<int>(k));
    }
    study->setExpanded(true);
  }
}

void ArchiveQueryDialog::retrieve() {
  QTreeWidgetItem* item = results_->currentItem();
  if (job_->running()) return;
  if (!item || !item->data(0, kSeriesRole).isValid()) {
    status_->setText(tr("Choose a series to retrieve."));
    return;
  }
  const net::StudyRecord& study = studies_.at(item->data(0, kStudyRole).toInt());
  const net::SeriesRecord& series = study.series.at(item->data(0, kSeriesRole).toInt());
  net::RetrieveRequest request;
  request.studyUid = study.studyUid;
  request.seriesUid = series.seriesUid;
  request.folder = QDir(cacheRoot_).filePath(q(study.studyUid) + "/" + q(series.seriesUid)).toStdString();
  request.method = useMove_->isChecked() ? net::RetrieveMethod::Move : net::RetrieveMethod::Get;
  for (const net::ArchiveNode& n : settings_.nodes) request.moveSources.insert(n.aeTitle);
  const net::ArchiveNode node = currentNode();
  const net::LocalEntity local = settings_.local;
  auto result = std::make_shared<net::RetrieveResult>();
  status_->setText(tr("Retrieving %1 ...").arg(item->text(0)));
  progress_->setRange(0, series.imageCount > 0 ? series.imageCount : 0);
  progress_->setValue(0);
  setBusy(true);
  job_->start([=](net::TransferControl& control) { *result = net::ArchiveRetrieve(node, local, {}).run(request, control); });
  connect(job_, &ArchiveJob::finished, this, [=] {
    disconnect(job_, &ArchiveJob::finished, this, nullptr);
    finish(result->outcome, tr("%n images retrieved", "", static_cast<int>(result->files.size())));
    if (result->outcome.ok) emit seriesRetrieved(q(request.folder));
  });
}

void ArchiveQueryDialog::cancel() {
  job_->cancel();
  status_->setText(tr("Cancelling ..."));
}

void ArchiveQueryDialog::finish(const net::Outcome& out, const QString& successText) {
  setBusy(false);
  if (out.ok)
    status_->setText(successText);
  else if (out.cancelled)
    status_->setText(tr("Cancelled; nothing was kept."));
  else {
    status_->setText(q(out.message));
    warningBox(this, q(out.message));
  }
  emit runFinished(out.ok);
}

}  // namespace morvex
