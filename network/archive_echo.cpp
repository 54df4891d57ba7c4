#include "network/archive_echo.h"

#include "dcmtk/dcmdata/dcuid.h"

#include "network/association.h"

namespace morvex::net {

Outcome ArchiveEcho::run(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts) {
  const std::string invalid = validateNode(node);
  if (!invalid.empty()) return Outcome::failure("node " + nodeAddress(node) + ": " + invalid);
  Association assoc(node, local, timeouts);
  assoc.propose(UID_VerificationSOPClass);
  Outcome opened = assoc.open();
  if (!opened.ok) return opened;
  const T_ASC_PresentationContextID context = assoc.contextFor(UID_VerificationSOPClass);
  if (context == 0) {
    assoc.close(true);
    return Outcome::failure("echo: " + nodeAddress(node) + " does not accept the verification service");
  }
  const OFCondition cond = assoc.sendECHORequest(context);
  assoc.close(cond.bad());
  if (cond.bad()) return Outcome::failure(assoc.describe(cond, "echo failed"));
  return Outcome::success();
}

}  // namespace morvex::net
