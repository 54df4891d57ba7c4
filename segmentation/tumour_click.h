#pragma once
// A liver tumour from one click: the lesion under the click is grown in 3D through the voxels whose
// (median-filtered) intensity lies nearer the lesion's than the liver's, inside the liver and a
// thin rim around it (lesions on the border bulge out of the liver label). The liver's intensity
// comes from its histogram (the Analysis page's statistics); the lesion's from the click's
// neighbourhood, so hypo- and hyperdense lesions are both taken and every contrast phase works.
// The edge is then decided again voxel by voxel on the raw intensities, each voxel against the
// lesion and the tissue beside it there (liver, or a muscle or organ of near intensity), its
// neighbours voting; the lesion may go on a slice past where the liver label stops.
// The engine only reads the series and hands back the lesion's voxels; applyTumour writes them.

#include <cstdint>
#include <vector>

namespace morvex {

class AreaStatistics;
class Study;

// One series as the engine reads it: slices of one size, row-major, first slice first.
struct TumourVolume {
  int width = 0, height = 0;
  double columnSpacing = 1, rowSpacing = 1, sliceSpacing = 1;  // mm
  std::vector<const int16_t*> intensities;
  std::vector<const uint8_t*> labels;
  int slices() const { return static_cast<int>(intensities.size()); }
};
// The frames first..last of a series that share the first frame's size (the run stops at the first
// frame of another size); the pointers stay valid while the study's frames do.
TumourVolume tumourVolumeOf(const Study& study, int series);

// The liver's intensity: quartiles of its histogram.
struct LiverIntensity {
  double q1 = 0, median = 0, q3 = 0;
  long voxels = 0;
};
// From series statistics (labels 1, 4 and 5 together: the whole liver, divided or not); voxels 0
// when the series holds no liver.
LiverIntensity liverIntensityOf(const AreaStatistics& statistics);

struct TumourClickOptions {
  double rimMm = 4.0;            // the rim around the liver a lesion may fill
  double capsuleMm = 15.0;       // bays of the liver outline up to this depth count as liver
  double reachMm = 90.0;         // the lesion is sought within this distance of the click
  double maxMl = 1500.0;         // size guard: a larger region is a leak, nothing is written
  double maxLiverShare = 0.6;    // size guard: nor more than this share of the liver
  double minContrastIqr = 0.75;  // the click must differ from the liver by this many IQRs...
  double minContrastHU = 8.0;    // ...and by this many HU
};

enum class TumourClickStatus { Done, NoLiver, OutsideLiver, NoContrast, TooLarge, TooSmall };

struct TumourRegion {
  TumourClickStatus status = TumourClickStatus::NoLiver;
  double lesionHU = 0;  // the lesion's intensity at the click (median of the filtered neighbourhood)
  long voxels = 0;
  int firstSlice = 0;   // slices[k] holds the pixel indices of slice firstSlice + k
  std::vector<std::vector<int32_t>> slices;
};

TumourRegion segmentTumourFromClick(const TumourVolume& volume, int slice, int x, int y,
                                    const LiverIntensity& liver, const TumourClickOptions& options = {});

// Writes label value `label` on the region's voxels whose label is 0 or a liver or vessel label
// (1, 2, 4..7) or already `label`; other labels stay. labels[k] is slice k of the volume. Returns
// the number of voxels written.
long applyTumour(const TumourRegion& region, const std::vector<uint8_t*>& labels, uint8_t label);

}  // namespace morvex
