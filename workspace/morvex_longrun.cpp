// Long runs on a worker thread: the progress bar and the Cancel button, and the edits blocked
// while the run goes on.

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <cstdio>

#include "workspace/morvex.h"

bool Morvex::runLongJob(const QString& name, const std::function<void(morvex::WorkerControl&)>& job) {
  if (longRun_) return false;
  morvex::WorkerControl control;
  longRun_ = &control;
  closeAfterLongRun_ = false;
  setEditsBlocked(true);
  progressBar_->setValue(0);
  progressBar_->show();
  cancelButton_->setEnabled(true);
  cancelButton_->show();
  statusBar()->showMessage(tr("%1 running").arg(name));
  struct Restore {  // whatever the job does, the window is handed back
    Morvex& m;
    ~Restore() {
      m.progressBar_->setValue(0);
      m.progressBar_->hide();
      m.cancelButton_->hide();
      m.setEditsBlocked(false);
      m.longRun_ = nullptr;
    }
  } restore{*this};
  const morvex::WorkerOutcome outcome = morvex::runOnWorker(control, job, [this](int percent) {
    progressBar_->setValue(std::clamp(percent, 0, 100));
  });
  statusBar()->clearMessage();  // the caller says how the run ended
  if (outcome == morvex::WorkerOutcome::Cancelled) {
    std::printf("%s cancelled: the labels are as they were\n", name.toLocal8Bit().constData());
    std::fflush(stdout);
    statusBar()->showMessage(tr("%1 cancelled: the labels are as they were").arg(name));
  }
  if (closeAfterLongRun_) QTimer::singleShot(0, window(), &QWidget::close);
  return outcome == morvex::WorkerOutcome::Finished;
}

void Morvex::cancelLongRun(bool closeAfter) {
  if (!longRun_) return;
  longRun_->requestCancel();
  closeAfterLongRun_ = closeAfterLongRun_ || closeAfter;
  cancelButton_->setEnabled(false);
  statusBar()->showMessage(tr("Cancelling..."));
}

void Morvex::setEditsBlocked(bool blocked) {
  if (blocked) {
    focusBeforeLongRun_ = QApplication::focusWidget();
    blockedActions_.clear();
    for (QAction* action : findChildren<QAction*>()) {
      blockedActions_.emplace_back(action, action->isEnabled());
      action->setEnabled(false);
    }
  } else {
    for (const auto& [action, enabled] : blockedActions_) action->setEnabled(enabled);
    blockedActions_.clear();
  }
  ui.centralWidget->setEnabled(!blocked);
  menuBar()->setEnabled(!blocked);
  for (QToolBar* bar : findChildren<QToolBar*>()) bar->setEnabled(!blocked);
  if (!blocked && focusBeforeLongRun_ && focusBeforeLongRun_->isVisible()) focusBeforeLongRun_->setFocus();
  if (!blocked) focusBeforeLongRun_ = nullptr;
}
