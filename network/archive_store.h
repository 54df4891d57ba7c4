#pragma once
// C-STORE of DICOM files to a node (the DICOM Segmentation that Save writes, an Encapsulated PDF
// report, any DICOM object), over one association, with a result per file.

#include <string>
#include <vector>

#include "network/archive_node.h"
#include "network/outcome.h"

namespace morvex::net {

struct StoreResult {
  std::string file;
  bool ok = false;
  std::string message;  // "stored", "stored with warning 0xB000", or why not
};

class ArchiveStore {
 public:
  ArchiveStore(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts);
  // Sends every file; results has one entry per file, in order. The outcome fails when the
  // association could not be made or broke, or when any file was not stored (its message then
  // counts them); files after a broken association are reported as not sent.
  Outcome run(const std::vector<std::string>& files, std::vector<StoreResult>& results, TransferControl& control);

 private:
  ArchiveNode node_;
  LocalEntity local_;
  Timeouts timeouts_;
};

}  // namespace morvex::net
