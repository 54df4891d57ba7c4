#include "network/archive_store.h"

#include <cstdio>
#include <map>
#include <set>

#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmdata/dcxfer.h"

#include "network/association.h"

namespace morvex::net {

namespace {

struct FileInfo {
  std::string sopClass, transferSyntax, error;
};

// The file's SOP class and transfer syntax from its meta header (the dataset is not read).
FileInfo inspect(const std::string& path) {
  FileInfo info;
  DcmFileFormat file;
  const OFCondition cond = file.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 4096, ERM_metaOnly);
  if (cond.bad()) {
    info.error = std::string("not a readable DICOM file (") + cond.text() + ")";
    return info;
  }
  OFString sop, ts;
  file.getMetaInfo()->findAndGetOFString(DCM_MediaStorageSOPClassUID, sop);
  file.getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, ts);
  if (sop.empty() || ts.empty()) info.error = "the file has no DICOM meta header naming its SOP class";
  info.sopClass = sop.c_str();
  info.transferSyntax = ts.c_str();
  return info;
}

std::string statusText(Uint16 status) {
  char code[8];
  std::snprintf(code, sizeof code, "%04X", status);
  return std::string("0x") + code;
}

}  // namespace

ArchiveStore::ArchiveStore(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts)
    : node_(node), local_(local), timeouts_(timeouts) {}

Outcome ArchiveStore::run(const std::vector<std::string>& files, std::vector<StoreResult>& results,
                          TransferControl& control) {
  results.assign(files.size(), StoreResult{});
  for (std::size_t i = 0; i < files.size(); ++i) results[i].file = files[i];
  if (files.empty()) return Outcome::failure("store: no files given");
  const std::string invalid = validateNode(node_);
  if (!invalid.empty()) return Outcome::failure("node " + nodeAddress(node_) + ": " + invalid);

  // one presentation context per SOP class, offering each file's own transfer syntax first
  std::vector<FileInfo> infos;
  std::map<std::string, std::set<std::string>> syntaxes;
  for (const std::string& f : files) {
    infos.push_back(inspect(f));
    if (infos.back().error.empty()) syntaxes[infos.back().sopClass].insert(infos.back().transferSyntax);
  }
  int failed = 0;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (!infos[i].error.empty()) {
      results[i].message = infos[i].error;
      ++failed;
    }
  if (syntaxes.empty()) return Outcome::failure("store: none of the files is a DICOM file that can be sent");
  Association assoc(node_, local_, timeouts_);
  for (const auto& [sop, own] : syntaxes) {
    std::vector<std::string> list(own.begin(), own.end());
    for (const std::string& ts : uncompressedTransferSyntaxes())
      if (!own.count(ts)) list.push_back(ts);
    assoc.propose(sop, list);
  }
  Outcome out = assoc.open();
  if (!out.ok) return out;
  OFCondition broken = EC_Normal;
  int sent = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    StoreResult& r = results[i];
    if (!infos[i].error.empty()) continue;
    if (control.cancelled() || broken.bad()) {
      r.message = control.cancelled() ? "not sent (cancelled)" : "not sent (the association broke)";
      ++failed;
      continue;
    }
    const T_ASC_PresentationContextID context = assoc.contextFor(infos[i].sopClass, infos[i].transferSyntax);
    if (context == 0) {
      r.message = "the node does not accept objects of SOP class " + infos[i].sopClass;
      ++failed;
      continue;
    }
    Uint16 status = 0;
    const OFCondition cond = assoc.sendSTORERequest(context, files[i].c_str(), nullptr, status);
    if (cond.bad()) {
      broken = cond;
      r.message = assoc.describe(cond, "not stored");
      ++failed;
    } else if (status == STATUS_Success) {
      r.ok = true;
      r.message = "stored";
    } else if ((status & 0xf000) == 0xb000) {
      r.ok = true;
      r.message = "stored with warning " + statusText(status);
    } else {
      r.message = "refused by the node (status " + statusText(status) + ")";
      ++failed;
    }
    control.progress(++sent, static_cast<int>(files.size()));
  }
  assoc.close(broken.bad() || control.cancelled());
  if (control.cancelled()) return Outcome::cancel();
  if (broken.bad()) return Outcome::failure(assoc.describe(broken, "store failed"));
  if (failed > 0)
    return Outcome::failure(std::to_string(failed) + " of " + std::to_string(files.size()) + " files were not stored on " +
                            nodeAddress(node_));
  return Outcome::success();
}

}  // namespace morvex::net
