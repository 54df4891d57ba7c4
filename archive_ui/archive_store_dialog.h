#pragma once
// Sends DICOM files (the DICOM Segmentations the last Save wrote, an Encapsulated PDF report, any
// other DICOM file the user adds) to an archive node by C-STORE, with a result per file.

#include <QDialog>
#include <QStringList>

#include "archive_ui/archive_settings.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace morvex {

class ArchiveJob;

class ArchiveStoreDialog : public QDialog {
  Q_OBJECT

 public:
  ArchiveStoreDialog(const ArchiveSettings& settings, const QStringList& files, QWidget* parent = nullptr);
  QStringList files() const { return files_; }
  QString statusText() const;
  // Per file: "<file name>: <result>" as listed.
  QStringList resultLines() const;

  void addFiles(const QStringList& files);
  void send();

 signals:
  void sent(bool ok);

 private:
  ArchiveSettings settings_;
  QStringList files_;
  QComboBox* node_;
  QListWidget* list_;
  QPushButton *send_, *add_, *cancel_;
  QLabel* status_;
  ArchiveJob* job_;
};

}  // namespace morvex
