#include "network/move_listener.h"

#include "dcmtk/dcmdata/dcuid.h"

#include "network/association.h"

namespace morvex::net {

MoveListener::MoveListener(const LocalEntity& local, std::set<std::string> allowedCallers, const std::string& folder,
                           const std::vector<std::string>& sopClasses, const Timeouts& timeouts)
    : local_(local), allowed_(std::move(allowedCallers)) {
  quietNetworkLog();
  setAETitle(local.aeTitle.c_str());
  setPort(static_cast<Uint16>(local.receivePort));
  // wake up every second to see whether the C-MOVE is over
  setConnectionBlockingMode(DUL_NOBLOCK);
  setConnectionTimeout(1);
  setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  setDIMSETimeout(static_cast<Uint32>(timeouts.messageSeconds));
  setACSETimeout(static_cast<Uint32>(timeouts.connectSeconds));
  setHostLookupEnabled(OFFalse);
  setOutputDirectory(folder.c_str());
  setDirectoryGenerationMode(DGM_NoSubdirectory);
  setFilenameGenerationMode(FGM_SOPInstanceUID);
  setFilenameExtension(".dcm");
  OFList<OFString> syntaxes;
  for (const std::string& ts : receivableTransferSyntaxes()) syntaxes.push_back(ts.c_str());
  for (const std::string& sop : sopClasses) addPresentationContext(sop.c_str(), syntaxes);
}

MoveListener::~MoveListener() { stop(); }

Outcome MoveListener::start() {
  const OFCondition cond = openListenPort();
  if (cond.bad())
    return Outcome::failure("the receive port " + std::to_string(local_.receivePort) + " cannot be opened (" +
                            cond.text() + "); choose another in the node settings");
  listening_ = true;
  thread_ = std::thread([this] { acceptAssociations(); });
  return Outcome::success();
}

void MoveListener::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  listening_ = false;
}

std::vector<std::string> MoveListener::refused() const {
  std::lock_guard<std::mutex> lock(refusedMutex_);
  return refused_;
}

OFBool MoveListener::checkCalledAETitleAccepted(const OFString& calledAE) {
  return calledAE == local_.aeTitle.c_str();
}

OFBool MoveListener::checkCallingAETitleAccepted(const OFString& callingAE) {
  const bool ok = listening_ && !stopping_ && allowed_.count(callingAE.c_str()) > 0;
  if (!ok) {
    std::lock_guard<std::mutex> lock(refusedMutex_);
    refused_.push_back(callingAE.c_str());
  }
  return ok;
}

void MoveListener::notifyInstanceStored(const OFString&, const OFString&, const OFString&, DcmDataset*) const {
  ++received_;
}

}  // namespace morvex::net
