#include "segmentation/label_cleanup.h"

#include <algorithm>

#include "segmentation/mask_utils.h"

namespace morvex {

void deNoiseLabels(uint8_t* labels, int width, int height) {
  if (!labels || width <= 0 || height <= 0) return;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<int16_t> background(n);
  const int16_t seed = 0;
  seedFill(labels, 0.0f, 0.0f, &seed, &seed, 1, width, height, background.data(), 0, 255);
  for (std::size_t i = 0; i < n; ++i)
    if (background[i] != 0) labels[i] = 1;
}

void reLabel(uint8_t* labels, const uint8_t* before, const uint8_t* after, std::size_t count) {
  if (!labels || !before || !after) return;
  for (std::size_t p = 0; p < count; ++p) {
    const uint8_t a = after[p], b = before[p];
    const bool vessel = a == 2 || a == 6 || a == 7;
    const bool liverBefore = b == 1 || b == 4 || b == 5;
    if (vessel && !liverBefore) labels[p] = b;
  }
}

void clearOutsideBody(int16_t* intensities, int width, int height) {
  if (!intensities || width <= 0 || height <= 0) return;
  const std::vector<int16_t> body = extractBodyMask(intensities, width, height);
  for (std::size_t i = 0; i < body.size(); ++i)
    if (body[i] < 1) intensities[i] = 0;
}

std::vector<uint8_t> windowedImage(const int16_t* intensities, std::size_t count, int lo, int hi) {
  std::vector<uint8_t> out(count, 0);
  if (!intensities) return out;
  const int top = std::max(lo, lo + 2 * ((hi - lo) / 2));
  const float scale = 255.0f / static_cast<float>(top - lo + 1);
  for (std::size_t i = 0; i < count; ++i) {
    const int v = intensities[i];
    out[i] = v < lo ? 0 : v > top ? 255 : static_cast<uint8_t>(static_cast<float>(v - lo) * scale);
  }
  return out;
}

}  // namespace morvex
