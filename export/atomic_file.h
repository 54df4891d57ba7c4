#pragma once
// Files are written under a temporary name in their own folder and renamed over the target only
// when complete, so a save that fails half-way (disk full, killed process) never destroys an
// earlier good file. Paths that do not fit the program's 1024-byte path buffers are refused.

#include <cstddef>
#include <string>

namespace morvex {

// "folder/name" when it fits in 1023 bytes; otherwise "" and a log line on standard error naming
// the operation (the path is never cut into another file name).
std::string joinPath(const std::string& folder, const std::string& name, const char* operation);

// A file being written. commit() makes it appear under the target name; without commit() the
// temporary file is removed and the target stays as it was. The temporary file is locked while
// it exists, so removeStalePartials leaves it alone.
class AtomicFile {
 public:
  // The temporary file is created at once; with openNow false its content is left to another
  // writer (for example libtiff), which opens tempPath() for writing (truncating, never replacing
  // it); commit() then syncs and renames it.
  explicit AtomicFile(const std::string& target, bool openNow = true);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // The temporary path to write (it keeps the target's extension, both parts of a
  // compressed one such as ".nii.gz", for writers that look at it).
  const std::string& tempPath() const { return temp_; }
  bool write(const void* data, std::size_t size);
  bool write(const std::string& text) { return write(text.data(), text.size()); }
  // Flushes, closes and renames over the target. False (target untouched) when anything failed.
  bool commit();

 private:
  std::string target_, temp_;
  int fd_ = -1;
  bool failed_ = false;
  bool committed_ = false;
};

// Writes a whole file atomically.
bool writeFileAtomically(const std::string& target, const std::string& content);

// Removes the temporary files of a folder that no writer holds any more (left by a process that
// was killed while writing); a file being written holds a lock the kernel drops with its process.
// Returns how many were removed.
int removeStalePartials(const std::string& folder);

}  // namespace morvex
