// Archive access: the nodes, query / retrieve (the retrieved series opens as a dropped folder
// would) and sending the saved segmentations. The dialogs do the work on their own threads.

#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>

#include "archive_ui/archive_nodes_dialog.h"
#include "archive_ui/archive_query_dialog.h"
#include "archive_ui/archive_settings.h"
#include "archive_ui/archive_store_dialog.h"
#include "workspace/morvex.h"

void Morvex::setupArchiveMenu() {
  QMenu* archive = menuBar()->addMenu(tr("Archive"));
  archive->setObjectName("menuArchive");
  archive->addAction(tr("Query and retrieve..."), this, &Morvex::showArchiveQuery)->setObjectName("actionArchiveQuery");
  archive->addAction(tr("Send to archive..."), this, &Morvex::sendToArchive)->setObjectName("actionArchiveSend");
  archive->addSeparator();
  archive->addAction(tr("Archive nodes..."), this, &Morvex::showArchiveNodes)->setObjectName("actionArchiveNodes");
}

void Morvex::showArchiveNodes() {
  auto* dialog = new morvex::ArchiveNodesDialog(morvex::loadArchiveSettings(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [dialog] { morvex::saveArchiveSettings(dialog->settings()); });
  dialog->open();
}

QString Morvex::archiveCacheFolder() const {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath("archive");
}

void Morvex::showArchiveQuery() {
  auto* dialog = new morvex::ArchiveQueryDialog(morvex::loadArchiveSettings(), archiveCacheFolder(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &morvex::ArchiveQueryDialog::seriesRetrieved, this, [this, dialog](const QString& folder) {
    if (longRunActive()) return;
    openPaths({folder});
    dialog->close();
  });
  dialog->open();
}

void Morvex::sendToArchive() {
  // a report sent from here belongs to the shown series' study
  morvex::PdfDocumentInfo report;
  const int first = study_.frameCount() > 0 ? study_.firstFrameOfSeries(study_.seriesOfFrame(currentFrame_)) : -1;
  if (const morvex::Frame* frame = first >= 0 ? study_.frame(first) : nullptr) {
    report.patientName = frame->header.patientName;
    report.patientId = frame->header.patientId;
    report.studyInstanceUid = frame->header.studyInstanceUid;
    report.studyDate = frame->header.seriesDate;
  }
  auto* dialog = new morvex::ArchiveStoreDialog(morvex::loadArchiveSettings(), savedSegmentations_, report, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}
