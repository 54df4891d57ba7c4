#pragma once
// Crash recovery: the changed label images of an open series, kept now and then as label-valued
// PNG masks named like the design's masks, in a folder of the user's data directory keyed by the
// series. Each autosave makes one recovery point: a folder "point-<n>" holding every frame changed
// since the last save, built beside the previous point (unchanged frames hard-linked from it) and
// switched in with one rename, so a kill at any moment leaves one point, complete, or none.
// A session owns a series by an advisory lock on "<folder>.lock" that the kernel drops when the
// process ends, however it ends; a point found when the lock is first taken was left by a session
// that did not close. A clean close or a save removes the folder (renamed away first).

#include <cstdint>
#include <map>
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
  // Lets go of every series this store holds.
  ~RecoveryStore();
  RecoveryStore(const RecoveryStore&) = delete;
  RecoveryStore& operator=(const RecoveryStore&) = delete;
  static std::string defaultRoot();
  const std::string& root() const { return root_; }

  // The folder of a series (its key: patient name, series date and the folder of its files).
  std::string folderOf(const std::string& seriesKey) const;

  // Makes the series this store's: takes its lock and, when it is newly taken, removes what a
  // killed session left half-made (unfinished and retired points, partial files). True when the
  // store holds the series; false when another running session (or another store) holds it or the
  // store is disabled.
  bool claim(const std::string& seriesKey);
  bool holds(const std::string& seriesKey) const { return locks_.count(seriesKey) > 0; }
  // Lets go of every series (their folders stay).
  void releaseAll();

  // The mask files of the series' newest complete point; empty when there is none.
  std::vector<std::string> recoveryPoint(const std::string& seriesKey) const;
  // Makes a new point of a series the caller holds: the given frames are written, every other
  // frame of the previous point is linked over unchanged, then the new point replaces the previous
  // one. False (the previous point stays) when a file could not be written. Reads only the root:
  // safe on a worker thread while the interface thread claims other series.
  bool save(const std::string& seriesKey, const std::vector<FrameLabels>& frames) const;
  // Removes the series' points: the folder is renamed away first, so what a kill half-way leaves
  // is never taken for a point. The series stays held.
  void discard(const std::string& seriesKey) const;

 private:
  std::string root_;
  std::map<std::string, int> locks_;  // series key -> descriptor of its locked lock file
};

}  // namespace morvex
