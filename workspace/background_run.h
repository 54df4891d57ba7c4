#pragma once
// Long runs off the interface thread. The job runs on a worker thread while the calling (interface)
// thread keeps handling events in a local loop, so the window repaints and a progress bar follows
// the job. Cancelling is cooperative: the job polls cancelled() between its steps. The job must
// touch nothing the interface thread uses meanwhile: it works on copies and hands back results.

#include <atomic>
#include <functional>

namespace morvex {

class WorkerControl {
 public:
  // Worker side: the share done, 0..100.
  void progress(int percent);
  bool cancelled() const { return cancel_.load(std::memory_order_relaxed); }
  // Interface side.
  void requestCancel() { cancel_.store(true, std::memory_order_relaxed); }
  int percent() const { return percent_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> percent_{0};
  std::atomic<bool> cancel_{false};
};

enum class WorkerOutcome { Finished, Cancelled };

// Runs job(control) on a worker thread and returns once it has ended; meanwhile poll runs on this
// thread every pollMs milliseconds with the latest percent, and events are handled. An exception
// thrown by the job is rethrown here. The outcome is Cancelled whenever a cancel was requested,
// even when the job ended before it looked: the caller then drops the job's results.
WorkerOutcome runOnWorker(WorkerControl& control, const std::function<void(WorkerControl&)>& job,
                          const std::function<void(int)>& poll, int pollMs = 30);

// Called on the worker thread with every percent a job reports; lets a test hold a run at a known
// point while it works the window.
void setWorkerProgressHook(std::function<void(int)> hook);

}  // namespace morvex
