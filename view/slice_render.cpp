#include "view/slice_render.h"

#include <algorithm>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "segmentation/mask_utils.h"

namespace morvex {

namespace {

inline uint32_t greyPixel(uint8_t d) { return 0xff000000u | (uint32_t(d) << 16) | (uint32_t(d) << 8) | d; }

inline uint32_t blend(int r, int g, int b, float a, uint8_t d) {
  return 0xff000000u | (uint32_t(blendChannel(r, a, d)) << 16) | (uint32_t(blendChannel(g, a, d)) << 8) |
         blendChannel(b, a, d);
}

// Outline of one label: the label's area with its enclosed holes, its edges, each edge pixel
// painting a 3 x 3 block.
void drawOutline(const uint8_t* grey, const uint8_t* labels, int width, int height, uint8_t label, const LabelInfo& info,
                 float opacity, uint32_t* canvas) {
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<uint8_t> mask(n);
  for (std::size_t i = 0; i < n; ++i) mask[i] = labels[i] == label ? 1 : 0;
  if (std::find(mask.begin(), mask.end(), 1) == mask.end()) return;
  std::vector<int16_t> filled(n);
  const int16_t seed = 0;
  seedFill(mask.data(), 0.0f, 0.0f, &seed, &seed, 1, width, height, filled.data(), 0, 255);
  cv::Mat area(height, width, CV_8UC1);
  for (std::size_t i = 0; i < n; ++i) area.data[i] = filled[i] > 0 ? 255 : 0;
  cv::Canny(area, area, 0, 100, 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (!area.at<uint8_t>(y, x)) continue;
      for (int yy = std::max(y - 1, 0); yy <= std::min(y + 1, height - 1); ++yy)
        for (int xx = std::max(x - 1, 0); xx <= std::min(x + 1, width - 1); ++xx) {
          const std::size_t i = static_cast<std::size_t>(yy) * width + xx;
          canvas[i] = blend(info.r, info.g, info.b, opacity, grey[i]);
        }
    }
}

}  // namespace

void windowIntensities(const int16_t* intensities, std::size_t count, int min, int max, bool invert, uint8_t* grey) {
  const float range = static_cast<float>(max - min + 1);
  for (std::size_t i = 0; i < count; ++i) {
    const int v = intensities[i];
    uint8_t g;
    if (v < min)
      g = 0;
    else if (v > max)
      g = 255;
    else
      g = static_cast<uint8_t>(static_cast<int>(static_cast<float>(v - min) * 255.0f / range));
    grey[i] = invert ? static_cast<uint8_t>(255 - g) : g;
  }
}

void composeSlice(const uint8_t* grey, const uint8_t* labels, const uint8_t* selection, int width, int height,
                  const OverlaySettings& s, uint32_t* canvas) {
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  for (std::size_t i = 0; i < n; ++i) canvas[i] = greyPixel(grey[i]);
  const float a = s.opacity;
  if (s.labels && s.currentLabel != 0 && s.currentLabel != kSelectionLabel) {
    for (std::size_t i = 0; i < n; ++i) {
      const uint8_t v = labels[i];
      if (v == 0) continue;
      if (s.outlineMode && (v == 1 || v == 4 || v == 5)) continue;
      if (const LabelInfo* info = s.labels->byValue(v)) canvas[i] = blend(info->r, info->g, info->b, a, grey[i]);
    }
    if (s.outlineMode)
      for (int p : {0, 3, 4})
        if (const LabelInfo* info = s.labels->byValue(p + 1))
          drawOutline(grey, labels, width, height, static_cast<uint8_t>(p + 1), *info, a, canvas);
  }
  for (std::size_t i = 0; i < n; ++i)
    if (selection[i]) canvas[i] = blend(255, 0, 0, a, grey[i]);
}

VolumeReadout computeVolumeReadout(double voxelMl, const AreaStatistics* st) {
  const float voxel = static_cast<float>(voxelMl);
  float v[8] = {};
  if (st && st->computed())
    for (int k : {1, 2, 3, 4, 5, 6, 7}) v[k] = st->pixelCnt(k) * voxel;
  VolumeReadout r;
  r.left = v[4] + v[6];
  r.right = v[5] + v[7];
  float vessel;
  if (r.left > 0 || r.right > 0) {
    r.liver = r.left + r.right;
    vessel = v[6] + v[7];
    r.notDivided = v[1] + v[2];
  } else {
    r.liver = v[1] + v[2];
    vessel = v[2];
  }
  r.liverWithoutVessel = r.liver - vessel;
  r.rightWithoutVessel = std::max(r.right - v[7], 0.0f);
  r.leftWithoutVessel = std::max(r.left - v[6], 0.0f);
  r.leftRate = r.liverWithoutVessel == 0 ? 0.0f : r.leftWithoutVessel / r.liverWithoutVessel * 100.0f;
  r.tumours = v[3];
  r.wholeLiver = v[1] + v[2] + v[3] + v[4] + v[5] + v[6] + v[7];
  return r;
}

}  // namespace morvex
