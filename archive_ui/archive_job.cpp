#include "archive_ui/archive_job.h"

#include <mutex>

namespace morvex {

// What the worker shares with the job: the control, and whom to tell about progress.
struct ArchiveJob::Run {
  net::TransferControl control;
  std::mutex mutex;
  ArchiveJob* owner = nullptr;
};

ArchiveJob::ArchiveJob(QObject* parent) : QObject(parent) {}

ArchiveJob::~ArchiveJob() {
  if (!thread_) return;
  disconnect(thread_, nullptr, this, nullptr);
  std::lock_guard<std::mutex> lock(run_->mutex);
  run_->owner = nullptr;
  run_->control.requestCancel();
}

bool ArchiveJob::start(std::function<void(net::TransferControl&)> work) {
  if (thread_) return false;
  run_ = std::make_shared<Run>();
  run_->owner = this;
  Run* run = run_.get();
  // progress is emitted on the worker; the connections queue it to the receivers' thread
  run_->control.setProgressHandler([run](int done, int total) {
    std::lock_guard<std::mutex> lock(run->mutex);
    if (run->owner) emit run->owner->progress(done, total);
  });
  thread_ = QThread::create([work = std::move(work), shared = run_] { work(shared->control); });
  connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
  connect(thread_, &QThread::finished, this, [this] {
    thread_ = nullptr;
    emit finished();
  });
  thread_->start();
  return true;
}

void ArchiveJob::cancel() {
  if (run_) run_->control.requestCancel();
}

}  // namespace morvex
