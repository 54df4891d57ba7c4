#pragma once
// JPEG 2000 pixel data (transfer syntaxes 1.2.840.10008.1.2.4.90 lossless and .91 lossy), which
// the DICOM toolkit cannot decode itself: the first frame is decoded with OpenJPEG and put back
// into the dataset as native pixel data, after which the usual decoding steps apply.

#include <cstdint>
#include <string>
#include <vector>

class DcmDataset;

namespace morvex {

// True for the two JPEG 2000 transfer syntaxes of an image (not the Part 2 multi-component ones).
bool isJpeg2000Dataset(DcmDataset* ds);

// Most memory one decoded slice may take (bytes), the decoder's own buffers and every copy on the
// way to the slice's intensities included.
constexpr std::uint64_t kSliceMemoryBudget = std::uint64_t{512} << 20;
// Bytes per pixel while a JPEG 2000 slice is decoded: the decoder's tile and image planes (4 + 4),
// the decoded values (4), the native pixel data (2), the toolkit's intermediate values (4) and the
// intensities (2).
constexpr std::uint64_t kJpeg2000BytesPerPixel = 20;

// One decoded grey JPEG 2000 codestream (J2K or JP2): width x height values, row-major.
struct Jpeg2000Image {
  int width = 0, height = 0;
  int precision = 0;   // bits per value
  bool isSigned = false;
  std::vector<int32_t> values;
};
// Decodes a single-component codestream whose header must say expectedWidth x expectedHeight,
// 1 to 16 bits, within kSliceMemoryBudget (checked before any pixel is decoded). False with why
// set on any error, a truncated stream included.
bool decodeJpeg2000(const uint8_t* data, std::size_t size, int expectedWidth, int expectedHeight,
                    Jpeg2000Image& out, std::string& why);

// Replaces the encapsulated JPEG 2000 pixel data of ds by the native values of its first frame
// (16-bit words, or bytes when BitsAllocated is 8). False with why set when it cannot.
bool decodeJpeg2000PixelData(DcmDataset* ds, std::string& why);

}  // namespace morvex
