#include "export/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "study/text_field.h"

namespace morvex {

namespace {
constexpr const char* kPartialMark = ".partial-";
}  // namespace

std::string joinPath(const std::string& folder, const std::string& name, const char* operation) {
  const std::string path = folder.empty() ? name : folder + "/" + name;
  if (path.size() >= kPathCapacity) {
    std::fprintf(stderr, "%s: path longer than %zu bytes refused: %s\n", operation, kPathCapacity - 1, path.c_str());
    return std::string();
  }
  return path;
}

AtomicFile::AtomicFile(const std::string& target, bool openNow) : target_(target) {
  const std::string name = baseName(target);
  const std::string folder = target.substr(0, target.size() - name.size());
  std::string ext = fileExtension(name);
  // A compressed file keeps both parts of its extension ("labels.nii.gz"): writers that pick the
  // format from the name see the same name as the target's.
  if (ext == "gz" && !fileExtension(stripExtension(name)).empty()) ext = fileExtension(stripExtension(name)) + ".gz";
  temp_ = folder + "." + name + kPartialMark + std::to_string(::getpid()) + (ext.empty() ? "" : "." + ext);
  // the descriptor (kept open until commit, also when another writer fills the file) holds the lock
  // (a file system without locks still gets the file; only a writer holding the lock stops this one)
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  failed_ = fd_ < 0 || (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
  (void)openNow;
}

AtomicFile::~AtomicFile() {
  if (!committed_) ::unlink(temp_.c_str());
  if (fd_ >= 0) ::close(fd_);
}

bool AtomicFile::write(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (!failed_ && size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      break;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return !failed_;
}

bool AtomicFile::commit() {
  if (failed_ || committed_ || fd_ < 0) return false;
  // synced, then renamed while the descriptor still holds the lock: no cleaner takes the file
  committed_ = ::fsync(fd_) == 0 && ::rename(temp_.c_str(), target_.c_str()) == 0;
  failed_ = !committed_;
  ::close(fd_);
  fd_ = -1;
  return committed_;
}

int removeStalePartials(const std::string& folder) {
  namespace fs = std::filesystem;
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] != '.' || name.find(kPartialMark) == std::string::npos) continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    // a writer holds its lock until the file is renamed or removed
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(it->path().c_str()) == 0) ++removed;
    ::close(fd);
  }
  return removed;
}

bool writeFileAtomically(const std::string& target, const std::string& content) {
  if (target.empty()) return false;
  AtomicFile file(target);
  return file.write(content) && file.commit();
}

}  // namespace morvex
