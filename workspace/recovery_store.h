#pragma once
// Crash recovery: the changed label images of an open series, written now and then (atomically,
// as label-valued PNG masks named like the design's masks) into a folder of the user's data
// directory keyed by the series, with the writing process's id beside them. A clean close or a
// save removes the folder; a folder whose process is gone was left by a session that did not
// close, and its masks can be loaded back onto the same series.

#include <cstdint>
#include <string>
#include <vector>

namespace morvex {

class RecoveryStore {
 public:
  // One frame's labels as they were when copied (the copy is written off the interface thread).
  struct FrameLabels {
    std::string fileName;  // the frame's file name without extension
    int width = 0, height = 0;
    std::vector<uint8_t> labels;
  };

  // root "" disables the store. defaultRoot(): $MORVEX_RECOVERY_DIR, else
  // $XDG_DATA_HOME/morvex/recovery, else $HOME/.local/share/morvex/recovery.
  explicit RecoveryStore(std::string root = defaultRoot());
  static std::string defaultRoot();
  const std::string& root() const { return root_; }

  // The folder of a series (its key: patient name, series date and the folder of its files).
  std::string folderOf(const std::string& seriesKey) const;
  // Writes the frames into the series' folder and marks it as this process's. False when a file
  // could not be written (the earlier file of that frame stays).
  bool save(const std::string& seriesKey, const std::vector<FrameLabels>& frames) const;
  // The mask files of a folder left by a process that no longer runs; empty when there is none.
  std::vector<std::string> leftBehind(const std::string& seriesKey) const;
  // Removes the series' folder.
  void discard(const std::string& seriesKey) const;

 private:
  std::string root_;
};

}  // namespace morvex
