#include "export/mask_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include "export/atomic_file.h"
#include "study/text_field.h"

namespace morvex {

namespace {

bool writeEncoded(const std::string& path, const cv::Mat& image) {
  if (path.empty()) return false;
  const std::string ext = fileExtension(path);
  std::vector<uchar> bytes;
  try {
    if (ext.empty() || !cv::imencode("." + ext, image, bytes)) return false;
  } catch (const cv::Exception&) {
    return false;  // an extension the image writer does not know
  }
  return writeFileAtomically(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

bool writeMaskImage(const std::string& path, const uint8_t* labels, int width, int height, bool binary) {
  if (!labels || width <= 0 || height <= 0) return false;
  cv::Mat image(height, width, CV_8UC1, cv::Scalar(0));
  for (int i = 0; i < width * height; ++i) image.data[i] = binary ? (labels[i] ? 255 : 0) : labels[i];
  return writeEncoded(path, image);
}

bool writeSeriesTiff(const std::string& path, const Study& study, int nGroupIdx) {
  const int first = study.firstFrameOfSeries(nGroupIdx), last = study.lastFrameOfSeries(nGroupIdx);
  if (path.empty() || first < 0) return false;
  const int width = study.width(first), height = study.height(first);
  std::vector<int> pages;
  for (int f = first; f <= last; ++f)
    if (study.seriesOfFrame(f) == nGroupIdx && study.labelImage(f)) pages.push_back(f);
  if (pages.empty()) return false;
  AtomicFile file(path, false);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(file.tempPath().c_str(), "w");
  if (!tif) return false;
  std::vector<uint8_t> row(static_cast<std::size_t>(width), 0);
  const uint16_t count = static_cast<uint16_t>(pages.size());
  bool complete = true;
  for (uint16_t page = 0; page < count; ++page) {
    const int f = pages[page];
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, static_cast<uint32_t>(width)));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, page, count);
    // each page takes the first frame's size: other sizes are cropped or padded with 0
    const uint8_t* labels = study.labelImage(f);
    const int fw = study.width(f), fh = study.height(f);
    for (int y = 0; y < height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      if (y < fh) std::copy(labels + static_cast<std::size_t>(y) * fw, labels + static_cast<std::size_t>(y) * fw + std::min(fw, width), row.begin());
      if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) != 1) {
        std::printf("Unable to write a row\n");
        complete = false;
        break;
      }
    }
    complete = TIFFWriteDirectory(tif) == 1 && complete;
  }
  TIFFClose(tif);
  // a TIFF with a missing row never replaces the file that was there
  return complete && file.commit();
}

std::string seriesFolder(const std::string& root, const std::string& patientName, const std::string& seriesDate) {
  std::string path = root;
  std::error_code ec;
  for (const std::string* part : {static_cast<const std::string*>(nullptr), &patientName, &seriesDate}) {
    if (part) path = joinPath(path, fileNamePart(*part), "saveFile_tiff()");
    if (path.empty()) return std::string();
    if (!std::filesystem::is_directory(path, ec) && !std::filesystem::create_directory(path, ec)) return std::string();
  }
  return path;
}

void rescaleToRange(int16_t* image, int width, int height, int maximum, int minimum) {
  const std::size_t n = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
  if (!image || n == 0) return;
  const auto [mn, mx] = std::minmax_element(image, image + n);
  const int lo = *mn, hi = *mx;
  if (lo == hi) return;
  for (std::size_t i = 0; i < n; ++i)
    image[i] = static_cast<int16_t>((image[i] - lo) * (maximum - minimum) / (hi - lo) + minimum);
}

bool writeContrastImage(const std::string& path, const int16_t* intensities, int width, int height) {
  if (!intensities || width <= 0 || height <= 0) return false;
  std::vector<int16_t> work(intensities, intensities + static_cast<std::size_t>(width) * height);
  rescaleToRange(work.data(), width, height, 255, 0);
  cv::Mat image(height, width, CV_8UC3);
  for (std::size_t i = 0; i < work.size(); ++i) {
    const uint8_t g = static_cast<uint8_t>(work[i] & 0xFF);
    image.data[3 * i] = image.data[3 * i + 1] = image.data[3 * i + 2] = g;
  }
  return writeEncoded(path, image);
}

}  // namespace morvex
