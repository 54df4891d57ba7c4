#include "network/archive_retrieve.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"

#include "network/archive_query.h"
#include "network/association.h"
#include "network/move_listener.h"

namespace fs = std::filesystem;

namespace morvex::net {

namespace {

// A UID is digits and dots: anything else from the network never becomes part of a file name.
bool safeUid(const std::string& uid) {
  return !uid.empty() && uid.size() <= 64 && uid.find_first_not_of("0123456789.") == std::string::npos &&
         uid.front() != '.';
}

std::string statusText(Uint16 status) {
  char code[8];
  std::snprintf(code, sizeof code, "%04X", status);
  return std::string("0x") + code;
}

DcmDataset seriesKeys(const RetrieveRequest& r) {
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
  keys.putAndInsertString(DCM_StudyInstanceUID, r.studyUid.c_str());
  keys.putAndInsertString(DCM_SeriesInstanceUID, r.seriesUid.c_str());
  return keys;
}

// The final retrieve response's verdict on the sub-operations.
std::string subOperationFailure(const RetrieveResponse& last) {
  if (last.m_status == STATUS_Success) return {};
  if (last.m_status == STATUS_GET_Cancel) return {};
  std::string why = "the node ended the transfer with status " + statusText(last.m_status);
  if (last.m_numberOfFailedSubops > 0) why += " (" + std::to_string(last.m_numberOfFailedSubops) + " images failed)";
  return why;
}

}  // namespace

ArchiveRetrieve::ArchiveRetrieve(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts)
    : node_(node), local_(local), timeouts_(timeouts) {}

RetrieveResult ArchiveRetrieve::run(const RetrieveRequest& input, TransferControl& control) {
  RetrieveResult result;
  RetrieveRequest request = input;
  if (!safeUid(request.seriesUid)) {
    result.outcome = Outcome::failure("\"" + request.seriesUid + "\" is not a series UID");
    return result;
  }
  // what the node holds: the study of the series, and every image with its SOP class
  std::vector<InstanceRecord> images;
  {
    ArchiveQuery query(node_, local_, timeouts_);
    SeriesRecord record;
    Outcome out = request.studyUid.empty() ? query.locateSeries(request.seriesUid, request.studyUid, record, control)
                                           : Outcome::success();
    if (out.ok) out = query.findInstances(request.studyUid, request.seriesUid, images, control);
    if (!out.ok) {
      result.outcome = out;
      return result;
    }
  }
  if (images.empty()) {
    result.outcome = Outcome::failure("series " + request.seriesUid + " has no images on " + nodeAddress(node_));
    return result;
  }
  result.expected = static_cast<int>(images.size());
  std::set<std::string> sopClasses;
  for (const InstanceRecord& i : images)
    if (!i.sopClassUid.empty()) sopClasses.insert(i.sopClassUid);

  std::error_code ec;
  fs::create_directories(request.folder, ec);
  std::random_device seed;
  const fs::path stage = fs::path(request.folder) / (".incoming-" + std::to_string(seed()));
  if (ec || !fs::create_directory(stage, ec)) {
    result.outcome = Outcome::failure("the folder " + request.folder + " cannot be written" +
                                      (ec ? " (" + ec.message() + ")" : std::string()));
    return result;
  }
  int received = 0;
  Outcome out = request.method == RetrieveMethod::Get
                    ? viaGet(request, stage.string(), sopClasses, result.expected, control, received)
                    : viaMove(request, stage.string(), sopClasses, result.expected, control, received);
  if (out.ok && control.cancelled()) out = Outcome::cancel();
  if (out.ok && received < result.expected)
    out = Outcome::failure("only " + std::to_string(received) + " of " + std::to_string(result.expected) +
                           " images of the series arrived from " + nodeAddress(node_));
  // all or nothing: the staged files take their place only when the series is complete
  std::vector<std::string> files;
  if (out.ok) {
    for (const fs::directory_entry& e : fs::directory_iterator(stage, ec)) {
      const fs::path target = fs::path(request.folder) / e.path().filename();
      fs::rename(e.path(), target, ec);
      if (ec) {
        out = Outcome::failure("the file " + target.string() + " cannot be written (" + ec.message() + ")");
        for (const std::string& f : files) fs::remove(f, ec);
        files.clear();
        break;
      }
      files.push_back(target.string());
    }
  }
  fs::remove_all(stage, ec);
  result.outcome = out;
  if (out.ok) result.files = std::move(files);
  return result;
}

Outcome ArchiveRetrieve::viaGet(const RetrieveRequest& request, const std::string& stage,
                                const std::set<std::string>& sopClasses, int expected, TransferControl& control,
                                int& received) {
  Association assoc(node_, local_, timeouts_);
  assoc.propose(UID_GETStudyRootQueryRetrieveInformationModel);
  for (const std::string& sop : sopClasses) assoc.propose(sop, receivableTransferSyntaxes(), ASC_SC_ROLE_SCP);
  Outcome out = assoc.open();
  if (!out.ok) return out;
  const T_ASC_PresentationContextID context = assoc.contextFor(UID_GETStudyRootQueryRetrieveInformationModel);
  if (context == 0) {
    assoc.close(true);
    return Outcome::failure("retrieve: " + nodeAddress(node_) + " does not offer C-GET; use C-MOVE for this node");
  }
  std::string writeError;
  assoc.onStore = [&](DcmDataset& object) -> Uint16 {
    if (control.cancelled()) return STATUS_STORE_Refused_OutOfResources;
    OFString uid;
    object.findAndGetOFString(DCM_SOPInstanceUID, uid);
    if (!safeUid(uid.c_str())) return STATUS_STORE_Error_CannotUnderstand;
    const std::string path = stage + "/" + uid.c_str() + ".dcm";
    DcmFileFormat file(&object);
    const OFCondition cond = file.saveFile(path.c_str(), object.getOriginalXfer());
    if (cond.bad()) {
      writeError = "the file " + path + " cannot be written (" + cond.text() + ")";
      return STATUS_STORE_Refused_OutOfResources;
    }
    control.progress(++received, expected);
    return STATUS_Success;
  };
  assoc.keepGoing = [&] { return !control.cancelled() && writeError.empty(); };
  std::string failure;
  assoc.onRetrieve = [&](RetrieveResponse& r) {
    if (r.m_status != STATUS_Pending && r.m_status != 0xff01) failure = subOperationFailure(r);
    return !control.cancelled();
  };
  DcmDataset keys = seriesKeys(request);
  const OFCondition cond = assoc.sendCGETRequest(context, &keys, nullptr);
  const bool broken = cond.bad() || control.cancelled() || !writeError.empty();
  assoc.close(broken);
  if (control.cancelled()) return Outcome::cancel();
  if (!writeError.empty()) return Outcome::failure(writeError);
  if (cond.bad()) return Outcome::failure(assoc.describe(cond, "retrieve failed after " + std::to_string(received) +
                                                                   " of " + std::to_string(expected) + " images"));
  if (!failure.empty() && received < expected) return Outcome::failure("retrieve failed: " + failure);
  return Outcome::success();
}

Outcome ArchiveRetrieve::viaMove(const RetrieveRequest& request, const std::string& stage,
                                 const std::set<std::string>& sopClasses, int expected, TransferControl& control,
                                 int& received) {
  std::set<std::string> callers = request.moveSources;
  callers.insert(node_.aeTitle);
  MoveListener listener(local_, callers, stage, {sopClasses.begin(), sopClasses.end()}, timeouts_);
  Outcome out = listener.start();
  if (!out.ok) return out;
  Association assoc(node_, local_, timeouts_);
  assoc.propose(UID_MOVEStudyRootQueryRetrieveInformationModel);
  out = assoc.open();
  if (!out.ok) return out;
  const T_ASC_PresentationContextID context = assoc.contextFor(UID_MOVEStudyRootQueryRetrieveInformationModel);
  if (context == 0) {
    assoc.close(true);
    return Outcome::failure("retrieve: " + nodeAddress(node_) + " does not offer C-MOVE");
  }
  std::string failure;
  assoc.onRetrieve = [&](RetrieveResponse& r) {
    control.progress(listener.received(), expected);
    if (r.m_status != STATUS_Pending && r.m_status != 0xff01) failure = subOperationFailure(r);
    if (control.cancelled()) assoc.sendCANCELRequest(context);
    return !control.cancelled();
  };
  DcmDataset keys = seriesKeys(request);
  const OFCondition cond = assoc.sendMOVERequest(context, local_.aeTitle.c_str(), &keys, nullptr);
  assoc.close(cond.bad() || control.cancelled());
  listener.stop();
  received = listener.received();
  control.progress(received, expected);
  if (control.cancelled()) return Outcome::cancel();
  if (cond.bad()) return Outcome::failure(assoc.describe(cond, "retrieve failed after " + std::to_string(received) +
                                                                   " of " + std::to_string(expected) + " images"));
  if (!failure.empty() && received < expected) {
    const std::vector<std::string> refused = listener.refused();
    if (!refused.empty()) failure += "; our listener turned away " + refused.front() + ", which is not a configured node";
    if (received == 0 && refused.empty())
      failure += "; does the node know our AE title " + local_.aeTitle + " with port " + std::to_string(local_.receivePort) + "?";
    return Outcome::failure("retrieve failed: " + failure);
  }
  return Outcome::success();
}

}  // namespace morvex::net
