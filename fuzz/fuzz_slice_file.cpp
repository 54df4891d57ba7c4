// Decoding one slice file from bytes: DICOM (any transfer syntax DCMTK decodes, with or without
// extension) and raster slices, through the same entry point as an import.

#include <cstring>

#include "fuzz/fuzz_support.h"
#include "study/slice_decoder.h"
#include "study/study.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace morvex::fuzz;
  std::string name;
  if (size >= 132 && std::memcmp(data + 128, "DICM", 4) == 0)
    name = (data[0] & 1) ? "IM0001" : "IM0001.dcm";  // by preamble, or by extension
  else if (startsWith(data, size, "BM", 2) || startsWith(data, size, "\xFF\xD8", 2) ||
           startsWith(data, size, "\x89PNG", 4))
    name = rasterName("P001_20200115_1", data, size);
  else
    name = "IM0002.dcm";
  const std::string path = writeInput(name, data, size);
  morvex::Study study;
  study.setWarningSink([](const std::string&) {});
  const int f = study.addFrameFromFile(path.c_str());
  if (f >= 0) {
    // A loaded frame holds buffers of its own size, within the slice cap.
    const int w = study.width(f), h = study.height(f);
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384 || !study.intensities(f) || !study.labelImage(f)) __builtin_trap();
    volatile int16_t last = study.intensities(f)[static_cast<std::size_t>(w) * h - 1];
    (void)last;
  }
  return 0;
}
