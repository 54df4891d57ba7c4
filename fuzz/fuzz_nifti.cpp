// Reading one NIfTI label volume from bytes (".nii", or ".nii.gz" when the bytes start a gzip
// stream) against a 16 x 16 x 3 series, through the same entry point as a mask import.

#include "export/nifti_io.h"
#include "fuzz/fuzz_nifti_series.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace morvex::fuzz;
  const std::string path = writeInput(startsWith(data, size, "\x1f\x8b", 2) ? "labels.nii.gz" : "labels.nii", data, size);
  morvex::Study study;
  addNiftiSeries(study);
  std::string error;
  const int series = morvex::loadNiftiMask(path, study, error);
  // A refusal names the file in one line; a load fills the series' labels.
  if (series < 0 && (error.rfind(path + ": ", 0) != 0 || error.find('\n') != std::string::npos)) __builtin_trap();
  if (series >= 0 && (series != 0 || !study.labelImage(2))) __builtin_trap();
  return 0;
}
