#include "study/study.h"

#include <climits>
#include <cmath>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <numeric>

#include "study/slice_decoder.h"
#include "study/text_field.h"
#include "study/translatable.h"

namespace morvex {

namespace {
constexpr const char* kLoadFailed = QT_TRANSLATE_NOOP("morvex::Core", "Image load failed - the DICOM header has a problem.");
// The same refusal for a file that is not DICOM: its header is not to blame.
constexpr const char* kImageLoadFailed = QT_TRANSLATE_NOOP("morvex::Core", "Image load failed: the file cannot be read as a slice.");
}

Study::Study() {
  frames_.resize(kGrowStep);
  series_.resize(kGrowStep);
}

void Study::warn(const std::string& text) const {
  if (warn_)
    warn_(text);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

void Study::warn(const std::string& text, const std::string& reason) {
  if (!warn_) {
    std::fprintf(stderr, "%s%s%s\n", text.c_str(), reason.empty() ? "" : ": ", reason.c_str());
    return;
  }
  warningReason_ = reason;
  warn_(text);
  warningReason_.clear();
}

int Study::addFrameFromFile(const char* path) { return addFrameFromFile(path, {}); }

DecodedSlice decodeSliceFile(const char* path) {
  DecodedSlice out;
  out.path = path ? path : "";
  SliceFormat format = SliceFormat::Skip;
  // The import boundary: whatever a decoding library throws refuses this file, never the program.
  try {
    SliceFile file;
    const bool opened = file.open(path);
    format = file.format();
    if (!opened) {
      out.skipped = true;  // skipped without a warning
      out.reason = file.failure();
      return out;
    }
    const WarningSink sink = [&out](const std::string& text) { out.warnings.push_back(text); };
    if (file.decode(out.pixels, sink)) {
      out.header = file.header();
      out.namedByFile = format != SliceFormat::Dicom;
      out.loaded = true;
      return out;
    }
    out.reason = file.failure();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "addFrameFromFile(): %s: %s\n", path, e.what());
    out.reason = std::string("the decoder failed (") + e.what() + ")";
    format = sliceFormatOf(out.path.c_str());
  }
  out.pixels = SlicePixels();
  out.warnings.push_back(format == SliceFormat::Dicom ? kLoadFailed : kImageLoadFailed);
  return out;
}

int Study::addFrameFromFile(const char* path, const std::function<void()>& beforeInsert) {
  if (!beforeInsert) return addDecodedSlice(decodeSliceFile(path));
  return addDecodedSlice(decodeSliceFile(path), [&beforeInsert] {
    beforeInsert();
    return true;
  });
}

int Study::addDecodedSlice(DecodedSlice&& slice, const std::function<bool()>& beforeInsert) {
  warningSubject_ = slice.path;
  for (const std::string& text : slice.warnings) warn(text, slice.reason);
  if (slice.skipped && slice.warnings.empty() && skipped_) {
    warningReason_ = slice.reason;
    skipped_(slice.path);
    warningReason_.clear();
  }
  if (!slice.loaded) return -1;
  // Pixels were decoded before the tables change, so a failed load leaves no trace and a failed
  // reload of an equal frame keeps that frame as it was.
  std::string why;
  try {
    if (beforeInsert && !beforeInsert()) return -1;
    if (slice.namedByFile) slice.header.instanceNumber = instanceForNamedSlice(slice.header);
    return insertFrame(slice.header, std::move(slice.pixels));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "addFrameFromFile(): %s: %s\n", slice.header.filePath.c_str(), e.what());
    why = std::string("the slice could not be stored (") + e.what() + ")";
  }
  warn(slice.namedByFile ? kImageLoadFailed : kLoadFailed, why);
  return -1;
}

int Study::instanceForNamedSlice(const SliceHeader& h) const {
  const int s = seriesOfHeader(h);
  bool taken = false;
  int largest = h.instanceNumber;
  for (int i = 0; i < frameCount_; ++i) {
    const Frame& f = frames_[i];
    if (f.seriesIndex != s) continue;
    if (f.header.filePath == h.filePath) return f.header.instanceNumber;  // the same file again
    taken = taken || f.header.instanceNumber == h.instanceNumber;
    largest = std::max(largest, f.header.instanceNumber);
  }
  return taken && largest < INT_MAX ? largest + 1 : h.instanceNumber;
}

std::string seriesIdentity(const SliceHeader& h) {
  if (!h.seriesInstanceUid.empty()) return h.seriesInstanceUid;
  return h.seriesNumber >= 0 ? "#" + std::to_string(h.seriesNumber) : std::string();
}

namespace {
bool sameSeries(const Series& s, const SliceHeader& h, const std::string& identity) {
  return s.patientName == h.patientName && s.seriesDate == h.seriesDate &&
         (s.identity.empty() || identity.empty() || s.identity == identity);
}
}  // namespace

int Study::seriesOfHeader(const SliceHeader& header) const {
  const std::string identity = seriesIdentity(header);
  for (int s = 0; s < seriesCount_; ++s)
    if (sameSeries(series_[s], header, identity)) return s;
  return -1;
}

int Study::findSeries(const SliceHeader& header) {
  const int found = seriesOfHeader(header);
  if (found >= 0) {
    Series& entry = series_[found];
    if (entry.identity.empty() && !seriesIdentity(header).empty()) {
      // the first file that names the series names it for all
      entry.identity = seriesIdentity(header);
      entry.seriesNumber = header.seriesNumber;
      entry.seriesDescription = header.seriesDescription;
    }
    return found;
  }
  if (seriesCount_ == seriesCapacity()) series_.resize(series_.size() + kGrowStep);
  Series& entry = series_[seriesCount_];
  entry.slotState = seriesCount_;
  entry.patientName = header.patientName;
  entry.seriesDate = header.seriesDate;
  entry.identity = seriesIdentity(header);
  entry.seriesNumber = header.seriesNumber;
  entry.seriesDescription = header.seriesDescription;
  return seriesCount_++;
}

int Study::insertFrame(const SliceHeader& header, SlicePixels&& pixels) {
  // Everything that can fail to allocate happens before the tables change.
  const std::size_t n = static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height);
  ImageBuffer<int16_t> intensities =
      pixels.intensities.size() == n ? std::move(pixels.intensities) : ImageBuffer<int16_t>(n);
  ImageBuffer<uint8_t> labels(n), selection(n), division(n);
  if (frameCount_ == frameCapacity()) frames_.resize(frames_.size() + kGrowStep);
  if (seriesCount_ == seriesCapacity()) series_.resize(series_.size() + kGrowStep);
  // The series first: an equal instance number is a duplicate only inside the same series (the
  // phases of one examination share patient, date and instance numbers).
  const int seriesIdx = findSeries(header);
  int idx = -1;
  for (int i = 0; i < frameCount_ && idx < 0; ++i)
    if (frames_[i].seriesIndex == seriesIdx && frames_[i].header.instanceNumber == header.instanceNumber) idx = i;
  const bool isNew = idx < 0;
  if (isNew) {
    idx = frameCount_;
    Frame& f = frames_[idx];
    f.slotState = frameCount_;
    f.header = header;
    f.uid = nextUid_++;
  }
  Frame& f = frames_[idx];
  ++f.revision;
  ++f.labelRevision;
  f.seriesIndex = seriesIdx;
  f.header.width = pixels.width;
  f.header.height = pixels.height;
  f.intensities = std::move(intensities);
  f.labelImage = std::move(labels);
  f.selectionImage = std::move(selection);
  f.divisionImage = std::move(division);
  f.divisionDefined = false;
  f.emptyImagesRevision = f.revision;
  if (isNew) ++frameCount_;
  return idx;
}

std::vector<int> Study::seriesOfSameDate(int s) const {
  std::vector<int> out;
  const Series* base = series(s);
  if (!base) return out;
  for (int k = 0; k < seriesCount_; ++k)
    if (series_[k].patientName == base->patientName && series_[k].seriesDate == base->seriesDate) out.push_back(k);
  return out;
}

bool Study::dateHoldsSeveralSeries(int s) const { return seriesOfSameDate(s).size() > 1; }

namespace {
// Adds " (k)" / "-k" to part when another series of the same date gives the same part.
template <typename PartOf>
std::string disambiguated(const std::vector<int>& sameDate, int s, const PartOf& partOf, const char* pattern) {
  const std::string own = partOf(s);
  int rank = 0, equal = 0;
  for (int k : sameDate)
    if (partOf(k) == own) {
      ++equal;
      if (k <= s) ++rank;
    }
  if (equal < 2) return own;
  char buf[32];
  std::snprintf(buf, sizeof buf, pattern, rank);
  return own + buf;
}
}  // namespace

std::string Study::seriesCaption(int s) const {
  const Series* entry = series(s);
  if (!entry) return std::string();
  const std::vector<int> sameDate = seriesOfSameDate(s);
  if (sameDate.size() < 2) return entry->seriesDate;
  const auto partOf = [this](int k) {
    const Series& e = series_[k];
    std::string text = e.seriesDate + " #" + (e.seriesNumber >= 0 ? std::to_string(e.seriesNumber) : "?");
    return e.seriesDescription.empty() ? text : text + " " + e.seriesDescription;
  };
  return disambiguated(sameDate, s, partOf, " (%d)");
}

std::string Study::seriesFileKey(int s) const {
  const Series* entry = series(s);
  if (!entry) return std::string();
  const std::vector<int> sameDate = seriesOfSameDate(s);
  if (sameDate.size() < 2) return entry->seriesDate;
  const auto partOf = [this](int k) {
    const Series& e = series_[k];
    return e.seriesDate + "_S" + (e.seriesNumber >= 0 ? std::to_string(e.seriesNumber) : std::string());
  };
  return disambiguated(sameDate, s, partOf, "-%d");
}

const Frame* Study::frame(int i) const {
  return (i >= 0 && i < frameCount_) ? &frames_[i] : nullptr;
}
Frame* Study::frame(int i) { return (i >= 0 && i < frameCount_) ? &frames_[i] : nullptr; }

Frame* Study::touched(int i) {
  Frame* f = frame(i);
  if (f) ++f->revision;
  return f;
}

const Series* Study::series(int s) const {
  return (s >= 0 && s < seriesCount_) ? &series_[s] : nullptr;
}

namespace {
template <typename T>
T* dataOrNull(ImageBuffer<T>& v) {
  return v.empty() ? nullptr : v.data();
}
}  // namespace

const int16_t* Study::intensities(int i) const {
  const Frame* f = frame(i);
  return f && !f->intensities.empty() ? f->intensities.data() : nullptr;
}
int16_t* Study::intensitiesForEdit(int i) {
  Frame* f = touched(i);
  return f ? dataOrNull(f->intensities) : nullptr;
}
uint8_t* Study::labelImage(int i) {
  Frame* f = touched(i);
  if (f) ++f->labelRevision;
  return f ? dataOrNull(f->labelImage) : nullptr;
}
const uint8_t* Study::labelImage(int i) const {
  const Frame* f = frame(i);
  return f && !f->labelImage.empty() ? f->labelImage.data() : nullptr;
}
uint8_t* Study::selectionImage(int i) {
  Frame* f = touched(i);
  return f ? dataOrNull(f->selectionImage) : nullptr;
}
const uint8_t* Study::selectionImage(int i) const {
  const Frame* f = frame(i);
  return f && !f->selectionImage.empty() ? f->selectionImage.data() : nullptr;
}
const uint8_t* Study::divisionImage(int i) const {
  const Frame* f = frame(i);
  return f && !f->divisionImage.empty() ? f->divisionImage.data() : nullptr;
}

int Study::width(int i) const { return frame(i) ? frame(i)->header.width : 0; }
int Study::height(int i) const { return frame(i) ? frame(i)->header.height : 0; }
int Study::windowCenter(int i) const { return frame(i) ? frame(i)->header.windowCenter : 0; }
int Study::windowWidth(int i) const { return frame(i) ? frame(i)->header.windowWidth : 0; }
int Study::instanceNumber(int i) const { return frame(i) ? frame(i)->header.instanceNumber : 0; }
int Study::seriesOfFrame(int i) const { return frame(i) ? frame(i)->seriesIndex : 0; }
bool Study::divisionDefined(int i) const { return frame(i) && frame(i)->divisionDefined; }

int Study::firstFrameOfSeries(int s) const {
  for (int i = 0; i < frameCount_; ++i)
    if (frames_[i].seriesIndex == s) return i;
  return -1;
}

int Study::lastFrameOfSeries(int s) const {
  for (int i = frameCount_ - 1; i >= 0; --i)
    if (frames_[i].seriesIndex == s) return i;
  return -1;
}

std::vector<bool> Study::labelsWrittenOfSeries(int s) const {
  std::vector<bool> written;
  const int first = firstFrameOfSeries(s), last = lastFrameOfSeries(s);
  for (int f = first; f >= 0 && f <= last; ++f) written.push_back(!frames_[f].imagesStillEmpty());
  return written;
}

Study Study::seriesWorkCopy(int s, const std::vector<bool>* labelsWritten) const {
  Study copy;
  const int first = firstFrameOfSeries(s), last = lastFrameOfSeries(s);
  if (first < 0) return copy;
  copy.series_ = series_;
  copy.seriesCount_ = seriesCount_;
  copy.labelCount_ = labelCount_;
  copy.nextUid_ = nextUid_;
  const int n = last - first + 1;
  // a list of another length is taken as "every image written": copying is always safe
  const bool listFits = labelsWritten && labelsWritten->size() == static_cast<std::size_t>(n);
  copy.frames_.resize(static_cast<std::size_t>((n + kGrowStep - 1) / kGrowStep * kGrowStep));
  for (int i = 0; i < n; ++i) {
    const Frame& src = frames_[first + i];
    Frame& dst = copy.frames_[i];
    dst.slotState = i;
    dst.seriesIndex = src.seriesIndex;
    dst.header = src.header;
    dst.intensities = src.intensities;
    // images never written stay unmapped zeros in the copy too
    const bool written = listFits       ? (*labelsWritten)[static_cast<std::size_t>(i)]
                         : labelsWritten ? true
                                         : !src.imagesStillEmpty();
    if (written)
      dst.labelImage = src.labelImage;
    else
      dst.labelImage.reset(src.labelImage.size());
    dst.selectionImage.reset(src.selectionImage.size());
    dst.divisionImage.reset(src.divisionImage.size());
    dst.divisionDefined = src.divisionDefined;
    dst.uid = src.uid;
    dst.revision = dst.emptyImagesRevision = 0;
    if (written) dst.revision = 1;
  }
  copy.frameCount_ = n;
  return copy;
}

bool Study::getLabelVolume(int s, uint8_t label, LabelVolume& out) const {
  const int first = firstFrameOfSeries(s), last = lastFrameOfSeries(s);
  if (first < 0 || first > last || !out.frames.empty() || !out.masks.empty()) return false;
  out.width = width(first);
  out.height = height(first);
  for (int f = first; f <= last; ++f) {
    const Frame& fr = frames_[f];
    if (std::find(fr.labelImage.begin(), fr.labelImage.end(), label) == fr.labelImage.end()) continue;
    std::vector<uint8_t> mask(fr.labelImage.size());
    std::transform(fr.labelImage.begin(), fr.labelImage.end(), mask.begin(),
                   [label](uint8_t v) { return v == label ? label : 0; });
    out.frames.push_back(f);
    out.masks.push_back(std::move(mask));
  }
  return true;
}

bool Study::getIntensityImage(int i, int& w, int& h, std::vector<int16_t>& buffer) const {
  const Frame* f = frame(i);
  if (!f || f->intensities.empty()) return false;
  if (buffer.empty()) {
    w = f->header.width;
    h = f->header.height;
    buffer.resize(f->intensities.size());
  } else if (static_cast<std::size_t>(w) * static_cast<std::size_t>(h) != f->intensities.size() ||
             buffer.size() < f->intensities.size()) {
    return false;  // never copy more than the frame holds or the buffer takes
  }
  std::copy(f->intensities.begin(), f->intensities.end(), buffer.begin());
  return true;
}

bool Study::getIntensityVolume(int s, int& count, int& w, int& h, std::vector<std::vector<int16_t>>& slices) const {
  const int first = firstFrameOfSeries(s), last = lastFrameOfSeries(s);
  if (first < 0 || first > last || !slices.empty()) return false;
  count = last - first + 1;
  w = width(first);
  h = height(first);
  slices.resize(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    int fw = 0, fh = 0;
    getIntensityImage(first + k, fw, fh, slices[static_cast<std::size_t>(k)]);
  }
  return true;
}

void Study::swapFrames(int i, int j) {
  if (i < 0 || j < 0 || i >= frameCapacity() || j >= frameCapacity() || i == j) return;
  std::swap(frames_[i], frames_[j]);
}

void Study::sortSeriesByInstance() {
  // A stable sort by (series, instance): frames of one series end up contiguous even when the
  // files of two series were loaded interleaved, and equal instance numbers keep load order.
  std::vector<int> order(static_cast<std::size_t>(frameCount_));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
    const Frame& fa = frames_[a];
    const Frame& fb = frames_[b];
    if (fa.seriesIndex != fb.seriesIndex) return fa.seriesIndex < fb.seriesIndex;
    return fa.header.instanceNumber < fb.header.instanceNumber;
  });
  std::vector<Frame> sorted;
  sorted.reserve(order.size());
  for (int i : order) sorted.push_back(std::move(frames_[i]));
  for (int i = 0; i < frameCount_; ++i) frames_[i] = std::move(sorted[i]);
}

void Study::clear() {
  frames_.clear();
  series_.clear();
  frames_.resize(kGrowStep);
  series_.resize(kGrowStep);
  frameCount_ = 0;
  seriesCount_ = 0;
}

void Study::applyDivision(int i) {
  Frame* f = touched(i);
  if (!f || !f->divisionDefined || f->divisionImage.size() != f->labelImage.size()) return;
  ++f->labelRevision;
  for (std::size_t p = 0; p < f->labelImage.size(); ++p) {
    uint8_t& label = f->labelImage[p];
    const bool right = f->divisionImage[p] == 1;
    if (label == 1)
      label = right ? 5 : 4;
    else if (label == 2)
      label = right ? 7 : 6;
  }
}

void Study::fillLabelImage(int i, uint8_t value) {
  if (Frame* f = touched(i)) {
    ++f->labelRevision;
    std::fill(f->labelImage.begin(), f->labelImage.end(), value);
  }
}

void Study::fillSelectionImage(int i, uint8_t value) {
  if (Frame* f = touched(i)) std::fill(f->selectionImage.begin(), f->selectionImage.end(), value);
}

bool Study::setLabelImage(int i, const uint8_t* labels, int w, int h) {
  Frame* f = touched(i);
  if (!f || !labels || w != f->header.width || h != f->header.height || f->labelImage.empty()) return false;
  ++f->labelRevision;
  std::copy(labels, labels + f->labelImage.size(), f->labelImage.begin());
  return true;
}

bool Study::setDivisionImage(int i, const uint8_t* division, int w, int h) {
  Frame* f = touched(i);
  if (!f || !division || w != f->header.width || h != f->header.height || f->labelImage.empty()) return false;
  f->divisionImage.assign(division, f->labelImage.size());
  f->divisionDefined = true;
  return true;
}

void Study::clearDivision(int i) {
  if (Frame* f = frame(i)) {
    std::fill(f->divisionImage.begin(), f->divisionImage.end(), 0);
    f->divisionDefined = false;
  }
}

void Study::clearDivisionOfSeries(int s) {
  for (int i = 0; i < frameCount_; ++i) {
    Frame& f = frames_[i];
    if (f.seriesIndex != s) continue;
    std::fill(f.divisionImage.begin(), f.divisionImage.end(), 0);
    f.divisionDefined = false;
  }
}

}  // namespace morvex

namespace morvex {

void Study::updateVolumeSpacing(std::FILE* log) {
  for (int s = 0; s < seriesCount_; ++s) {
    const int first = firstFrameOfSeries(s), last = lastFrameOfSeries(s);
    if (first < 0) continue;
    // positions along the normal of the first slice's orientation
    const SliceHeader& h0 = frames_[first].header;
    const double* r = h0.imageOrientation;
    const double normal[3] = {r[1] * r[5] - r[2] * r[4], r[2] * r[3] - r[0] * r[5], r[0] * r[4] - r[1] * r[3]};
    const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    std::vector<double> along;
    for (int f = first; f <= last; ++f) {
      const SliceHeader& h = frames_[f].header;
      if (frames_[f].seriesIndex != s || !h.hasPosition) continue;
      along.push_back((h.imagePosition[0] * normal[0] + h.imagePosition[1] * normal[1] + h.imagePosition[2] * normal[2]) /
                      (length > 0 ? length : 1.0));
    }
    float spacing = 0.0f;
    if (length > 0.5 && along.size() >= 2) {
      std::sort(along.begin(), along.end());
      std::vector<double> steps;
      for (std::size_t i = 1; i < along.size(); ++i)
        if (along[i] - along[i - 1] > 1e-3) steps.push_back(along[i] - along[i - 1]);
      if (!steps.empty()) {
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        spacing = static_cast<float>(steps[steps.size() / 2]);
      }
    }
    const float thickness = h0.sliceThickness;
    const bool differs = spacing > 0 && std::fabs(spacing - thickness) > 0.01f * std::max(thickness, 1e-6f);
    for (int f = first; f <= last; ++f)
      if (frames_[f].seriesIndex == s) frames_[f].header.volumeSpacing = differs ? spacing : 0.0f;
    if (differs && log)
      std::fprintf(log, "importSlices(): %s %s: slices lie %.4g mm apart, thickness %.4g mm; volumes use %.4g mm\n",
                   h0.patientName.c_str(), h0.seriesDate.c_str(), spacing, thickness, spacing);
  }
}

}  // namespace morvex
