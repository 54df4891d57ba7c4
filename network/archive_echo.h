#pragma once
// C-ECHO: does the node answer, and if not, why.

#include "network/archive_node.h"
#include "network/outcome.h"

namespace morvex::net {

class ArchiveEcho {
 public:
  // Blocks for at most about connectSeconds + messageSeconds of timeouts.
  static Outcome run(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts);
};

}  // namespace morvex::net
