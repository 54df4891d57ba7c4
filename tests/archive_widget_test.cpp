// The archive dialogs driven like a user would, against a real archive server: the nodes dialog's
// Test, query / retrieve opening the series in the window, sending files with a result per file.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "archive_ui/archive_nodes_dialog.h"
#include "archive_ui/archive_query_dialog.h"
#include "archive_ui/archive_settings.h"
#include "archive_ui/archive_store_dialog.h"
#include "network/archive_store.h"
#include "tests/archive_server.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

using namespace morvex::testing;

class ArchiveWidgets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (::access(kServer, X_OK) != 0) return;
    // the user's settings and cache of these tests live in a temporary folder
    home_ = new TempDir;
    qputenv("XDG_CONFIG_HOME", home_->file("config").c_str());
    qputenv("XDG_CACHE_HOME", home_->file("cache").c_str());
    series_ = new SyntheticSeries;
    server_ = new ArchiveServer(freePort());
    std::vector<morvex::net::StoreResult> results;
    morvex::net::TransferControl control;
    ASSERT_TRUE(morvex::net::ArchiveStore(server_->node(), server_->local(), {}).run(series_->files, results, control).ok);
  }
  static void TearDownTestSuite() {
    delete server_;
    delete series_;
    delete home_;
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << kServer << " is missing: install the orthanc package (scripts/install-deps.sh)";
    morvex::setWarningInterceptor([this](const QString& w) { warnings_ << w; });
  }
  void TearDown() override { morvex::setWarningInterceptor(nullptr); }
  // The server and, second, a node at a port where nothing listens.
  static morvex::ArchiveSettings settings() {
    return {{server_->node(), {"nowhere", "ARCHIVE", "127.0.0.1", freePort()}}, server_->local()};
  }
  QStringList warnings_;
  static TempDir* home_;
  static SyntheticSeries* series_;
  static ArchiveServer* server_;
};
TempDir* ArchiveWidgets::home_ = nullptr;
SyntheticSeries* ArchiveWidgets::series_ = nullptr;
ArchiveServer* ArchiveWidgets::server_ = nullptr;

TEST_F(ArchiveWidgets, NodesDialogTestsANodeAndKeepsWhatWasEntered) {
  morvex::ArchiveNodesDialog dialog({{}, server_->local()});
  dialog.findChild<QPushButton*>("archiveNodeAdd")->click();
  auto* ae = dialog.findChild<QLineEdit*>("archiveNodeAeTitle");
  auto* host = dialog.findChild<QLineEdit*>("archiveNodeHost");
  ae->selectAll();
  QTest::keyClicks(ae, "ARCHIVE");
  host->selectAll();
  QTest::keyClicks(host, "127.0.0.1");
  QSignalSpy tested(&dialog, &morvex::ArchiveNodesDialog::testFinished);
  for (const int port : {freePort(), server_->node().port}) {
    dialog.findChild<QSpinBox*>("archiveNodePort")->setValue(port);
    dialog.findChild<QPushButton*>("archiveNodeTest")->click();
    ASSERT_TRUE(tested.wait(10500)) << "Test must answer within 10 s";
    const bool reachable = port == server_->node().port;
    EXPECT_EQ(tested.takeFirst().at(0).toBool(), reachable);
    EXPECT_TRUE(dialog.testResult().contains(reachable ? "answers" : "does not answer")) << dialog.testResult().toStdString();
  }
  dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  morvex::saveArchiveSettings(dialog.settings());
  const morvex::ArchiveSettings kept = morvex::loadArchiveSettings();
  ASSERT_EQ(kept.nodes.size(), 1u);
  EXPECT_EQ(morvex::net::nodeAddress(kept.nodes[0]), morvex::net::nodeAddress(server_->node()));
  EXPECT_EQ(kept.local.receivePort, server_->local().receivePort);
}

TEST_F(ArchiveWidgets, RetrievedSeriesOpensInTheWindowAndAFailureOpensNothing) {
  morvex::saveArchiveSettings(settings());
  Morvex window;
  window.showArchiveQuery();
  auto* dialog = window.findChild<morvex::ArchiveQueryDialog*>();
  ASSERT_NE(dialog, nullptr);
  QSignalSpy finished(dialog, &morvex::ArchiveQueryDialog::runFinished);
  dialog->findChild<QLineEdit*>("archivePatientId")->setText("SYN0001");
  dialog->findChild<QPushButton*>("archiveSearch")->click();
  EXPECT_FALSE(dialog->findChild<QPushButton*>("archiveSearch")->isEnabled()) << "no second run while one goes";
  ASSERT_TRUE(finished.wait(20000));
  ASSERT_TRUE(finished.takeFirst().at(0).toBool()) << dialog->statusText().toStdString();
  auto* tree = dialog->findChild<QTreeWidget*>("archiveResults");
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
  QTreeWidgetItem* series = tree->topLevelItem(0)->child(0);
  EXPECT_EQ(series->text(1), "CT");
  EXPECT_EQ(series->text(2), "10");
  tree->setCurrentItem(series);
  dialog->findChild<QPushButton*>("archiveRetrieve")->click();
  ASSERT_TRUE(finished.wait(30000));
  EXPECT_TRUE(finished.takeFirst().at(0).toBool()) << dialog->statusText().toStdString();
  EXPECT_EQ(window.study().frameCount(), 10);
  EXPECT_EQ(window.study().width(0), 96);
  EXPECT_EQ(window.study().height(0), 128);
  const QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/archive/" +
                   QString::fromStdString(series_->studyUid + "/" + series_->seriesUid));
  EXPECT_EQ(cache.entryList(QDir::Files).size(), 10);
  EXPECT_TRUE(warnings_.isEmpty()) << warnings_.join("\n").toStdString();

  // a node that does not answer: one message, nothing more opened
  window.showArchiveQuery();
  auto dialogs = window.findChildren<morvex::ArchiveQueryDialog*>();
  morvex::ArchiveQueryDialog* second = dialogs.back();
  QSignalSpy failed(second, &morvex::ArchiveQueryDialog::runFinished);
  second->findChild<QComboBox*>("archiveQueryNode")->setCurrentIndex(1);
  second->findChild<QPushButton*>("archiveSearch")->click();
  ASSERT_TRUE(failed.wait(20000));
  EXPECT_FALSE(failed.takeFirst().at(0).toBool());
  ASSERT_EQ(warnings_.size(), 1);
  EXPECT_TRUE(warnings_[0].contains("does not answer")) << warnings_[0].toStdString();
  EXPECT_EQ(window.study().frameCount(), 10);
}

TEST_F(ArchiveWidgets, SendReportsEachFile) {
  TempDir tmp;
  std::ofstream(tmp.file("report.txt")) << "not DICOM";
  std::ofstream(tmp.file("report.pdf")) << "%PDF-1.4\n%%EOF\n";
  morvex::ArchiveStoreDialog dialog(settings(), {QString::fromStdString(series_->files[0]),
                                                 QString::fromStdString(tmp.file("report.txt")),
                                                 QString::fromStdString(tmp.file("report.pdf"))});
  QSignalSpy sent(&dialog, &morvex::ArchiveStoreDialog::sent);
  dialog.findChild<QPushButton*>("archiveStoreSend")->click();
  ASSERT_TRUE(sent.wait(20000));
  EXPECT_FALSE(sent.takeFirst().at(0).toBool());
  const QStringList lines = dialog.resultLines();
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].endsWith(": stored")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains("not a readable DICOM file")) << lines[1].toStdString();
  EXPECT_EQ(lines[2], "report.pdf: stored");  // sent as an Encapsulated PDF object
  ASSERT_EQ(warnings_.size(), 1);
  EXPECT_TRUE(warnings_[0].contains("1 of 3 files were not stored")) << warnings_[0].toStdString();
}

}  // namespace
