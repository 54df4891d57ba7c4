// Mask import of single images (PNG, BMP, JPEG, TIFF or PNM read by content) onto a 16 x 16 frame
// that the file name matches.

#include "fuzz/fuzz_support.h"
#include "study/mask_import.h"
#include "study/study.h"

namespace {

morvex::Study& study() {
  static morvex::Study s = [] {
    morvex::Study st;
    morvex::SliceHeader h;
    h.fileName = "P001_20200115_1";
    h.patientName = "P001";
    h.seriesDate = "20200115";
    h.instanceNumber = 1;
    morvex::SlicePixels px;
    px.width = px.height = 16;
    px.intensities.reset(256);
    st.insertFrame(h, std::move(px));
    st.setWarningSink([](const std::string&) {});
    return st;
  }();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace morvex::fuzz;
  const std::string path = writeInput(rasterName("m_P001_20200115_1", data, size), data, size);
  const int f = morvex::loadMaskFile(study(), path.c_str());
  if (f != -1 && f != 0) __builtin_trap();
  return 0;
}
