#pragma once
// Internal to network/: one association to an archive node over DCMTK's DcmSCU, with the
// responses of C-FIND / C-GET / C-MOVE handed to callbacks, and the failures of DCMTK turned into
// one sentence for the user. Public headers of network/ do not include DCMTK.

#include <functional>
#include <string>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmnet/scu.h"

#include "network/archive_node.h"
#include "network/outcome.h"

namespace morvex::net {

class Association : public DcmSCU {
 public:
  Association(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts);
  ~Association() override;

  // Proposes abstractSyntax with the given transfer syntaxes (uncompressed ones when empty).
  void propose(const std::string& abstractSyntax, std::vector<std::string> transferSyntaxes = {},
               T_ASC_SC_ROLE role = ASC_SC_ROLE_DEFAULT);
  // Connects and negotiates; the outcome names the node and the reason on failure.
  Outcome open();
  // The accepted context for abstractSyntax (0 when the node accepted none).
  T_ASC_PresentationContextID contextFor(const std::string& abstractSyntax, const std::string& transferSyntax = {});
  // Releases (or aborts, when the run failed) the association.
  void close(bool failed);

  // A failed step of this association as one sentence: "<what>: <why>".
  std::string describe(const OFCondition& cond, const std::string& what) const;
  const ArchiveNode& node() const { return node_; }

  std::function<bool(QRResponse&)> onFind;                 // false stops waiting for more
  std::function<bool(RetrieveResponse&)> onRetrieve;       // false stops the session
  std::function<Uint16(DcmDataset& object)> onStore;       // C-STORE status for an object of a C-GET
  std::function<bool()> keepGoing;                         // false ends a C-GET session after an object

 protected:
  OFCondition handleFINDResponse(T_ASC_PresentationContextID presID, QRResponse* response,
                                 OFBool& waitForNextResponse) override;
  OFCondition handleMOVEResponse(T_ASC_PresentationContextID presID, RetrieveResponse* response,
                                 OFBool& waitForNextResponse) override;
  OFCondition handleCGETResponse(T_ASC_PresentationContextID presID, RetrieveResponse* response,
                                 OFBool& continueCGETSession) override;
  OFCondition handleSTORERequest(T_ASC_PresentationContextID presID, DcmDataset* incomingObject,
                                 OFBool& continueCGETSession, Uint16& cStoreReturnStatus) override;

 private:
  std::string rejectionReason() const;
  ArchiveNode node_;
  LocalEntity local_;
  Timeouts timeouts_;
};

// Silences DCMTK's network log lines below fatal ones.
void quietNetworkLog();
// The uncompressed transfer syntaxes every node accepts.
std::vector<std::string> uncompressedTransferSyntaxes();
// Those and the usual compressed ones, for objects coming to us.
std::vector<std::string> receivableTransferSyntaxes();

}  // namespace morvex::net
