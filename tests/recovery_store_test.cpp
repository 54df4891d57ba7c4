// The crash-recovery store and atomic files under kills: a process killed at a random moment
// leaves either the previous recovery point or the new one, complete, never a mix; a series is
// owned by a lock the kernel drops, whatever the process id; what a kill leaves half-made is
// cleared when the series is taken again.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include <opencv2/imgcodecs.hpp>

#include "export/atomic_file.h"
#include "export/mask_writer.h"
#include "tests/testing_support.h"
#include "workspace/recovery_store.h"

namespace fs = std::filesystem;
using morvex::RecoveryStore;

namespace {

constexpr int kWidth = 23, kHeight = 17;  // non-square, so a transposed write cannot pass
const std::string kKey = "PAT|20240101|/data/series";

RecoveryStore::FrameLabels frameOf(int index, uint8_t value) {
  return {"IM" + std::to_string(index), kWidth, kHeight,
          std::vector<uint8_t>(static_cast<std::size_t>(kWidth) * kHeight, value)};
}

// File name -> label value of each mask of the store's newest point (-1: unreadable or uneven).
std::map<std::string, int> pointState(const RecoveryStore& store) {
  std::map<std::string, int> state;
  for (const std::string& path : store.recoveryPoint(kKey)) {
    const cv::Mat m = cv::imread(path, cv::IMREAD_UNCHANGED);
    int value = -1;
    if (m.type() == CV_8UC1 && m.cols == kWidth && m.rows == kHeight) {
      double lo = 0, hi = 0;
      cv::minMaxLoc(m, &lo, &hi);
      if (lo == hi) value = static_cast<int>(lo);
    }
    state[fs::path(path).filename().string()] = value;
  }
  return state;
}

// Files anywhere under the root whose names say a kill left them half-made.
std::vector<std::string> halfMade(const std::string& root) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = e.path().filename().string();
    if (name.find(".partial-") != std::string::npos || name.rfind("building-", 0) == 0 ||
        name.rfind("retired-", 0) == 0 || name.find(".retired") != std::string::npos)
      found.push_back(e.path().string());
  }
  return found;
}

// Runs body in a child process that is killed with SIGKILL after the given time.
template <typename Body>
void killedAfter(std::chrono::microseconds delay, Body body) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    body();
    ::_exit(0);
  }
  std::this_thread::sleep_for(delay);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
}

}  // namespace

TEST(RecoveryStore, ASeriesBelongsToTheSessionHoldingItsLockWhateverItsProcessId) {
  morvex::testing::TempDir dir;
  {
    RecoveryStore first(dir.file("recovery"));
    ASSERT_TRUE(first.claim(kKey));
    ASSERT_TRUE(first.save(kKey, {frameOf(1, 3), frameOf(2, 4)}));
    RecoveryStore second(dir.file("recovery"));
    EXPECT_FALSE(second.claim(kKey)) << "a running session holds the series";
    EXPECT_FALSE(second.holds(kKey));
  }
  // the first session has ended; a new one with the same process id finds its point
  RecoveryStore restarted(dir.file("recovery"));
  EXPECT_TRUE(restarted.claim(kKey));
  EXPECT_EQ(pointState(restarted), (std::map<std::string, int>{{"m_IM1.png", 3}, {"m_IM2.png", 4}}));

  // a killed process (another id) holds its series until the kernel drops its lock
  restarted.releaseAll();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    RecoveryStore store(dir.file("recovery"));
    if (store.claim(kKey)) store.save(kKey, {frameOf(1, 9)});
    for (;;) ::pause();
  }
  RecoveryStore later(dir.file("recovery"));
  for (int i = 0; i < 300 && pointState(later)["m_IM1.png"] != 9; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(later.claim(kKey)) << "the running child holds the series";
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(later.claim(kKey));
  EXPECT_EQ(pointState(later), (std::map<std::string, int>{{"m_IM1.png", 9}, {"m_IM2.png", 4}}));
}

TEST(RecoveryStore, APointWritesOnlyTheChangedFramesAndLinksTheRest) {
  morvex::testing::TempDir dir;
  RecoveryStore store(dir.file("recovery"));
  ASSERT_TRUE(store.claim(kKey));
  std::vector<RecoveryStore::FrameLabels> all;
  for (int i = 0; i < 5; ++i) all.push_back(frameOf(i, 1));
  ASSERT_TRUE(store.save(kKey, all));
  auto inodes = [&] {
    std::map<std::string, ino_t> out;
    struct stat st {};
    for (const std::string& p : store.recoveryPoint(kKey))
      if (::stat(p.c_str(), &st) == 0) out[fs::path(p).filename().string()] = st.st_ino;
    return out;
  };
  const auto before = inodes();
  ASSERT_TRUE(store.save(kKey, {frameOf(3, 2)}));
  const auto after = inodes();
  ASSERT_EQ(after.size(), 5u);
  for (const auto& [name, inode] : after)
    EXPECT_EQ(inode == before.at(name), name != "m_IM3.png") << name << ": only the changed frame is written";
  EXPECT_EQ(pointState(store)["m_IM3.png"], 2);
  EXPECT_EQ(pointState(store)["m_IM0.png"], 1);
  EXPECT_TRUE(halfMade(dir.file("recovery")).empty()) << "the previous point is gone";
  store.discard(kKey);
  EXPECT_TRUE(store.recoveryPoint(kKey).empty());
  EXPECT_TRUE(store.holds(kKey)) << "a discard keeps the series";
}

TEST(RecoveryStore, MasksKeptLooseInTheSeriesFolderAreOfferedAsAPoint) {
  morvex::testing::TempDir dir;
  RecoveryStore probe(dir.file("recovery"));
  const std::string folder = probe.folderOf(kKey);
  fs::create_directories(folder);
  const auto f = frameOf(7, 5);
  ASSERT_TRUE(morvex::writeMaskImage(folder + "/m_IM7.png", f.labels.data(), kWidth, kHeight, false));
  morvex::writeFileAtomically(folder + "/owner.pid", "123\n");
  RecoveryStore store(dir.file("recovery"));
  ASSERT_TRUE(store.claim(kKey));
  EXPECT_EQ(pointState(store), (std::map<std::string, int>{{"m_IM7.png", 5}}));
  EXPECT_FALSE(fs::exists(folder + "/m_IM7.png"));
}

// A session that saves whole-series steps, one-frame steps and discards, killed at random moments:
// what the next session finds is always a state the killed one had made.
TEST(RecoveryStore, AKillAtAnyMomentLeavesAStateThatExisted) {
  constexpr int kFrames = 12;
  // the state after step g: odd steps write every frame, even ones a single frame, every fifth
  // discards everything
  std::vector<std::map<std::string, int>> states{{}};
  for (int g = 1; g < 400; ++g) {
    std::map<std::string, int> s = states.back();
    if (g % 5 == 0) {
      s.clear();
    } else if (g % 2 == 1) {
      for (int i = 0; i < kFrames; ++i) s["m_IM" + std::to_string(i) + ".png"] = g;
    } else {
      s["m_IM" + std::to_string(g % kFrames) + ".png"] = g;
    }
    states.push_back(s);
  }
  std::mt19937 random(26);
  std::uniform_int_distribution<int> delayUs(1000, 60000);
  morvex::testing::TempDir dir;
  for (int round = 0; round < 12; ++round) {
    const std::string root = dir.file("recovery" + std::to_string(round));
    killedAfter(std::chrono::microseconds(delayUs(random)), [&] {
      RecoveryStore store(root);
      if (!store.claim(kKey)) return;
      for (int g = 1; g < static_cast<int>(states.size()); ++g) {
        if (g % 5 == 0) {
          store.discard(kKey);
        } else if (g % 2 == 1) {
          std::vector<RecoveryStore::FrameLabels> all;
          for (int i = 0; i < kFrames; ++i) all.push_back(frameOf(i, static_cast<uint8_t>(g)));
          store.save(kKey, all);
        } else {
          store.save(kKey, {frameOf(g % kFrames, static_cast<uint8_t>(g))});
        }
      }
      for (;;) ::pause();
    });
    RecoveryStore next(root);
    ASSERT_TRUE(next.claim(kKey)) << "the lock went with the killed process";
    const auto found = pointState(next);
    EXPECT_NE(std::find(states.begin(), states.end(), found), states.end())
        << "round " << round << ": a state that never existed (" << found.size() << " frames)";
    EXPECT_TRUE(halfMade(root).empty()) << halfMade(root).front();
  }
}

TEST(AtomicFile, AKilledWritersPartialFileIsRemovedAndALiveOneKept) {
  morvex::testing::TempDir dir;
  const std::string target = dir.file("m_big.tiff");
  const std::string content(8 << 20, 'x');
  std::mt19937 random(34);
  std::uniform_int_distribution<int> delayUs(2000, 40000);
  for (int round = 0; round < 4; ++round) {
    killedAfter(std::chrono::microseconds(delayUs(random)), [&] {
      for (;;) morvex::writeFileAtomically(target, content);
    });
    morvex::removeStalePartials(dir.path());
    for (const auto& e : fs::directory_iterator(dir.path()))
      EXPECT_EQ(e.path().string(), target) << "only the target may stay";
    if (fs::exists(target)) {
      EXPECT_EQ(fs::file_size(target), content.size()) << "never half a file";
    }
  }
  morvex::AtomicFile live(target);
  ASSERT_TRUE(live.write("abc"));
  EXPECT_EQ(morvex::removeStalePartials(dir.path()), 0) << "a file being written is kept";
  EXPECT_TRUE(live.commit());
}
