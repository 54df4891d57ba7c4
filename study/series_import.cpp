#include "study/series_import.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "study/import_rules.h"
#include "study/slice_decoder.h"
#include "study/text_field.h"

namespace morvex {

namespace {
// Shortest of fixed and exponent notation with 6 significant digits (0.703125, 5, 1e-07).
std::string shortNumber(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}


// Decodes the wanted files of a list on worker threads, a bounded number of files ahead of the
// consumer, and hands them out strictly in list order: the study changes on the consumer's thread
// only, and the import order, progress and warnings stay those of a serial load.
class SliceDecodeQueue {
 public:
  SliceDecodeQueue(const std::vector<std::string>& paths, const std::vector<bool>& wanted)
      : paths_(paths), wanted_(wanted), slots_(paths.size()), ready_(paths.size(), false) {
    const std::size_t count = static_cast<std::size_t>(std::count(wanted.begin(), wanted.end(), true));
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min({cores, count, kMaxThreads});
    if (threads < 2) return;  // one file or one core: decoded in take(), no thread is worth it
    window_ = 2 * threads + 2;
    initDicomCodecs();  // the codec registry is set up once, before any worker reads a file
    try {
      for (std::size_t t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
    } catch (const std::system_error& e) {
      std::fprintf(stderr, "importSlices(): decoding on one thread: %s\n", e.what());
    }
  }
  ~SliceDecodeQueue() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_) t.join();
  }
  SliceDecodeQueue(const SliceDecodeQueue&) = delete;
  SliceDecodeQueue& operator=(const SliceDecodeQueue&) = delete;

  // The decoded file i; blocks until a worker has decoded it. Called with i = 0, 1, ... in order.
  bool threaded() const { return !workers_.empty(); }
  DecodedSlice take(std::size_t i) {
    if (workers_.empty()) return decodeSliceFile(paths_[i].c_str());
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return ready_[i]; });
    DecodedSlice slice = std::move(slots_[i]);
    taken_ = i + 1;
    lock.unlock();
    changed_.notify_all();
    return slice;
  }

 private:
  static constexpr std::size_t kMaxThreads = 4;

  void work() {
    for (;;) {
      std::size_t i = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || next_ >= paths_.size() || next_ < taken_ + window_; });
        if (stop_ || next_ >= paths_.size()) return;
        i = next_++;
      }
      DecodedSlice slice;
      if (wanted_[i]) slice = decodeSliceFile(paths_[i].c_str());
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[i] = std::move(slice);
        ready_[i] = true;
      }
      changed_.notify_all();
    }
  }

  const std::vector<std::string>& paths_;
  const std::vector<bool>& wanted_;
  std::vector<DecodedSlice> slots_;
  std::vector<bool> ready_;
  std::size_t next_ = 0, taken_ = 0, window_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> workers_;
};

}  // namespace

std::vector<ImportedSlice> importSlices(Study& study, std::vector<std::string> paths,
                                        const std::vector<std::string>& nameList,
                                        const std::function<void(int)>& progress,
                                        const std::function<bool()>& beforeFirstSlice) {
  std::vector<ImportedSlice> loaded;
  std::stable_sort(paths.begin(), paths.end(), naturalLess);
  const std::size_t n = paths.size();
  std::vector<bool> wanted(n);
  for (std::size_t i = 0; i < n; ++i)
    wanted[i] = nameList.empty() ||
                std::find(nameList.begin(), nameList.end(), normalizeCaseKey(baseName(paths[i]))) != nameList.end();
  SliceDecodeQueue queue(paths, wanted);
  for (std::size_t i = 0; i < n; ++i) {
    if (wanted[i]) {
      bool stopped = false;
      std::function<bool()> first;
      if (loaded.empty() && beforeFirstSlice) first = [&] { return !(stopped = !beforeFirstSlice()); };
      const int f = study.addDecodedSlice(queue.take(i), first);
      if (stopped) return loaded;  // the caller kept what it had: nothing of this import is stored
      if (f >= 0) {
        const SliceHeader& h = study.frame(f)->header;
        loaded.push_back({f, h.instanceNumber, study.seriesOfFrame(f), h.patientName, h.seriesDate});
      }
    } else if (queue.threaded()) {
      queue.take(i);  // frees the worker window past an unlisted file
    }
    if (progress) progress(static_cast<int>((i + 1) * 100 / n));
  }
  if (!loaded.empty()) {
    study.sortSeriesByInstance();
    study.updateVolumeSpacing();
  }
  return loaded;
}

std::vector<std::pair<std::string, std::string>> dicomInfoRows(const SliceHeader& h) {
  return {
      {"PatientID", "-"},
      {"PatientName", "-"},
      {"PatientSex", "-"},
      {"PatientAge", "-"},
      {"InstitutionName", "-"},
      {"SeriesDate", h.seriesDate},
      {"ManufacturerModelName", h.manufacturerModelName},
      {"Modality", h.modality},
      {"PixelSpacing", shortNumber(h.pixelSpacing)},
      {"SliceThickness", shortNumber(h.sliceThickness)},
      {"Rows", std::to_string(h.height)},
      {"Columns", std::to_string(h.width)},
      {"InstanceNumber", std::to_string(h.instanceNumber)},
  };
}

}  // namespace morvex
