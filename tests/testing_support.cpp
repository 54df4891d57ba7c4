#include "tests/testing_support.h"

#include <cstdlib>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace morvex::testing {

std::string sharedDataDir() {
  const char* overridden = std::getenv("MORVEX_SHARED_DATA");
  const std::string dir = overridden ? overridden : MORVEX_SHARED_DATA;
  std::error_code ec;
  return fs::is_directory(dir + "/nema-wg04", ec) ? dir : std::string();
}

std::string sharedFile(const std::string& relative) { return sharedDataDir() + "/" + relative; }

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    const fs::path p = fs::temp_directory_path() / ("morvex-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::copyIn(const std::string& source, const std::string& name) const {
  const std::string target = file(name);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return target;
}

}  // namespace morvex::testing

#include "tools/synthct/series_writer.h"

namespace morvex::testing {

namespace {
struct SeriesFolder {
  TempDir dir;
  std::string path;
  SeriesFolder() {
    synth::PhantomOptions o;
    o.size = 128;
    o.slices = 24;
    o.pixelSpacing = 2.8;
    o.sliceThickness = 12.5;
    path = dir.file("series");
    std::string error;
    if (!synth::writeSeries(o, path, &error)) ADD_FAILURE() << error;
  }
};
}  // namespace

const std::string& smallSyntheticSeries() {
  static SeriesFolder folder;
  return folder.path;
}

}  // namespace morvex::testing
