#include "view/fill_preview.h"

#include <cstddef>

void drawFillPreview(uint32_t* canvas, const uint8_t* mask, int width, int height, int r, int g, int b) {
  if (!canvas || !mask) return;
  const uint32_t colour = 0xff000000u | (static_cast<uint32_t>(r & 0xff) << 16) |
                          (static_cast<uint32_t>(g & 0xff) << 8) | static_cast<uint32_t>(b & 0xff);
  const auto in = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < width && y < height && mask[static_cast<std::size_t>(y) * width + x];
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (!in(x, y)) continue;
      const bool edge = !in(x - 1, y) || !in(x + 1, y) || !in(x, y - 1) || !in(x, y + 1);
      if (edge || (x + y) % 4 == 0) canvas[static_cast<std::size_t>(y) * width + x] = colour;
    }
}
