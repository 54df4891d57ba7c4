#include "network/association.h"

#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/diutil.h"
#include "dcmtk/oflog/oflog.h"

namespace morvex::net {

namespace {
std::string label(const ArchiveNode& node) {
  const std::string address = nodeAddress(node);
  return node.name.empty() || node.name == address ? address : "\"" + node.name + "\" (" + address + ")";
}
}  // namespace

void quietNetworkLog() {
  // every failure comes back as the run's outcome, in one sentence: the library's lines would repeat it
  OFLog::getLogger("dcmtk.dcmnet").setLogLevel(OFLogger::FATAL_LOG_LEVEL);
}

std::vector<std::string> uncompressedTransferSyntaxes() {
  return {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax};
}

std::vector<std::string> receivableTransferSyntaxes() {
  return {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax,
          UID_JPEGProcess14SV1TransferSyntax,     UID_JPEGProcess1TransferSyntax,
          UID_JPEG2000LosslessOnlyTransferSyntax, UID_JPEG2000TransferSyntax,
          UID_JPEGLSLosslessTransferSyntax,       UID_RLELosslessTransferSyntax,
          UID_DeflatedExplicitVRLittleEndianTransferSyntax};
}

Association::Association(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts)
    : node_(node), local_(local), timeouts_(timeouts) {
  quietNetworkLog();
  setAETitle(local.aeTitle.c_str());
  setPeerAETitle(node.aeTitle.c_str());
  setPeerHostName(node.host.c_str());
  setPeerPort(static_cast<Uint16>(node.port));
  setConnectionTimeout(timeouts.connectSeconds);
  setACSETimeout(static_cast<Uint32>(timeouts.connectSeconds));
  // non-blocking DIMSE: a node that stops answering ends the run after the message timeout
  setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  setDIMSETimeout(static_cast<Uint32>(timeouts.messageSeconds));
  setDatasetConversionMode(OFTrue);
}

Association::~Association() {
  if (isConnected()) abortAssociation();
}

void Association::propose(const std::string& abstractSyntax, std::vector<std::string> transferSyntaxes,
                          T_ASC_SC_ROLE role) {
  if (transferSyntaxes.empty()) transferSyntaxes = uncompressedTransferSyntaxes();
  OFList<OFString> list;
  for (const std::string& ts : transferSyntaxes) list.push_back(ts.c_str());
  addPresentationContext(abstractSyntax.c_str(), list, role);
}

Outcome Association::open() {
  OFCondition cond = initNetwork();
  if (cond.bad()) return Outcome::failure(describe(cond, "the network could not be set up"));
  cond = negotiateAssociation();
  if (cond.bad()) return Outcome::failure(describe(cond, "no association"));
  return Outcome::success();
}

T_ASC_PresentationContextID Association::contextFor(const std::string& abstractSyntax, const std::string& transferSyntax) {
  return transferSyntax.empty() ? findAnyPresentationContextID(abstractSyntax.c_str(), UID_LittleEndianExplicitTransferSyntax)
                                : findAnyPresentationContextID(abstractSyntax.c_str(), transferSyntax.c_str());
}

void Association::close(bool failed) {
  if (!isConnected()) return;
  if (failed)
    abortAssociation();
  else
    releaseAssociation();
}

std::string Association::rejectionReason() const {
  // DcmSCU keeps the reject parameters to itself: name both AE titles the node may have refused
  return "either it does not answer to the AE title " + node_.aeTitle + " or it does not accept ours, " + local_.aeTitle +
         " (check both in the node settings)";
}

std::string Association::describe(const OFCondition& cond, const std::string& what) const {
  const std::string who = label(node_);
  std::string why;
  if (cond == DUL_ASSOCIATIONREJECTED)
    why = who + " refused the association: " + rejectionReason();
  else if (cond == DIMSE_NODATAAVAILABLE || cond == DUL_READTIMEOUT)
    why = who + " sent no answer within " + std::to_string(timeouts_.messageSeconds) + " s";
  else if (cond == DUL_PEERABORTEDASSOCIATION)
    why = who + " broke off the association";
  else if (cond == DUL_NETWORKCLOSED || cond == DIMSE_READPDVFAILED || cond == DIMSE_RECEIVEFAILED)
    why = "the connection to " + who + " closed";
  else if (cond.module() == OFM_dcmnet && (cond.code() == DULC_TCPINITERROR || cond == DUL_REQUESTASSOCIATIONFAILED))
    why = who + " does not answer (" + std::string(cond.text()) + ")";
  else if (cond == NET_EC_NoAcceptablePresentationContexts)
    why = who + " accepts none of the services asked for";
  else
    why = cond.text();
  return what + ": " + why;
}

OFCondition Association::handleFINDResponse(T_ASC_PresentationContextID presID, QRResponse* response,
                                            OFBool& waitForNextResponse) {
  const OFCondition cond = DcmSCU::handleFINDResponse(presID, response, waitForNextResponse);
  if (response && onFind && !onFind(*response)) waitForNextResponse = OFFalse;
  return cond;
}

OFCondition Association::handleMOVEResponse(T_ASC_PresentationContextID presID, RetrieveResponse* response,
                                            OFBool& waitForNextResponse) {
  const OFCondition cond = DcmSCU::handleMOVEResponse(presID, response, waitForNextResponse);
  if (response && onRetrieve && !onRetrieve(*response)) waitForNextResponse = OFFalse;
  return cond;
}

OFCondition Association::handleCGETResponse(T_ASC_PresentationContextID presID, RetrieveResponse* response,
                                            OFBool& continueCGETSession) {
  const OFCondition cond = DcmSCU::handleCGETResponse(presID, response, continueCGETSession);
  if (response && onRetrieve && !onRetrieve(*response)) continueCGETSession = OFFalse;
  return cond;
}

OFCondition Association::handleSTORERequest(T_ASC_PresentationContextID, DcmDataset* incomingObject,
                                            OFBool& continueCGETSession, Uint16& cStoreReturnStatus) {
  // this handler owns the object
  std::unique_ptr<DcmDataset> object(incomingObject);
  continueCGETSession = OFTrue;
  cStoreReturnStatus = STATUS_STORE_Refused_OutOfResources;
  if (!object) return DIMSE_NULLKEY;
  if (onStore) cStoreReturnStatus = onStore(*object);
  if (keepGoing && !keepGoing()) continueCGETSession = OFFalse;
  return EC_Normal;
}

}  // namespace morvex::net
