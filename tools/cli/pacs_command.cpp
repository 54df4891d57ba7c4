#include "tools/cli/pacs_command.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "network/archive_echo.h"
#include "network/archive_query.h"
#include "network/archive_retrieve.h"
#include "network/archive_store.h"
#include "tools/cli/cli_io.h"

namespace morvex::cli {

const char* const kPacsHelp =
    "usage: morvex-cli pacs echo  --node AET@HOST:PORT\n"
    "       morvex-cli pacs find  --node N [--patient-id ID] [--patient-name P] [--date FROM-TO]\n"
    "                             [--modality M] [--accession A]\n"
    "       morvex-cli pacs get   --node N --series UID --out DIR [--study UID] [--move --port P]\n"
    "       morvex-cli pacs store --node N FILE...\n"
    "Common options: --ae TITLE (our AE title, default MORVEX), --timeout S (seconds per network step).\n"
    "echo checks that the node answers; find prints the matching studies with their series as JSON;\n"
    "get retrieves one series into DIR by C-GET, or with --move by C-MOVE to a listener on port P;\n"
    "store sends DICOM files by C-STORE and prints the result per file. Dates are YYYYMMDD.\n";

namespace {

struct PacsUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct PacsArgs {
  std::string sub;
  std::vector<std::string> files;
  std::map<std::string, std::string> options;
  std::string get(const std::string& o) const {
    const auto it = options.find(o);
    return it == options.end() ? std::string() : it->second;
  }
  bool has(const std::string& o) const { return options.count(o) > 0; }
};

PacsArgs parsePacs(int argc, char** argv) {
  if (argc < 3) throw PacsUsage("pacs needs a subcommand");
  PacsArgs a;
  a.sub = argv[2];
  const std::vector<std::string> valued = {"--node", "--patient-id", "--patient-name", "--date", "--modality",
                                           "--accession", "--series", "--study", "--out", "--port", "--ae", "--timeout"};
  for (int i = 3; i < argc; ++i) {
    const std::string s = argv[i];
    if (s == "--move") {
      a.options[s] = "";
    } else if (s.rfind("--", 0) == 0) {
      bool known = false;
      for (const std::string& v : valued) known = known || v == s;
      if (!known) throw PacsUsage("unknown option " + s);
      if (i + 1 >= argc) throw PacsUsage(s + " needs a value");
      a.options[s] = argv[++i];
    } else {
      a.files.push_back(s);
    }
  }
  if (!a.has("--node")) throw PacsUsage("--node AET@HOST:PORT is required");
  return a;
}

int number(const std::string& text, const char* option, int lo, int hi) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < lo || v > hi)
    throw PacsUsage(std::string(option) + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi));
  return static_cast<int>(v);
}

std::string json(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

void emit(std::FILE* document, const std::string& text) {
  if (std::fputs(text.c_str(), document) < 0 || std::fflush(document) != 0)
    throw CliError("standard output: the document could not be written");
}

void check(const net::Outcome& out) {
  if (!out.ok) throw CliError(out.message);
}

// Progress of a transfer on standard error, when it is a terminal.
void showProgress(net::TransferControl& control, Progress& progress) {
  control.setProgressHandler([&progress](int done, int total) {
    if (total > 0) progress.update(done * 100 / total);
  });
}

int echo(const PacsArgs& a, const net::ArchiveNode& node, const net::LocalEntity& local, const net::Timeouts& t,
         std::FILE* document) {
  const auto start = std::chrono::steady_clock::now();
  check(net::ArchiveEcho::run(node, local, t));
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  (void)a;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f", ms);
  emit(document, "{\"node\": " + json(net::nodeAddress(node)) + ", \"echo\": \"ok\", \"milliseconds\": " + buf + "}\n");
  return 0;
}

int find(const PacsArgs& a, const net::ArchiveNode& node, const net::LocalEntity& local, const net::Timeouts& t,
         std::FILE* document) {
  net::StudyQuery q;
  q.patientId = a.get("--patient-id");
  q.patientName = a.get("--patient-name");
  q.modality = a.get("--modality");
  q.accessionNumber = a.get("--accession");
  if (a.has("--date") && !net::parseDateRange(a.get("--date"), q.dateFrom, q.dateTo))
    throw PacsUsage("--date takes YYYYMMDD, YYYYMMDD-YYYYMMDD, YYYYMMDD- or -YYYYMMDD");
  net::ArchiveQuery query(node, local, t);
  net::TransferControl control;
  std::vector<net::StudyRecord> studies;
  check(query.findStudies(q, studies, control));
  std::string out = "{\n  \"studies\": [";
  for (std::size_t i = 0; i < studies.size(); ++i) {
    const net::StudyRecord& s = studies[i];
    out += std::string(i ? "," : "") + "\n    {\"StudyInstanceUID\": " + json(s.studyUid) +
           ", \"PatientName\": " + json(s.patientName) + ", \"PatientID\": " + json(s.patientId) +
           ", \"StudyDate\": " + json(s.date) + ", \"StudyDescription\": " + json(s.description) +
           ", \"AccessionNumber\": " + json(s.accessionNumber) + ",\n     \"series\": [";
    for (std::size_t k = 0; k < s.series.size(); ++k) {
      const net::SeriesRecord& r = s.series[k];
      out += std::string(k ? "," : "") + "\n      {\"SeriesInstanceUID\": " + json(r.seriesUid) +
             ", \"description\": " + json(r.description) + ", \"modality\": " + json(r.modality) +
             ", \"number\": " + std::to_string(r.number) +
             ", \"imageCount\": " + (r.imageCount < 0 ? std::string("null") : std::to_string(r.imageCount)) + "}";
    }
    out += s.series.empty() ? "]}" : "\n     ]}";
  }
  out += studies.empty() ? "]\n}\n" : "\n  ]\n}\n";
  emit(document, out);
  return 0;
}

int get(const PacsArgs& a, const net::ArchiveNode& node, const net::LocalEntity& local, const net::Timeouts& t,
        std::FILE* document) {
  if (!a.has("--series") || !a.has("--out")) throw PacsUsage("get needs --series UID and --out DIR");
  net::RetrieveRequest r;
  r.seriesUid = a.get("--series");
  r.studyUid = a.get("--study");
  r.folder = a.get("--out");
  r.method = a.has("--move") ? net::RetrieveMethod::Move : net::RetrieveMethod::Get;
  net::TransferControl control;
  Progress progress("retrieve");
  showProgress(control, progress);
  const auto start = std::chrono::steady_clock::now();
  const net::RetrieveResult result = net::ArchiveRetrieve(node, local, t).run(r, control);
  progress.done();
  check(result.outcome);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", s);
  emit(document, "{\"SeriesInstanceUID\": " + json(r.seriesUid) + ", \"folder\": " + json(r.folder) +
                     ", \"images\": " + std::to_string(result.files.size()) + ", \"seconds\": " + buf + "}\n");
  return 0;
}

int store(const PacsArgs& a, const net::ArchiveNode& node, const net::LocalEntity& local, const net::Timeouts& t,
          std::FILE* document) {
  if (a.files.empty()) throw PacsUsage("store takes at least one FILE");
  net::TransferControl control;
  std::vector<net::StoreResult> results;
  const net::Outcome out = net::ArchiveStore(node, local, t).run(a.files, results, control);
  std::string doc = "{\n  \"results\": [";
  for (std::size_t i = 0; i < results.size(); ++i)
    doc += std::string(i ? "," : "") + "\n    {\"file\": " + json(results[i].file) +
           ", \"stored\": " + (results[i].ok ? "true" : "false") + ", \"message\": " + json(results[i].message) + "}";
  doc += "\n  ]\n}\n";
  emit(document, doc);
  check(out);
  return 0;
}

}  // namespace

int pacsCommand(int argc, char** argv, std::FILE* document) {
  try {
    const PacsArgs a = parsePacs(argc, argv);
    net::ArchiveNode node;
    std::string error;
    if (!net::parseNodeAddress(a.get("--node"), node, &error)) throw PacsUsage(error);
    net::LocalEntity local;
    if (a.has("--ae")) local.aeTitle = a.get("--ae");
    const std::string ae = net::validateAeTitle(local.aeTitle);
    if (!ae.empty()) throw PacsUsage("--ae: " + ae);
    if (a.has("--port")) local.receivePort = number(a.get("--port"), "--port", 1, 65535);
    net::Timeouts t;
    if (a.has("--timeout")) t.connectSeconds = t.messageSeconds = number(a.get("--timeout"), "--timeout", 1, 3600);
    if (a.sub == "echo") return echo(a, node, local, t, document);
    if (a.sub == "find") return find(a, node, local, t, document);
    if (a.sub == "get") return get(a, node, local, t, document);
    if (a.sub == "store") return store(a, node, local, t, document);
    throw PacsUsage("unknown pacs subcommand " + a.sub);
  } catch (const PacsUsage& e) {
    std::fprintf(stderr, "morvex-cli: %s\n%s", e.what(), kPacsHelp);
    return 2;
  }
}

}  // namespace morvex::cli
