#pragma once
// One network run on a thread of its own. progress() and finished() arrive on the thread that
// owns the job (the interface thread); nothing waits for the run in a nested event loop.

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

#include "network/archive_node.h"

namespace morvex {

class ArchiveJob : public QObject {
  Q_OBJECT

 public:
  explicit ArchiveJob(QObject* parent = nullptr);
  // A run still going is told to stop and left to end on its own thread (nothing here waits for
  // it, so closing a dialog never freezes the window); it reports to nobody any more.
  ~ArchiveJob() override;

  // Runs work on a new thread; false while an earlier run is still going. work must own (or share)
  // everything it touches; what it writes through shared results is safe to read once finished()
  // has come.
  bool start(std::function<void(net::TransferControl&)> work);
  void cancel();
  bool running() const { return thread_ != nullptr; }

 signals:
  void progress(int done, int total);
  void finished();

 private:
  struct Run;
  std::shared_ptr<Run> run_;
  QThread* thread_ = nullptr;
};

}  // namespace morvex
