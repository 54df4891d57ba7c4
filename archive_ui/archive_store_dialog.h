#pragma once
// Sends DICOM files (the DICOM Segmentations the last Save wrote, a PDF report wrapped as an
// Encapsulated PDF object, any other DICOM file the user adds) to an archive node by C-STORE, with a result per file.

#include <QDialog>
#include <QStringList>
#include <QTemporaryDir>

#include "archive_ui/archive_settings.h"
#include "export/encapsulated_pdf.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace morvex {

class ArchiveJob;

class ArchiveStoreDialog : public QDialog {
  Q_OBJECT

 public:
  // A PDF among files (or added later) is sent as an Encapsulated PDF object of report's study.
  ArchiveStoreDialog(const ArchiveSettings& settings, const QStringList& files, const PdfDocumentInfo& report = {},
                     QWidget* parent = nullptr);
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
  QStringList files_, names_;  // what is sent, and the name the user knows it by
  PdfDocumentInfo report_;
  QTemporaryDir wrapped_;  // the Encapsulated PDF objects made for this dialog
  QComboBox* node_;
  QListWidget* list_;
  QPushButton *send_, *add_, *cancel_;
  QLabel* status_;
  ArchiveJob* job_;
};

}  // namespace morvex
