#include "archive_ui/archive_job.h"

namespace morvex {

ArchiveJob::ArchiveJob(QObject* parent) : QObject(parent) {}

ArchiveJob::~ArchiveJob() {
  if (!thread_) return;
  control_->requestCancel();
  thread_->wait();
  delete thread_;
}

bool ArchiveJob::start(std::function<void(net::TransferControl&)> work) {
  if (thread_) return false;
  control_ = std::make_unique<net::TransferControl>();
  control_->setProgressHandler([this](int done, int total) { emit progress(done, total); });
  net::TransferControl* control = control_.get();
  thread_ = QThread::create([work = std::move(work), control] { work(*control); });
  connect(thread_, &QThread::finished, this, [this] {
    thread_->deleteLater();
    thread_ = nullptr;
    emit finished();
  });
  thread_->start();
  return true;
}

void ArchiveJob::cancel() {
  if (thread_) control_->requestCancel();
}

}  // namespace morvex
