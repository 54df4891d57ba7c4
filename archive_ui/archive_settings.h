#pragma once
// The archive nodes and our own AE title / receive port, kept in the user's settings (QSettings).

#include <vector>

#include "network/archive_node.h"

namespace morvex {

struct ArchiveSettings {
  std::vector<net::ArchiveNode> nodes;
  net::LocalEntity local;
};

ArchiveSettings loadArchiveSettings();
void saveArchiveSettings(const ArchiveSettings& settings);

}  // namespace morvex
