#pragma once
// Loading and writing for the command line: one series from a folder or file, masks from a folder,
// a mask file or a NIfTI volume, and the mask files of a series in each format. Every failure is
// thrown as a CliError whose text names the file and the reason, in one line.

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

#include "study/study.h"

namespace morvex::cli {

struct CliError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Progress lines on standard error, only when it is a terminal.
class Progress {
 public:
  explicit Progress(const char* task);
  void update(int percent);
  void done();

 private:
  const char* task_;
  bool shown_;
  int last_ = -1;
};

// Loads the slices of path (a folder, searched recursively, or one slice file) into study, which
// then holds exactly one series (index 0); the label table's size is set to the default table's.
void loadSeries(const std::string& path, Study& study);

// Loads masks into the series: a ".nii" / ".nii.gz" volume, a DICOM Segmentation, a single mask
// file (image or multi-page TIFF), or every mask file of a folder in natural order. Returns the frame a single
// image mask went to (-1 otherwise).
int loadMasks(const std::string& path, Study& study);

enum class MaskFormat { Png, Tiff, Nifti, Seg };
// The mask files of series 0: Png writes "m_<slice>.png" per slice into folder target, Tiff, Nifti
// and Seg (a DICOM Segmentation) write the file target. Each file is written atomically.
void writeMasks(const Study& study, MaskFormat format, const std::string& target);
// "m_<patient id>_<patient name>_<series date>" of series 0, the name of its series-wide files
// (each part made safe by fileNamePart).
std::string seriesMaskName(const Study& study);

// All files of a run or none: write(stage) writes into stage, a fresh folder inside folder (which
// is created when missing); then every file written there moves into folder. When write throws,
// or a file cannot take its place, nothing of the run is left in folder (nor the folder, when the
// run made it) and the error is thrown on.
void writeAllOrNothing(const std::string& folder, const std::function<void(const std::string& stage)>& write);

// Creates folder and its parents; throws when it cannot.
void makeFolder(const std::string& folder);

}  // namespace morvex::cli
