#pragma once
// Guarded raster reading: the image size is read from the file's own header before any decoder
// allocates, so a few bytes claiming a gigapixel image are refused instead of decoded.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace morvex {

// Largest slice side accepted from any file (DICOM or raster).
constexpr int kMaxSliceSide = 16384;

struct RasterSize {
  int width = 0;
  int height = 0;
};

// Width and height from the header of a PNG, BMP, JPEG, TIFF (first page) or PNM image held in
// data. False when the bytes start no such header or the header is cut short.
bool readRasterSize(const uint8_t* data, std::size_t size, RasterSize& out);

// Outcome of a guarded decode: the 8-bit grey image, or empty with the reason. reason stays empty
// for bytes that are simply no image; it is set for refusals (too large, data missing, decoder
// error), which the caller reports.
struct GreyRaster {
  cv::Mat image;
  RasterSize claimed;  // from the header; 0 x 0 when none was read
  std::string reason;
};

// Checks the header (known format, both sides in 1..kMaxSliceSide, enough data for the claimed
// size where the format allows the check), then decodes as 8-bit grey. Never throws.
GreyRaster decodeGreyRaster(const std::vector<uint8_t>& bytes);
// Header check only, without decoding: the same refusals as decodeGreyRaster.
GreyRaster checkRasterHeader(const std::vector<uint8_t>& bytes);

// Whole file into bytes; false when it cannot be read or is larger than any acceptable image.
bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
// readFileBytes + decodeGreyRaster; a refusal's reason starts with the path.
GreyRaster readGreyRaster(const std::string& path);

}  // namespace morvex
