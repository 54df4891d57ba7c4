#include "workspace/background_run.h"

#include <QEventLoop>
#include <QTimer>
#include <exception>
#include <thread>

namespace morvex {

namespace {
std::function<void(int)>& progressHook() {
  static std::function<void(int)> hook;
  return hook;
}
}  // namespace

void setWorkerProgressHook(std::function<void(int)> hook) { progressHook() = std::move(hook); }

void WorkerControl::progress(int percent) {
  percent_.store(percent, std::memory_order_relaxed);
  if (progressHook()) progressHook()(percent);
}

WorkerOutcome runOnWorker(WorkerControl& control, const std::function<void(WorkerControl&)>& job,
                          const std::function<void(int)>& poll, int pollMs) {
  std::atomic<bool> done{false};
  std::exception_ptr error;
  QEventLoop loop;
  QTimer timer;
  timer.setInterval(pollMs);
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    if (poll) poll(control.percent());
    if (done.load()) loop.quit();
  });
  std::thread worker([&] {
    try {
      job(control);
    } catch (...) {
      error = std::current_exception();
    }
    done.store(true);
  });
  timer.start();
  loop.exec();
  // the loop also ends when the application quits under it: the worker is then told to stop
  if (!done.load()) control.requestCancel();
  worker.join();
  timer.stop();
  if (poll) poll(control.percent());
  if (error) std::rethrow_exception(error);
  return control.cancelled() ? WorkerOutcome::Cancelled : WorkerOutcome::Finished;
}

}  // namespace morvex
