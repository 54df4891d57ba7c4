// Archive access against a real archive server started from its Debian package on 127.0.0.1:
// echo, find, get, move and store end to end, and the faults a hospital network produces.
// Every case skips (with the reason) only when the server's binary is missing.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"

#include "export/encapsulated_pdf.h"
#include "network/archive_echo.h"
#include "network/archive_query.h"
#include "network/archive_retrieve.h"
#include "network/archive_store.h"
#include "network/move_listener.h"
#include "tests/archive_server.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"

namespace {

namespace fs = std::filesystem;
namespace net = morvex::net;
using morvex::testing::TempDir;
using morvex::testing::haveValidator;
using morvex::testing::validatorErrors;

using morvex::testing::ArchiveServer;
using morvex::testing::SyntheticSeries;
using morvex::testing::freePort;
using morvex::testing::kServer;
using morvex::testing::tagOf;
const net::Timeouts kTimeouts{5, 10};

net::Outcome store(const ArchiveServer& s, const std::vector<std::string>& files, std::vector<net::StoreResult>& r) {
  net::TransferControl control;
  return net::ArchiveStore(s.node(), s.local(), kTimeouts).run(files, r, control);
}

std::set<std::string> sopInstances(const std::vector<std::string>& files) {
  std::set<std::string> uids;
  for (const std::string& f : files) uids.insert(tagOf(f, DCM_SOPInstanceUID));
  return uids;
}

// Shared by every case: one server holding the synthetic series.
class Archive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (::access(kServer, X_OK) != 0) return;
    series_ = new SyntheticSeries;
    server_ = new ArchiveServer(freePort());
    std::vector<net::StoreResult> results;
    const net::Outcome out = store(*server_, series_->files, results);
    ASSERT_TRUE(out.ok) << out.message;
  }
  static void TearDownTestSuite() {
    delete server_;
    delete series_;
    server_ = nullptr;
    series_ = nullptr;
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << kServer << " is missing: install the orthanc package (scripts/install-deps.sh)";
    ASSERT_TRUE(server_->answers()) << "the archive server did not start";
  }
  net::RetrieveResult retrieve(net::RetrieveMethod method, const std::string& folder, net::TransferControl& control,
                               const ArchiveServer* server = nullptr) {
    const ArchiveServer& s = server ? *server : *server_;
    net::RetrieveRequest r;
    r.seriesUid = series_->seriesUid;
    r.folder = folder;
    r.method = method;
    return net::ArchiveRetrieve(s.node(), s.local(), kTimeouts).run(r, control);
  }
  static SyntheticSeries* series_;
  static ArchiveServer* server_;
};
SyntheticSeries* Archive::series_ = nullptr;
ArchiveServer* Archive::server_ = nullptr;

TEST(ArchiveNode, AddressesParseAndBadOnesSayWhy) {
  struct Case {
    const char* text;
    bool ok;
    const char* ae;
    int port;
  } cases[] = {{"PACS@10.0.0.5:104", true, "PACS", 104},
               {"A@host.example:11112", true, "A", 11112},
               {"PACS10.0.0.5:104", false, "", 0},
               {"PACS@host:0", false, "", 0},
               {"PACS@host:70000", false, "", 0},
               {"PACS@host:1x4", false, "", 0},
               {"ABCDEFGHIJKLMNOPQ@host:104", false, "", 0},
               {"@host:104", false, "", 0},
               {"PACS@:104", false, "", 0}};
  for (const Case& c : cases) {
    net::ArchiveNode node;
    std::string error;
    EXPECT_EQ(net::parseNodeAddress(c.text, node, &error), c.ok) << c.text;
    EXPECT_EQ(error.empty(), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(node.aeTitle, c.ae);
    EXPECT_EQ(node.port, c.port);
    EXPECT_EQ(net::nodeAddress(node), c.text);
  }
  std::string from, to;
  EXPECT_TRUE(net::parseDateRange("20260101-20260131", from, to));
  EXPECT_EQ(from + "/" + to, "20260101/20260131");
  EXPECT_TRUE(net::parseDateRange("-20260131", from, to));
  EXPECT_EQ(from + "/" + to, "/20260131");
  EXPECT_TRUE(net::parseDateRange("20260105", from, to));
  EXPECT_EQ(from + "/" + to, "20260105/20260105");
  EXPECT_FALSE(net::parseDateRange("2026-01-05", from, to));
  EXPECT_FALSE(net::parseDateRange("-", from, to));
}

TEST_F(Archive, FindListsTheStudyWithItsSeriesAndImageCount) {
  net::ArchiveQuery query(server_->node(), server_->local(), kTimeouts);
  net::TransferControl control;
  std::vector<net::StudyRecord> studies;
  net::StudyQuery q;
  q.patientId = "SYN0001";
  q.modality = "CT";
  q.dateFrom = "20251201";
  q.dateTo = "20260131";
  ASSERT_TRUE(query.findStudies(q, studies, control).ok);
  ASSERT_EQ(studies.size(), 1u);
  EXPECT_EQ(studies[0].studyUid, series_->studyUid);
  EXPECT_EQ(studies[0].patientName, "SYNTH^LIVER");
  ASSERT_EQ(studies[0].series.size(), 1u);
  EXPECT_EQ(studies[0].series[0].seriesUid, series_->seriesUid);
  EXPECT_EQ(studies[0].series[0].modality, "CT");
  EXPECT_EQ(studies[0].series[0].imageCount, 10);
  // a date range or a patient that matches nothing finds nothing
  for (const auto& change : {std::pair<std::string, std::string>{"date", "20270101"}, {"id", "NOBODY"}}) {
    net::StudyQuery none = q;
    (change.first == "date" ? none.dateFrom : none.patientId) = change.second;
    if (change.first == "date") none.dateTo.clear();
    ASSERT_TRUE(query.findStudies(none, studies, control).ok);
    EXPECT_TRUE(studies.empty()) << change.first;
  }
}

TEST_F(Archive, GetAndMoveBringEveryImageOfTheSeriesAndNothingElse) {
  for (const net::RetrieveMethod method : {net::RetrieveMethod::Get, net::RetrieveMethod::Move}) {
    TempDir out;
    net::TransferControl control;
    int calls = 0, lastDone = 0;
    control.setProgressHandler([&](int done, int total) {
      ++calls;
      lastDone = done;
      EXPECT_EQ(total, 10);
    });
    const net::RetrieveResult r = retrieve(method, out.file("study/series"), control);
    ASSERT_TRUE(r.outcome.ok) << r.outcome.message;
    EXPECT_EQ(r.expected, 10);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(lastDone, 10);
    EXPECT_EQ(sopInstances(r.files), sopInstances(series_->files));
    std::size_t inFolder = 0;
    for (const auto& e : fs::directory_iterator(out.file("study/series"))) inFolder += e.is_regular_file() ? 1 : 100;
    EXPECT_EQ(inFolder, 10u) << "no staging folder or stray file is left";
    EXPECT_EQ(tagOf(r.files[0], DCM_Rows) + "x" + tagOf(r.files[0], DCM_Columns), "128x96");
    EXPECT_EQ(tagOf(r.files[0], DCM_PixelSpacing), tagOf(series_->files[0], DCM_PixelSpacing));
  }
  // the listener is closed again once the move is over
  const net::ArchiveNode self{"", "MORVEXTEST", "127.0.0.1", server_->local().receivePort};
  EXPECT_FALSE(net::ArchiveEcho::run(self, {"ARCHIVE", 1}, {1, 1}).ok);
}

TEST_F(Archive, ListenerAcceptsOnlyConfiguredNodesWhileItRuns) {
  TempDir folder;
  const int port = freePort();
  net::MoveListener listener({"MORVEXTEST", port}, {"ARCHIVE"}, folder.path(), {}, kTimeouts);
  ASSERT_TRUE(listener.start().ok);
  const net::ArchiveNode self{"", "MORVEXTEST", "127.0.0.1", port};
  EXPECT_TRUE(net::ArchiveEcho::run(self, {"ARCHIVE", 1}, kTimeouts).ok);
  const net::Outcome stranger = net::ArchiveEcho::run(self, {"STRANGER", 1}, kTimeouts);
  EXPECT_FALSE(stranger.ok);
  EXPECT_NE(stranger.message.find("refused the association"), std::string::npos) << stranger.message;
  EXPECT_EQ(listener.refused(), std::vector<std::string>{"STRANGER"});
  listener.stop();
  EXPECT_FALSE(net::ArchiveEcho::run(self, {"ARCHIVE", 1}, {1, 1}).ok);
}

// (a store reporting each file, a refused one among them: archive_widget_test's send)
TEST_F(Archive, EncapsulatedPdfReportIsStoredAsADocumentSeries) {
  TempDir tmp;
  const std::string pdf = "%PDF-1.4\n1 0 obj<<>>endobj\ntrailer<<>>\n%%EOF\n";  // odd length: padded
  std::ofstream(tmp.file("report.pdf"), std::ios::binary) << pdf;
  std::ofstream(tmp.file("notes.pdf")) << "plain text";
  morvex::PdfDocumentInfo info;
  info.patientName = "REPORT^ONLY";
  info.patientId = "REPORT01";
  std::string error;
  EXPECT_FALSE(morvex::writeEncapsulatedPdf(tmp.file("notes.pdf"), tmp.file("bad.dcm"), info, &error));
  EXPECT_NE(error.find("not a PDF"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(tmp.file("bad.dcm")));
  ASSERT_TRUE(morvex::writeEncapsulatedPdf(tmp.file("report.pdf"), tmp.file("report.dcm"), info, &error)) << error;
  DcmFileFormat file;
  ASSERT_TRUE(file.loadFile(tmp.file("report.dcm").c_str()).good());
  const Uint8* bytes = nullptr;
  unsigned long length = 0;
  ASSERT_TRUE(file.getDataset()->findAndGetUint8Array(DCM_EncapsulatedDocument, bytes, &length).good());
  EXPECT_EQ(length, pdf.size() + 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), pdf.size()), pdf);
  if (haveValidator()) {
    EXPECT_EQ(validatorErrors(tmp.file("report.dcm")), "");
  }

  std::vector<net::StoreResult> results;
  ASSERT_TRUE(store(*server_, {tmp.file("report.dcm")}, results).ok) << results[0].message;
  net::ArchiveQuery query(server_->node(), server_->local(), kTimeouts);
  net::TransferControl control;
  std::vector<net::StudyRecord> studies;
  net::StudyQuery q;
  q.patientId = "REPORT01";
  ASSERT_TRUE(query.findStudies(q, studies, control).ok);
  ASSERT_EQ(studies.size(), 1u);
  ASSERT_EQ(studies[0].series.size(), 1u);
  EXPECT_EQ(studies[0].series[0].modality, "DOC");
  EXPECT_EQ(studies[0].series[0].imageCount, 1);
}

TEST_F(Archive, UnreachableOrRefusingNodesSayWhyPromptly) {
  struct Case {
    net::ArchiveNode node;
    const char* calling;
    const char* expected;
  } cases[] = {{{"", "ARCHIVE", "127.0.0.1", freePort()}, "MORVEXTEST", "does not answer"},
               {{"", "NOTARCHIVE", "127.0.0.1", server_->node().port}, "MORVEXTEST", "refused the association"},
               {server_->node(), "STRANGER", "broke off the association"}};
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    net::ArchiveQuery query(c.node, {c.calling, 1}, kTimeouts);
    std::vector<net::StudyRecord> studies;
    net::TransferControl control;
    const net::Outcome out = query.findStudies({}, studies, control);
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.message.find(c.expected), std::string::npos) << out.message;
    EXPECT_EQ(out.message.find('\n'), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

TEST_F(Archive, CancelledOrBrokenRetrieveLeavesNothing) {
  // cancelled after the third image; then a second server killed after the second image
  TempDir out;
  net::TransferControl cancel;
  cancel.setProgressHandler([&](int done, int) {
    if (done == 3) cancel.requestCancel();
  });
  net::RetrieveResult r = retrieve(net::RetrieveMethod::Get, out.file("cancelled"), cancel);
  EXPECT_TRUE(r.outcome.cancelled);
  EXPECT_TRUE(r.files.empty());
  EXPECT_TRUE(fs::is_empty(out.file("cancelled")));

  ArchiveServer dying(freePort());
  std::vector<net::StoreResult> stored;
  ASSERT_TRUE(store(dying, series_->files, stored).ok);
  net::TransferControl control;
  control.setProgressHandler([&](int done, int) {
    if (done == 2) dying.kill(SIGKILL);
  });
  r = retrieve(net::RetrieveMethod::Get, out.file("killed"), control, &dying);
  EXPECT_FALSE(r.outcome.ok);
  EXPECT_FALSE(r.outcome.cancelled);
  EXPECT_NE(r.outcome.message.find("after 2 of 10 images"), std::string::npos) << r.outcome.message;
  EXPECT_TRUE(fs::is_empty(out.file("killed")));
}

// The command line: a JSON document on standard output only, one line on standard error on failure.
TEST_F(Archive, CommandLineFindGetAndEcho) {
  TempDir tmp;
  const std::string node = " --node " + net::nodeAddress(server_->node()) + " --ae MORVEXTEST";
  const auto run = [&](const std::string& args) {
    const int raw = std::system((std::string(MORVEX_CLI) + " pacs " + args + " >" + tmp.file("out") + " 2>" +
                                 tmp.file("err")).c_str());
    std::ifstream in(tmp.file("out"));
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return std::make_pair(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, QJsonDocument::fromJson(text.c_str()).object());
  };
  auto [status, doc] = run("find" + node + " --patient-id SYN0001 --date 20260101-20260101");
  ASSERT_EQ(status, 0);
  const QJsonArray studies = doc["studies"].toArray();
  ASSERT_EQ(studies.size(), 1);
  const QJsonObject series = studies[0].toObject()["series"].toArray()[0].toObject();
  EXPECT_EQ(series["SeriesInstanceUID"].toString().toStdString(), series_->seriesUid);
  EXPECT_EQ(series["modality"].toString(), "CT");
  EXPECT_EQ(series["imageCount"].toInt(), 10);
  std::tie(status, doc) = run("get" + node + " --series " + series_->seriesUid + " --out " + tmp.file("dir"));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(doc["images"].toInt(), 10);
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.file("dir")), fs::directory_iterator()), 10);
  std::tie(status, doc) = run("echo --node ARCHIVE@127.0.0.1:" + std::to_string(freePort()));
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(doc.isEmpty());
  std::ifstream err(tmp.file("err"));
  std::string line, extra;
  std::getline(err, line);
  EXPECT_NE(line.find("does not answer"), std::string::npos) << line;
  EXPECT_FALSE(std::getline(err, extra)) << extra;
}

}  // namespace
