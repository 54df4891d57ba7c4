#pragma once
// The study: the table of loaded slices (frames) grouped into series.
// Frames are addressed by a dense frame index 0..frameCount()-1, series by series index.
// Tables grow in steps of 100 slots; growing keeps every frame and series at its index.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "study/frame.h"

namespace morvex {

// Receives the user-facing warnings (the GUI shows them as message boxes).
using WarningSink = std::function<void(const std::string&)>;

// One slice file read and decoded without touching any study, so that files can be decoded on
// worker threads while the study is changed on one thread only. warnings holds the user-facing
// warnings of the load in the order they arose; they are shown when the slice is added.
struct DecodedSlice {
  std::string path;
  bool loaded = false;   // header and pixels are valid
  bool skipped = false;  // not a slice at all (the design skips such files without a warning)
  bool namedByFile = false;  // a raster slice: patient, date and instance come from its file name
  SliceHeader header;
  SlicePixels pixels;
  std::vector<std::string> warnings;
  std::string reason;  // why the file was refused or skipped, in words for the user
};
// Reads and decodes one slice file; never throws (a library exception refuses the file with a
// log line). Safe to call from several threads at once.
DecodedSlice decodeSliceFile(const char* path);

class Study {
 public:
  static constexpr int kGrowStep = 100;

  Study();

  // --- loading -----------------------------------------------------------------
  // Reads one slice file and inserts it (or reloads the pixels of an equal frame).
  // Returns the frame index, or -1 when the file was skipped or failed to load.
  int addFrameFromFile(const char* path);
  // The same; beforeInsert (when given) runs once the file has decoded, before the tables change
  // (an import clears the previous study there, so a file that fails to load clears nothing).
  int addFrameFromFile(const char* path, const std::function<void()>& beforeInsert);
  // Shows the warnings of a decoded slice and, when it loaded, inserts it as addFrameFromFile does.
  // beforeInsert returning false stores nothing (-1, no warning). A slice named by its file whose
  // instance number a frame of another file holds in its series takes the number after the
  // series' largest: loose images whose names carry no number (all instance 0) each keep a frame.
  int addDecodedSlice(DecodedSlice&& slice, const std::function<bool()>& beforeInsert = {});
  // Inserts a decoded slice: the duplicate search, series lookup and table growth of a load.
  // The frame's size comes from pixels. Returns the frame index.
  int insertFrame(const SliceHeader& header, SlicePixels&& pixels);
  // Volumes of a series whose slices carry positions use the distance between adjacent slices
  // along the slice normal when it differs from the thickness by more than 1 % (one log line per
  // series, a log line: standard error by default, never mixed into a document on standard
  // output); series without positions keep the thickness.
  void updateVolumeSpacing(std::FILE* log = stderr);
  void setWarningSink(WarningSink sink) { warn_ = std::move(sink); }
  // Files skipped without a warning reach this sink (an import lists them with its refusals).
  void setSkipSink(WarningSink sink) { skipped_ = std::move(sink); }
  // The file whose warnings are being given, for sinks that name it.
  void setWarningSubject(std::string path) { warningSubject_ = std::move(path); }
  const std::string& warningSubject() const { return warningSubject_; }
  void warn(const std::string& text) const;
  // The same with the reason for the file in hand; sinks read it from warningReason() meanwhile.
  void warn(const std::string& text, const std::string& reason);
  const std::string& warningReason() const { return warningReason_; }

  // --- queries -----------------------------------------------------------------
  int frameCount() const { return frameCount_; }
  int seriesCount() const { return seriesCount_; }
  int frameCapacity() const { return static_cast<int>(frames_.size()); }
  int seriesCapacity() const { return static_cast<int>(series_.size()); }
  int labelCount() const { return labelCount_; }
  void setLabelCount(int n) { labelCount_ = n; }

  // Live frame or null when nFrameIdx is not a live index. Pixels are written through the pixel
  // accessors and mutations below, which count as a change of the frame (its revision is bumped).
  const Frame* frame(int nFrameIdx) const;
  Frame* frame(int nFrameIdx);
  const Series* series(int nGroupIdx) const;
  // The series a header belongs to (the lookup of a load, without creating one); -1 when none.
  int seriesOfHeader(const SliceHeader& header) const;
  // Whether another live series has the same patient name and series date.
  bool dateHoldsSeveralSeries(int nGroupIdx) const;
  // The tree caption of a series: its series date when the date holds one series; otherwise the
  // date, "#" and series number, and the description, with " (k)" added when two series of the
  // date would still read the same (k counts them in series order from 1).
  std::string seriesCaption(int nGroupIdx) const;
  // The series part of mask, TIFF, folder and report names: the series date when the date holds
  // one series (the names stay as they always were); otherwise date + "_S" + series number, with
  // "-k" added when two series of the date share the number. Never equal for two live series.
  std::string seriesFileKey(int nGroupIdx) const;
  std::string seriesFileKeyOf(const SliceHeader& header) const { return seriesFileKey(seriesOfHeader(header)); }

  // Pixel buffers (width x height) or null beyond the live frames or when absent.
  const int16_t* intensities(int nFrameIdx) const;
  int16_t* intensitiesForEdit(int nFrameIdx);
  uint8_t* labelImage(int nFrameIdx);
  const uint8_t* labelImage(int nFrameIdx) const;
  uint8_t* selectionImage(int nFrameIdx);
  const uint8_t* selectionImage(int nFrameIdx) const;
  const uint8_t* divisionImage(int nFrameIdx) const;

  // Numeric fields; 0 for an index beyond the live frames.
  int width(int nFrameIdx) const;
  int height(int nFrameIdx) const;
  int windowCenter(int nFrameIdx) const;
  int windowWidth(int nFrameIdx) const;
  int instanceNumber(int nFrameIdx) const;
  int seriesOfFrame(int nFrameIdx) const;
  bool divisionDefined(int nFrameIdx) const;

  // Smallest / largest live frame index of a series; -1 when it has none.
  int firstFrameOfSeries(int nGroupIdx) const;
  int lastFrameOfSeries(int nGroupIdx) const;

  // Copies of one series' label masks: the frames from first to last of the series whose label
  // image holds nLabel at least once, each with a width x height mask (nLabel where set, else 0).
  // False when the series has no frame or out is not empty.
  struct LabelVolume {
    std::vector<int> frames;
    std::vector<std::vector<uint8_t>> masks;
    int width = 0, height = 0;
  };
  bool getLabelVolume(int nGroupIdx, uint8_t nLabel, LabelVolume& out) const;
  // Copies a frame's intensities. An empty buffer is sized from the frame (width and height set);
  // a filled one must already have the frame's size. False for a missing frame or a size mismatch.
  bool getIntensityImage(int nFrameIdx, int& width, int& height, std::vector<int16_t>& buffer) const;
  // Intensities of every frame from first to last of a series; false when the series has none or
  // slices is not empty.
  bool getIntensityVolume(int nGroupIdx, int& count, int& width, int& height,
                          std::vector<std::vector<int16_t>>& slices) const;
  // A study of its own holding copies of the frames first..last of a series (headers, intensities,
  // labels and division flags; selection and division maps start empty), for a run on a worker
  // thread while this study stays with the interface. Frame i of the copy is frame
  // firstFrameOfSeries(nGroupIdx) + i here; series indices are kept. Empty for a series without
  // frames. Throws std::bad_alloc when memory runs out.
  // labelsWritten (when given, one entry per frame from first to last) says which label images
  // were ever written, in place of reading the frames' revision counters: a worker thread makes
  // the copy while the interface thread may still bump them.
  Study seriesWorkCopy(int nGroupIdx, const std::vector<bool>* labelsWritten = nullptr) const;
  // Which label images of a series were ever written (the argument of seriesWorkCopy).
  std::vector<bool> labelsWrittenOfSeries(int nGroupIdx) const;

  // --- mutations ---------------------------------------------------------------
  void swapFrames(int i, int j);
  // Keeps each series' frames together (series in index order) and orders them by instance
  // number; equal instance numbers keep their load order.
  void sortSeriesByInstance();
  void clear();
  // Liver 1 -> 5 / 4 and vessel 2 -> 7 / 6 by the division map (1 = right); needs a stored map.
  void applyDivision(int nFrameIdx);

  void fillLabelImage(int nFrameIdx, uint8_t value);
  void fillSelectionImage(int nFrameIdx, uint8_t value);
  // Replaces the label image when width and height match the frame; false otherwise.
  bool setLabelImage(int nFrameIdx, const uint8_t* labels, int width, int height);
  // Stores a division map (width x height) and marks it defined; false on a size mismatch.
  bool setDivisionImage(int nFrameIdx, const uint8_t* division, int width, int height);
  // Clears the division maps and flags of every frame of a series, or of one frame.
  void clearDivisionOfSeries(int nGroupIdx);
  void clearDivision(int nFrameIdx);

 private:
  int findSeries(const SliceHeader& header);
  int instanceForNamedSlice(const SliceHeader& header) const;
  // Series of the same patient and date as s, in index order (s included).
  std::vector<int> seriesOfSameDate(int nGroupIdx) const;
  Frame* touched(int nFrameIdx);

  std::vector<Frame> frames_;
  std::vector<Series> series_;
  int frameCount_ = 0;
  int seriesCount_ = 0;
  int labelCount_ = 0;
  uint64_t nextUid_ = 1;
  WarningSink warn_, skipped_;
  std::string warningSubject_;
  std::string warningReason_;
};

}  // namespace morvex
