#pragma once
// Retrieves one series from a node into a folder: by C-GET (no inbound port), or by C-MOVE to our
// own storage listener when the node has no C-GET. The images arrive in a hidden staging folder
// and move into the target folder only when every image the node listed has arrived, so a
// failed, cancelled or half-received series leaves nothing behind.

#include <set>
#include <string>
#include <vector>

#include "network/archive_node.h"
#include "network/outcome.h"

namespace morvex::net {

enum class RetrieveMethod { Get, Move };

struct RetrieveRequest {
  std::string studyUid;  // looked up by a series-level query when empty
  std::string seriesUid;
  std::string folder;    // created when missing; the series' files land directly inside
  RetrieveMethod method = RetrieveMethod::Get;
  // For C-MOVE: the AE titles the listener accepts (the node's own is always accepted).
  std::set<std::string> moveSources;
};

struct RetrieveResult {
  Outcome outcome;
  std::vector<std::string> files;  // the series' files in folder, on success
  int expected = 0;                // images the node listed for the series
};

class ArchiveRetrieve {
 public:
  ArchiveRetrieve(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts);
  // progress(received, expected) after each image; control.requestCancel() from any thread stops
  // the run after the image in flight.
  RetrieveResult run(const RetrieveRequest& request, TransferControl& control);

 private:
  Outcome viaGet(const RetrieveRequest& request, const std::string& stage, const std::set<std::string>& sopClasses,
                 int expected, TransferControl& control, int& received);
  Outcome viaMove(const RetrieveRequest& request, const std::string& stage, const std::set<std::string>& sopClasses,
                  int expected, TransferControl& control, int& received);
  ArchiveNode node_;
  LocalEntity local_;
  Timeouts timeouts_;
};

}  // namespace morvex::net
