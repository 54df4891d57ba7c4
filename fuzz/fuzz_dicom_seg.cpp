// Reading a DICOM Segmentation from bytes against the small series of tests/ct_series.h (12 x 7
// pixels, 4 slices): a refusal is clean, and an accepted file yields one label image per slice with
// values of the label table. Seeds: labels.dcm (written by morvex-fuzz-seeds as Save writes it) and
// fractional_by_position.dcm (another tool's kind: fractional, frames placed by position only, as
// tests/dicom_seg_test.cpp crafts it).

#include <filesystem>

#include "export/dicom_seg.h"
#include "fuzz/fuzz_support.h"
#include "study/slice_decoder.h"
#include "tests/ct_series.h"

namespace {

const morvex::Study& series() {
  static morvex::Study study;
  static const bool loaded = [] {
    morvex::initDicomCodecs();
    const std::string folder = morvex::fuzz::scratchDir() + "/series";
    std::filesystem::create_directories(folder);
    for (const std::string& path : morvex::testing::writeCtSeries(folder))
      if (study.addFrameFromFile(path.c_str()) < 0) __builtin_trap();
    return true;
  }();
  (void)loaded;
  return study;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const morvex::LabelTable table = morvex::defaultLabelTable();
  const morvex::Study& study = series();
  const std::string path = morvex::fuzz::writeInput("seg.dcm", data, size);
  std::vector<std::vector<uint8_t>> labels;
  std::string error;
  if (morvex::readDicomSeg(path, study, 0, table, labels, error)) {
    if (labels.size() != 4) __builtin_trap();
    for (const std::vector<uint8_t>& l : labels)
      for (uint8_t v : l)
        if (l.size() != 12 * 7 || v > table.size()) __builtin_trap();
  } else if (error.rfind(path + ": ", 0) != 0) {
    __builtin_trap();  // every refusal names the file
  }
  return 0;
}
