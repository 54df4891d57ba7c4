#include "tools/cli/cli_io.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <new>
#include <vector>

#include <opencv2/core.hpp>

#include "export/dicom_seg.h"
#include "export/mask_writer.h"
#include "export/nifti_io.h"
#include "study/import_rules.h"
#include "study/label_table.h"
#include "study/mask_import.h"
#include "study/series_import.h"
#include "study/slice_decoder.h"
#include "study/text_field.h"

namespace morvex::cli {

namespace fs = std::filesystem;

namespace {

// Every regular file below folder, in natural order.
std::vector<std::string> filesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file(ec)) files.push_back(it->path().string());
  if (ec) throw CliError(folder + ": cannot be read (" + ec.message() + ")");
  std::stable_sort(files.begin(), files.end(), naturalLess);
  return files;
}

void requireExisting(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) throw CliError(path + ": no such file or folder");
}

bool isTiff(const std::string& path) {
  const std::string ext = fileExtension(path);
  return ext == "tif" || ext == "tiff" || ext == "TIF" || ext == "TIFF";
}

// Standard error held in a temporary file while alive: the loaders' own log lines become the
// detail of a one-line error instead of extra lines.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()) {
    std::fflush(stderr);
    saved_ = file_ ? ::dup(STDERR_FILENO) : -1;
    if (saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
  }
  ~StderrCapture() {
    restore();
    if (file_) std::fclose(file_);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // What was written, after the last "path: " when the line names it, without the line end.
  std::string lastLine(const std::string& path) {
    restore();
    if (!file_) return {};
    std::string text;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    text = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
    const std::size_t at = text.rfind(path + ": ");
    return at == std::string::npos ? text : text.substr(at + path.size() + 2);
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  std::FILE* file_;
  int saved_ = -1;
};

int frameCountOfSeries(const Study& study) {
  return study.lastFrameOfSeries(0) - study.firstFrameOfSeries(0) + 1;
}

// One mask file into the series; anything it does not fill, or does not fit, is the error.
int loadMaskFileChecked(const std::string& path, Study& study) {
  if (isTiff(path)) {
    const TiffPages t = loadTiffPages(study, path.c_str(), 0);
    const int n = frameCountOfSeries(study);
    if (t.pages == 0) throw CliError(path + ": not a readable TIFF");
    if (t.applied != n || t.pages != n)
      throw CliError(path + ": " + std::to_string(t.applied) + " of its pages fit the " + std::to_string(n) +
                     " slices of the series (8-bit pages of the slices' size, one per slice)");
    return -1;
  }
  std::string warning;
  study.setWarningSink([&warning, &study](const std::string& w) {
    if (warning.empty()) warning = study.warningReason().empty() ? w : study.warningReason();
  });
  StderrCapture capture;
  const int frame = loadMaskFile(study, path.c_str());
  const std::string logged = capture.lastLine(path);
  study.setWarningSink({});
  if (!warning.empty())
    throw CliError(path + ": the mask does not fit the series (" + (logged.empty() ? warning : logged) + ")");
  if (frame < 0)
    throw CliError(path + ": " + (logged.empty() ? "matches no slice of the series or is no readable mask" : logged));
  return frame;
}

// The library boundary of one command step on path: what a library throws becomes a CliError
// naming the file; the library's own text goes to the log (standard error), one line.
template <typename Step>
auto guarded(const std::string& path, Step&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const cv::Exception& e) {
    std::string text = e.what();
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::fprintf(stderr, "morvex-cli: log: %s: %s\n", path.c_str(), text.c_str());
    throw CliError(path + ": the image library could not process it");
  } catch (const std::bad_alloc&) {
    throw CliError(path + ": not enough memory to process it");
  }
}

}  // namespace

// The steps themselves, below their guarded entry points.
void loadSeriesUnguarded(const std::string& path, Study& study);
int loadMasksUnguarded(const std::string& path, Study& study);
void writeMasksUnguarded(const Study& study, MaskFormat format, const std::string& target);

Progress::Progress(const char* task) : task_(task), shown_(::isatty(STDERR_FILENO) == 1) {}

void Progress::update(int percent) {
  if (!shown_ || percent == last_) return;
  last_ = percent;
  std::fprintf(stderr, "\r%s: %3d%%", task_, percent);
  std::fflush(stderr);
}

void Progress::done() {
  if (shown_ && last_ >= 0) std::fprintf(stderr, "\n");
  last_ = -1;
}

void loadSeries(const std::string& path, Study& study) {
  guarded(path, [&] { loadSeriesUnguarded(path, study); });
}

int loadMasks(const std::string& path, Study& study) {
  return guarded(path, [&] { return loadMasksUnguarded(path, study); });
}

void writeMasks(const Study& study, MaskFormat format, const std::string& target) {
  guarded(target, [&] { writeMasksUnguarded(study, format, target); });
}

void loadSeriesUnguarded(const std::string& path, Study& study) {
  requireExisting(path);
  std::vector<std::string> slices;
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    for (const std::string& f : filesBelow(path))
      if (classifyDroppedFile(f, true) == DropKind::Slice && !isDicomSeg(f)) slices.push_back(f);
    if (slices.empty()) throw CliError(path + ": the folder holds no slice files");
  } else {
    slices.push_back(path);
  }
  initDicomCodecs();
  // Refused and skipped files are logged with their reasons in English; the window's message text
  // is not the command line's.
  std::vector<std::string> refusals;
  const auto note = [&](const std::string& text) {
    const std::string& reason = study.warningReason();
    refusals.push_back(fs::path(study.warningSubject()).filename().string() + ": " + (reason.empty() ? text : reason));
  };
  study.setWarningSink(note);
  study.setSkipSink(note);
  Progress progress("loading");
  std::vector<ImportedSlice> loaded;
  try {
    loaded = importSlices(study, slices, {}, [&](int p) { progress.update(p); });
  } catch (...) {
    study.setWarningSink({});
    study.setSkipSink({});
    throw;
  }
  study.setWarningSink({});
  study.setSkipSink({});
  progress.done();
  if (loaded.empty()) {
    for (std::size_t i = 1; i < refusals.size(); ++i)
      std::fprintf(stderr, "morvex-cli: log: not loaded: %s\n", refusals[i].c_str());
    std::string why;
    if (!refusals.empty()) {
      why = " (" + refusals.front();
      if (refusals.size() > 1) why += "; " + std::to_string(refusals.size() - 1) + " more above";
      why += ")";
    }
    throw CliError(path + ": no slice could be read" + why);
  }
  for (const std::string& r : refusals) std::fprintf(stderr, "morvex-cli: log: not loaded: %s\n", r.c_str());
  if (study.seriesCount() != 1)
    throw CliError(path + ": holds " + std::to_string(study.seriesCount()) + " series; give the folder of one series");
  study.setLabelCount(defaultLabelTable().size());
}

int loadMasksUnguarded(const std::string& path, Study& study) {
  requireExisting(path);
  std::string error;
  if (isNiftiPath(path)) {
    if (!loadNiftiLabels(path, study, 0, error)) throw CliError(error);
    return -1;
  }
  std::error_code ec;
  if (!fs::is_directory(path, ec) && isDicomSeg(path)) {
    if (!loadDicomSeg(path, study, 0, defaultLabelTable(), error)) throw CliError(error);
    return -1;
  }
  if (!fs::is_directory(path, ec)) return loadMaskFileChecked(path, study);
  int loaded = 0;
  for (const std::string& f : filesBelow(path)) {
    if (isNiftiPath(f)) {
      if (!loadNiftiLabels(f, study, 0, error)) throw CliError(error);
    } else if (classifyDroppedFile(f, true) == DropKind::Mask) {
      loadMaskFileChecked(f, study);
    } else {
      continue;
    }
    ++loaded;
  }
  if (loaded == 0) throw CliError(path + ": the folder holds no mask files");
  return -1;
}

std::string seriesMaskName(const Study& study) {
  const SliceHeader& h = study.frame(study.firstFrameOfSeries(0))->header;
  return "m_" + fileNamePart(h.patientId) + "_" + fileNamePart(h.patientName) + "_" + fileNamePart(h.seriesDate);
}

void makeFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) throw CliError(folder + ": cannot create the folder");
}

void writeAllOrNothing(const std::string& folder, const std::function<void(const std::string& stage)>& write) {
  std::error_code ec;
  const bool made = !fs::exists(folder, ec);
  makeFolder(folder);
  std::string stage = folder + "/.morvex-run-XXXXXX";
  if (!::mkdtemp(stage.data())) throw CliError(folder + ": cannot create a folder in it");
  std::vector<fs::path> moved;
  const auto undo = [&] {
    for (const fs::path& p : moved) fs::remove(p, ec);
    fs::remove_all(stage, ec);
    if (made) fs::remove(folder, ec);  // only when empty
  };
  try {
    write(stage);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(stage)) files.push_back(entry.path());
    // a folder in the way of any file fails the run before anything moves
    for (const fs::path& p : files)
      if (fs::is_directory(fs::path(folder) / p.filename(), ec))
        throw CliError((fs::path(folder) / p.filename()).string() + ": a folder of that name is in the way");
    for (const fs::path& p : files) {
      const fs::path target = fs::path(folder) / p.filename();
      fs::rename(p, target, ec);
      if (ec) throw CliError(target.string() + ": cannot be written (" + ec.message() + ")");
      moved.push_back(target);
    }
  } catch (const CliError& e) {
    undo();
    // the files are named where they were to go, not in the folder that is gone
    std::string text = e.what();
    for (auto at = text.find(stage); at != std::string::npos; at = text.find(stage, at + folder.size()))
      text.replace(at, stage.size(), folder);
    throw CliError(text);
  } catch (...) {
    undo();
    throw;
  }
  fs::remove_all(stage, ec);
}

void writeMasksUnguarded(const Study& study, MaskFormat format, const std::string& target) {
  std::string error;
  switch (format) {
    case MaskFormat::Nifti:
      if (!writeNiftiLabels(target, study, 0, error)) throw CliError(error);
      return;
    case MaskFormat::Tiff:
      if (!writeSeriesTiff(target, study, 0)) throw CliError(target + ": the TIFF could not be written");
      return;
    case MaskFormat::Seg:
      if (!writeDicomSeg(target, study, 0, defaultLabelTable(), error)) throw CliError(error);
      return;
    case MaskFormat::Png:
      makeFolder(target);
      for (int f = study.firstFrameOfSeries(0); f >= 0 && f <= study.lastFrameOfSeries(0); ++f) {
        const std::string path = target + "/m_" + study.frame(f)->header.fileName + ".png";
        if (!writeMaskImage(path, study.labelImage(f), study.width(f), study.height(f), false))
          throw CliError(path + ": the mask could not be written");
      }
      return;
  }
}

}  // namespace morvex::cli
