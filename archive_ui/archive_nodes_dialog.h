#pragma once
// Archive nodes: add / edit / remove (name, AE title, host, port), our own AE title and receive
// port, and "Test", a C-ECHO that answers within 10 s and says why a node does not answer.

#include <QDialog>

#include "archive_ui/archive_settings.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace morvex {

class ArchiveJob;

class ArchiveNodesDialog : public QDialog {
  Q_OBJECT

 public:
  ArchiveNodesDialog(const ArchiveSettings& settings, QWidget* parent = nullptr);
  // The nodes as edited (read after accept()).
  const ArchiveSettings& settings() const { return settings_; }
  // The last test's result as shown ("" while none ran).
  QString testResult() const;

 signals:
  void testFinished(bool ok);

 private:
  void addNode();
  void removeNode();
  void showNode(int row);
  void editNode();
  void testNode();
  void acceptIfValid();

  ArchiveSettings settings_;
  QListWidget* list_;
  QLineEdit *name_, *aeTitle_, *host_, *ownAeTitle_;
  QSpinBox *port_, *receivePort_;
  QPushButton *test_, *remove_;
  QLabel* result_;
  ArchiveJob* job_;
  bool filling_ = false;
};

}  // namespace morvex
