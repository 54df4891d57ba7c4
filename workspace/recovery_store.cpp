#include "workspace/recovery_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

#include "export/atomic_file.h"
#include "export/mask_writer.h"

namespace fs = std::filesystem;

namespace morvex {

namespace {
constexpr const char* kPoint = "point-";        // a complete recovery point
constexpr const char* kBuilding = "building-";  // a point being made
constexpr const char* kRetired = "retired-";    // a point being removed
constexpr const char* kRetiredFolder = ".retired";  // a series folder being removed

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The number of the newest complete point in a series folder; 0 when there is none.
long newestPoint(const std::string& folder) {
  long newest = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!startsWith(name, kPoint)) continue;
    char* rest = nullptr;
    const long n = std::strtol(name.c_str() + std::char_traits<char>::length(kPoint), &rest, 10);
    if (rest && *rest == '\0' && n > newest) newest = n;
  }
  return newest;
}

// Renames a folder out of the way, then removes it: a kill half-way leaves the renamed folder.
void retire(const std::string& folder, const std::string& retiredName) {
  std::error_code ec;
  fs::remove_all(retiredName, ec);
  fs::rename(folder, retiredName, ec);
  if (!ec) fs::remove_all(retiredName, ec);
}
// Masks kept directly in the series folder (as earlier versions kept them) become point 1: linked
// into a new point that is switched in by one rename, then removed from the folder.
bool adoptLooseMasks(const std::string& folder) {
  std::vector<fs::path> loose;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (startsWith(it->path().filename().string(), "m_") && it->path().extension() == ".png") loose.push_back(it->path());
  if (loose.empty()) return false;
  const std::string building = folder + "/" + kBuilding + "1";
  if (!fs::create_directory(building, ec)) return false;
  for (const fs::path& p : loose) fs::create_hard_link(p, building + "/" + p.filename().string(), ec);
  if (!ec) fs::rename(building, folder + "/" + kPoint + "1", ec);
  if (ec) {
    fs::remove_all(building, ec);
    return false;
  }
  for (const fs::path& p : loose) fs::remove(p, ec);
  fs::remove(folder + "/owner.pid", ec);
  return true;
}
}  // namespace

RecoveryStore::RecoveryStore(std::string root) : root_(std::move(root)) {}

RecoveryStore::~RecoveryStore() { releaseAll(); }

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

bool RecoveryStore::claim(const std::string& seriesKey) {
  if (holds(seriesKey)) return true;
  const std::string folder = folderOf(seriesKey);
  std::error_code ec;
  if (folder.empty() || (fs::create_directories(root_, ec), ec)) return false;
  // the lock file stays beside the folder for good: removing it would let two sessions lock two
  // different files of the same name
  const int fd = ::open((folder + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  locks_[seriesKey] = fd;
  // what a killed session left half-made (partial files live only inside unfinished points)
  fs::remove_all(folder + kRetiredFolder, ec);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code removeError;
    if (startsWith(name, kBuilding) || startsWith(name, kRetired)) fs::remove_all(it->path(), removeError);
  }
  long newest = newestPoint(folder);
  if (newest == 0 && adoptLooseMasks(folder)) newest = 1;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    // a kill between a switch and the retirement of the older point leaves two points
    if (startsWith(name, kPoint) && name != kPoint + std::to_string(newest)) retire(it->path().string(), folder + "/" + kRetired + name);
  }
  return true;
}

void RecoveryStore::releaseAll() {
  for (const auto& [key, fd] : locks_) ::close(fd);
  locks_.clear();
}

std::vector<std::string> RecoveryStore::recoveryPoint(const std::string& seriesKey) const {
  std::vector<std::string> masks;
  const std::string folder = folderOf(seriesKey);
  const long newest = folder.empty() ? 0 : newestPoint(folder);
  if (newest == 0) return masks;
  std::error_code ec;
  for (fs::directory_iterator it(folder + "/" + kPoint + std::to_string(newest), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (startsWith(name, "m_") && it->path().extension() == ".png") masks.push_back(it->path().string());
  }
  return masks;
}

bool RecoveryStore::save(const std::string& seriesKey, const std::vector<FrameLabels>& frames) const {
  const std::string folder = folderOf(seriesKey);
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return false;
  const long last = newestPoint(folder);
  const std::string previous = folder + "/" + kPoint + std::to_string(last);
  const std::string next = folder + "/" + kBuilding + std::to_string(last + 1);
  fs::remove_all(next, ec);
  if (!fs::create_directory(next, ec)) return false;
  bool ok = true;
  std::set<std::string> written;
  for (const FrameLabels& f : frames) {
    const std::string name = "m_" + f.fileName + ".png";
    written.insert(name);
    ok = ok && writeMaskImage(joinPath(next, name, "autosave()"), f.labels.data(), f.width, f.height, false);
  }
  // the frames that did not change since the previous point: linked (copied where links fail)
  if (last > 0)
    for (fs::directory_iterator it(previous, ec), end; ok && !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!startsWith(name, "m_") || written.count(name)) continue;
      const std::string target = next + "/" + name;
      std::error_code linkError;
      fs::create_hard_link(it->path(), target, linkError);
      if (linkError) ok = fs::copy_file(it->path(), target, linkError) && !linkError;
    }
  ok = ok && !ec;
  if (ok) fs::rename(next, folder + "/" + kPoint + std::to_string(last + 1), ec);
  if (!ok || ec) {
    fs::remove_all(next, ec);
    return false;
  }
  if (last > 0) retire(previous, folder + "/" + kRetired + std::to_string(last));
  return true;
}

void RecoveryStore::discard(const std::string& seriesKey) const {
  const std::string folder = folderOf(seriesKey);
  if (!folder.empty()) retire(folder, folder + kRetiredFolder);
}

}  // namespace morvex
