#pragma once
// One network run on a thread of its own. progress() and finished() arrive on the thread that
// owns the job (the interface thread); nothing waits for the run in a nested event loop.

#include <QObject>
#include <QThread>
#include <QPointer>
#include <functional>
#include <memory>

#include "network/archive_node.h"

namespace morvex {

class ArchiveJob : public QObject {
  Q_OBJECT

 public:
  explicit ArchiveJob(QObject* parent = nullptr);
  // Cancels a run still going and waits for it to end (at most one network timeout).
  ~ArchiveJob() override;

  // Runs work on a new thread; false while an earlier run is still going. What work writes is
  // safe to read once finished() has come.
  bool start(std::function<void(net::TransferControl&)> work);
  void cancel();
  bool running() const { return thread_ != nullptr; }

 signals:
  void progress(int done, int total);
  void finished();

 private:
  std::unique_ptr<net::TransferControl> control_;
  QThread* thread_ = nullptr;
};

}  // namespace morvex
