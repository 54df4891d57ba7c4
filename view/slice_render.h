#pragma once
// Composition of a slice picture without any widget: windowing of the intensities into grey
// values, label colours (filled, or liver labels as outlines) and the red working selection,
// into a 32-bit RGB canvas (0xffRRGGBB per pixel, the layout of QImage::Format_RGB32).

#include <cstddef>
#include <cstdint>

#include "analysis/area_statistics.h"
#include "study/label_table.h"

namespace morvex {

// Grey value of every intensity in the window min..max: below 0, above 255, inside
// trunc((v - min) * 255 / (max - min + 1)); inverted (255 - g) when invert is set.
void windowIntensities(const int16_t* intensities, std::size_t count, int min, int max, bool invert, uint8_t* grey);

struct OverlaySettings {
  const LabelTable* labels = nullptr;
  int currentLabel = 0;   // 0 and 255 draw no label colours
  float opacity = 0.5f;
  bool outlineMode = false;  // liver labels (1, 4, 5) as outlines, other labels filled
};

// Grey base, label colours and the selection in red, all blended with the opacity.
void composeSlice(const uint8_t* grey, const uint8_t* labels, const uint8_t* selection, int width, int height,
                  const OverlaySettings& settings, uint32_t* canvas);

// Blend of colour channel c over grey d with opacity a, as drawn for labels and the selection.
inline uint8_t blendChannel(int c, float a, int d) { return static_cast<uint8_t>(static_cast<int>(c * a + (1 - a) * d) & 0xFF); }

// The readout of liver and vessel volumes (mL) of a series, drawn over every slice view.
struct VolumeReadout {
  float liver = 0, liverWithoutVessel = 0, right = 0, rightWithoutVessel = 0, left = 0, leftWithoutVessel = 0,
        leftRate = 0;
  // Once the liver is divided, the "Liver" and "Vessel" labels (1, 2) drawn since are in none of
  // the figures above; their volume is shown on a row of its own. 0 before the division.
  float notDivided = 0;
  // Tumours (label 3) and the whole liver: every liver, vessel and tumour label, divided or not.
  float tumours = 0, wholeLiver = 0;
};
// From the series statistics (null or not computed: all 0) and the voxel volume of the frame in mL
// (SliceHeader::voxelVolumeMl).
VolumeReadout computeVolumeReadout(double voxelMl, const AreaStatistics* statistics);

}  // namespace morvex
