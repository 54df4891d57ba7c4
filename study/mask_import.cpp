#include "study/mask_import.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include "export/nifti_io.h"
#include "study/file_name_meta.h"
#include "study/raster_header.h"
#include "study/text_field.h"
#include "study/translatable.h"

namespace morvex {

namespace {

constexpr const char* kSizeMismatch =
    QT_TRANSLATE_NOOP("morvex::Core", "The mask image and the loaded image differ in width or height.");
constexpr const char* kAmbiguousName = QT_TRANSLATE_NOOP("morvex::Core", "A mask whose name fits several slices was not loaded.");

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (auto pos = s.find(sep); pos != std::string::npos; pos = s.find(sep, start)) {
    parts.push_back(s.substr(start, pos - start));
    start = pos + 1;
  }
  parts.push_back(s.substr(start));
  return parts;
}

std::string join(const std::vector<std::string>& parts, std::size_t from, std::size_t to, char sep) {
  std::string out;
  for (std::size_t i = from; i < to && i < parts.size(); ++i) {
    if (i > from) out += sep;
    out += parts[i];
  }
  return out;
}

int intValue(const std::string& text) {
  int v = 0;
  return parseWholeInt(text, v) ? v : 0;
}

// The frames a mask name designates under one rule; more than one makes the name ambiguous.
using Candidates = std::vector<int>;

Candidates framesWithHeader(const Study& study, const std::string& patient, const std::string& date, int instance) {
  Candidates out;
  for (int f = 0; f < study.frameCount(); ++f) {
    const SliceHeader& h = study.frame(f)->header;
    if (h.patientName == patient && h.seriesDate == date && h.instanceNumber == instance) out.push_back(f);
  }
  return out;
}

// The slices whose name is exactly the mask's name without its "m_" prefix, the slice's extension
// left out (m_IM0001.png, as the writers name masks) or kept (m_IM0001.dcm.png).
Candidates framesNamed(const Study& study, const std::string& maskStem) {
  const std::string key = maskStem.compare(0, 2, "m_") == 0 ? maskStem.substr(2) : maskStem;
  Candidates out;
  if (key.empty()) return out;
  for (int f = 0; f < study.frameCount(); ++f) {
    const SliceHeader& h = study.frame(f)->header;
    if (h.fileName == key || baseName(h.filePath) == key) out.push_back(f);
  }
  return out;
}

// The substring rule: the frames whose file name contains the mask name without its "m_"s.
Candidates framesContaining(const Study& study, std::string name) {
  for (auto pos = name.find("m_"); pos != std::string::npos; pos = name.find("m_")) name.erase(pos, 2);
  Candidates out;
  if (name.empty()) return out;  // an empty key would match every frame
  for (int f = 0; f < study.frameCount(); ++f)
    if (study.frame(f)->header.fileName.find(name) != std::string::npos) out.push_back(f);
  return out;
}

// The rule of the name's parts: patient, date and instance of the frame.
Candidates framesByNameParts(const Study& study, const std::string& fileName, bool bmp) {
  if (bmp) {
    const std::string name = fileName.substr(0, fileName.find('.'));
    const std::vector<std::string> p = split(name, '_');
    const auto piece = [&p](std::size_t i) { return i < p.size() ? p[i] : std::string(); };
    if (p.size() >= 4) return framesWithHeader(study, p[0], p[1] + "_" + std::to_string(intValue(p[2])), intValue(piece(3)));
    return framesWithHeader(study, p[0], piece(1), intValue(piece(2)));
  }
  const std::vector<std::string> t = split(stripExtension(fileName), '_');
  std::size_t d = 0;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (t[i].size() == 8) d = i;
  const std::string patient = d >= 1 ? join(t, 1, d, '_') : std::string();
  return framesWithHeader(study, patient, join(t, d, t.size() - 1, '_'), intValue(t.back()));
}

std::string sliceNames(const Study& study, const Candidates& c) {
  const std::string a = baseName(study.frame(c[0])->header.filePath), b = baseName(study.frame(c[1])->header.filePath);
  // slices of one name in two folders are told apart by their paths
  if (a != b) return a + " and " + b;
  return study.frame(c[0])->header.filePath + " and " + study.frame(c[1])->header.filePath;
}

// The frame of a single-image mask: the slice of exactly its name, else the rule of patient, date
// and instance, else the substring rule. The substring rule alone put m_image_1.png on image_11 or
// image_12 whenever that frame came first (instance numbers running backwards), so each rule counts
// only when it designates one frame: a name that fits several frames under the first rule that
// fits at all is refused naming two of them, never guessed; of several, the one slice in the
// mask's own folder is taken (series folders that each hold their masks).
int targetOf(Study& study, const std::string& path, bool bmp) {
  const std::string fileName = baseName(path), stem = stripExtension(fileName);
  const std::string folder = path.substr(0, path.size() - fileName.size());
  for (Candidates c : {framesNamed(study, stem), framesByNameParts(study, fileName, bmp), framesContaining(study, stem)}) {
    if (c.size() > 1) {
      Candidates beside;
      for (int f : c) {
        const std::string& slice = study.frame(f)->header.filePath;
        if (slice.size() - baseName(slice).size() == folder.size() && slice.compare(0, folder.size(), folder) == 0)
          beside.push_back(f);
      }
      if (beside.size() == 1) c = beside;
    }
    if (c.size() == 1) return c[0];
    if (c.size() > 1) {
      study.warn(kAmbiguousName, "its name fits the slices " + sliceNames(study, c));
      return -1;
    }
  }
  return -1;
}

bool holds(const std::string& name, const std::string& value) {
  return name.find(value) != std::string::npos || name.find(fileNamePart(value)) != std::string::npos;
}

void loadTiffSeries(Study& study, const char* path, const std::string& name) {
  int series = -1;
  for (int f = 0; f < study.frameCount() && series < 0; ++f) {
    const SliceHeader& h = study.frame(f)->header;
    const int s = study.seriesOfFrame(f);
    // A date with several series names each by a key that must end the name ("..._S7" is inside
    // "..._S700"); a date with one series keeps the plain substring rule of its date.
    // Header values are found as written (fileNamePart) or, in files named before, as they are.
    const std::string key = fileNamePart(study.seriesFileKey(s));
    const bool keyFound = study.dateHoldsSeveralSeries(s)
                              ? name.size() >= key.size() + 1 && name.compare(name.size() - key.size() - 1, std::string::npos, "_" + key) == 0
                              : holds(name, h.seriesDate);
    if (holds(name, h.patientName) && keyFound && holds(name, h.patientId)) series = s;
  }
  if (series >= 0) loadTiffPages(study, path, series);
}

}  // namespace

TiffPages loadTiffPages(Study& study, const char* path, int series) {
  TiffPages result;
  const int first = study.firstFrameOfSeries(series), last = study.lastFrameOfSeries(series);
  if (first < 0 || !path) return result;
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path, "r");
  if (!tif) return result;
  // Each page must fit its frame: pages past the series or of another size are skipped.
  int page = 0;
  do {
    const int f = first + page;
    ++result.pages;
    if (f > last) break;
    uint32_t w = 0, h = 0;
    uint16_t bits = 8, samples = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    uint8_t* labels = study.labelImage(f);
    const bool fits = labels && study.seriesOfFrame(f) == series && static_cast<int>(w) == study.width(f) &&
                      static_cast<int>(h) == study.height(f) && bits == 8 && samples == 1;
    if (fits) {
      std::vector<uint8_t> row(std::max<tmsize_t>(TIFFScanlineSize(tif), static_cast<tmsize_t>(w)));
      std::vector<uint8_t> pageLabels(static_cast<std::size_t>(w) * h);
      bool ok = true;
      for (uint32_t y = 0; y < h && ok; ++y) {
        ok = TIFFReadScanline(tif, row.data(), y, 0) == 1;
        if (ok) std::copy(row.begin(), row.begin() + w, pageLabels.begin() + static_cast<std::size_t>(y) * w);
      }
      if (ok) std::copy(pageLabels.begin(), pageLabels.end(), labels);
      result.applied += ok ? 1 : 0;
    }
    ++page;
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return result;
}

bool applyMaskImage(Study& study, int k, const uint8_t* mask, int width, int height) {
  uint8_t* labels = study.labelImage(k);
  if (!labels || !mask) return false;
  if (width != study.width(k) || height != study.height(k)) {
    study.warn(kSizeMismatch);
    return false;
  }
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const bool binary = std::find(mask, mask + n, 255) != mask + n;
  for (std::size_t i = 0; i < n; ++i) labels[i] = binary ? (mask[i] > 125 ? 1 : 0) : mask[i];
  return true;
}

namespace {

bool sizeFits(const RasterSize& claimed, int width, int height) {
  // An EXIF orientation may turn the decoded image by a quarter.
  return (claimed.width == width && claimed.height == height) || (claimed.width == height && claimed.height == width);
}

// A single-image mask into frame target: the header's size is checked against the frame before
// the image is decoded, so the decoder never allocates more than one frame's worth.
int loadSingleMask(Study& study, int target, const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!readFileBytes(path, bytes)) return -1;
  const GreyRaster header = checkRasterHeader(bytes);
  if (header.claimed.width == 0 && header.reason.empty()) return -1;  // no image: nothing changes
  if (!sizeFits(header.claimed, study.width(target), study.height(target))) {
    std::fprintf(stderr, "loadMaskFile(): %s: mask of %d x %d for a frame of %d x %d\n", path.c_str(),
                 header.claimed.width, header.claimed.height, study.width(target), study.height(target));
    study.warn(kSizeMismatch);
    return -1;
  }
  const GreyRaster mask = decodeGreyRaster(bytes);
  if (mask.image.empty()) {
    if (!mask.reason.empty()) std::fprintf(stderr, "loadMaskFile(): %s: %s\n", path.c_str(), mask.reason.c_str());
    return -1;
  }
  const cv::Mat dense = mask.image.isContinuous() ? mask.image : mask.image.clone();
  return applyMaskImage(study, target, dense.ptr<uint8_t>(0), dense.cols, dense.rows) ? target : -1;
}

}  // namespace

int loadMaskFile(Study& study, const char* path) {
  if (!path) return -1;
  const std::string p(path);
  study.setWarningSubject(p);
  const auto dot = p.find_last_of('.');
  const std::string ext = dot == std::string::npos ? std::string() : p.substr(dot + 1);
  const std::string fileName = baseName(p);
  // The import boundary: a library failure refuses this file, never the program.
  try {
    if (isNiftiPath(p)) {
      std::string error;
      const int series = loadNiftiMask(p, study, error);
      if (series >= 0) return study.firstFrameOfSeries(series);
      std::fprintf(stderr, "loadMaskFile(): %s\n", error.c_str());
      study.warn(error);
      return -1;
    }
    if (ext == "tiff") {
      loadTiffSeries(study, path, stripExtension(fileName));
      return -1;
    }
    const int target = targetOf(study, p, ext == "bmp");
    return target < 0 ? -1 : loadSingleMask(study, target, p);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "loadMaskFile(): %s: %s\n", path, e.what());
  }
  return -1;
}

}  // namespace morvex
