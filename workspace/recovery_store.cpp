#include "workspace/recovery_store.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "export/atomic_file.h"
#include "export/mask_writer.h"

namespace fs = std::filesystem;

namespace morvex {

namespace {
constexpr const char* kOwnerFile = "owner.pid";

bool processRuns(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }
}  // namespace

RecoveryStore::RecoveryStore(std::string root) : root_(std::move(root)) {}

std::string RecoveryStore::defaultRoot() {
  if (const char* dir = std::getenv("MORVEX_RECOVERY_DIR"); dir && *dir) return dir;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/morvex/recovery";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/share/morvex/recovery";
  return std::string();
}

std::string RecoveryStore::folderOf(const std::string& seriesKey) const {
  if (root_.empty()) return std::string();
  char name[32];
  std::snprintf(name, sizeof name, "series-%016zx", std::hash<std::string>{}(seriesKey));
  return root_ + "/" + name;
}

bool RecoveryStore::save(const std::string& seriesKey, const std::vector<FrameLabels>& frames) const {
  const std::string folder = folderOf(seriesKey);
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return false;
  bool ok = writeFileAtomically(folder + "/" + kOwnerFile, std::to_string(::getpid()) + "\n");
  for (const FrameLabels& f : frames)
    ok = writeMaskImage(joinPath(folder, "m_" + f.fileName + ".png", "autosave()"), f.labels.data(), f.width,
                        f.height, false) && ok;
  return ok;
}

std::vector<std::string> RecoveryStore::leftBehind(const std::string& seriesKey) const {
  std::vector<std::string> masks;
  const std::string folder = folderOf(seriesKey);
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return masks;
  long owner = 0;
  std::ifstream(folder + "/" + kOwnerFile) >> owner;
  if (owner == static_cast<long>(::getpid()) || processRuns(owner)) return masks;  // a live session's
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("m_", 0) == 0 && e.path().extension() == ".png") masks.push_back(e.path().string());
  }
  return masks;
}

void RecoveryStore::discard(const std::string& seriesKey) const {
  const std::string folder = folderOf(seriesKey);
  std::error_code ec;
  if (!folder.empty()) fs::remove_all(folder, ec);
}

}  // namespace morvex
