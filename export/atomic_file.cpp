#include "export/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "study/text_field.h"

namespace morvex {

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
  temp_ = folder + "." + name + ".partial-" + std::to_string(::getpid()) + (ext.empty() ? "" : "." + ext);
  if (!openNow) return;
  fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  failed_ = fd_ < 0;
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_.c_str());
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
  if (failed_ || committed_) return false;
  if (fd_ < 0) fd_ = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);  // written by another writer
  if (fd_ < 0) return false;
  failed_ = ::fsync(fd_) != 0;
  failed_ = (::close(fd_) != 0) || failed_;
  fd_ = -1;
  if (failed_ || ::rename(temp_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

bool writeFileAtomically(const std::string& target, const std::string& content) {
  if (target.empty()) return false;
  AtomicFile file(target);
  return file.write(content) && file.commit();
}

}  // namespace morvex
