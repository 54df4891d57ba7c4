#pragma once
// Query / retrieve: studies matching patient name / ID, study dates, modality and accession
// number, listed with their series (description, modality, images); the chosen series is
// retrieved into a cache folder per study with progress and Cancel. On success seriesRetrieved
// names the folder, which the window opens as if it had been dropped; on failure one message
// says what happened and nothing is opened.

#include <QDialog>
#include <memory>
#include <vector>

#include "archive_ui/archive_settings.h"
#include "network/archive_query.h"
#include "network/archive_retrieve.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace morvex {

class ArchiveJob;

class ArchiveQueryDialog : public QDialog {
  Q_OBJECT

 public:
  // cacheRoot: series land in cacheRoot/<study UID>/<series UID>.
  ArchiveQueryDialog(const ArchiveSettings& settings, const QString& cacheRoot, QWidget* parent = nullptr);

  QString statusText() const;
  bool busy() const;

 signals:
  void seriesRetrieved(const QString& folder);
  // After every search or retrieve, with whether it succeeded.
  void runFinished(bool ok);

 private:
  void search();
  void retrieve();
  void cancel();
  void showStudies();
  void finish(const net::Outcome& out, const QString& successText);
  void setBusy(bool busy);
  net::ArchiveNode currentNode() const;

  ArchiveSettings settings_;
  QString cacheRoot_;
  QComboBox* node_;
  QLineEdit *patientName_, *patientId_, *dateFrom_, *dateTo_, *modality_, *accession_;
  QCheckBox* useMove_;
  QTreeWidget* results_;
  QPushButton *search_, *retrieve_, *cancel_;
  QProgressBar* progress_;
  QLabel* status_;
  ArchiveJob* job_;
  std::vector<net::StudyRecord> studies_;
};

}  // namespace morvex
