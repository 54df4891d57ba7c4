// Decoding one JPEG 2000 codestream (J2K or JP2) from bytes: the first four bytes are the size a
// dataset would claim (width, then height, 16 bits little endian each), the rest the codestream.

#include <cstddef>
#include <cstdint>
#include <string>

#include "study/jpeg2000_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int width = data[0] | data[1] << 8, height = data[2] | data[3] << 8;
  morvex::Jpeg2000Image image;
  std::string why;
  if (morvex::decodeJpeg2000(data + 4, size - 4, width, height, image, why)) {
    // A decoded image is the claimed size, every value present, within the slice budget.
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (image.width != width || image.height != height || image.values.size() != n || image.precision < 1 ||
        image.precision > 16 || n * morvex::kJpeg2000BytesPerPixel > morvex::kSliceMemoryBudget)
      __builtin_trap();
  } else if (why.empty()) {
    __builtin_trap();
  }
  return 0;
}
