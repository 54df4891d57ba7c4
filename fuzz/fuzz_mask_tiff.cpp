// Series mask import from a (multi-page) TIFF onto a series of three 16 x 16 frames.

#include "fuzz/fuzz_support.h"
#include "study/mask_import.h"
#include "study/study.h"

namespace {

morvex::Study& study() {
  static morvex::Study s = [] {
    morvex::Study st;
    for (int i = 1; i <= 3; ++i) {
      morvex::SliceHeader h;
      h.fileName = "P001_20200115_" + std::to_string(i);
      h.patientName = "P001";
      h.patientId = "ID1";
      h.seriesDate = "20200115";
      h.instanceNumber = i;
      morvex::SlicePixels px;
      px.width = px.height = 16;
      px.intensities.reset(256);
      st.insertFrame(h, std::move(px));
    }
    st.setWarningSink([](const std::string&) {});
    return st;
  }();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = morvex::fuzz::writeInput("m_ID1_P001_20200115.tiff", data, size);
  if (morvex::loadMaskFile(study(), path.c_str()) != -1) __builtin_trap();
  return 0;
}
