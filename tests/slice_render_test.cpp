// Slice composition: windowing, label colours at different opacities, outline mode, the red
// selection, and the volume readout figures.

#include <gtest/gtest.h>

#include "analysis/area_statistics.h"
#include "view/slice_render.h"

using morvex::OverlaySettings;

namespace {
uint8_t red(uint32_t p) { return static_cast<uint8_t>(p >> 16); }
uint8_t green(uint32_t p) { return static_cast<uint8_t>(p >> 8); }
uint8_t blue(uint32_t p) { return static_cast<uint8_t>(p); }
}  // namespace

TEST(Windowing, FormulaEqualBoundsAndInversion) {
  const int16_t v[] = {-200, -160, 0, 239, 240, 241, 1000};
  uint8_t g[7];
  morvex::windowIntensities(v, 7, -160, 240, false, g);
  EXPECT_EQ(std::vector<uint8_t>(g, g + 7), (std::vector<uint8_t>{0, 0, 101, 253, 254, 255, 255}));
  morvex::windowIntensities(v, 7, 0, 0, false, g);
  EXPECT_EQ(std::vector<uint8_t>(g, g + 7), (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 255}))
      << "max = min: the value itself is 0, everything above 255";
  morvex::windowIntensities(v, 7, -160, 240, true, g);
  EXPECT_EQ(g[0], 255) << "inverted: below the window shows white";
  EXPECT_EQ(g[6], 0);
}

TEST(Composition, LabelBlendingOpacityAndCurrentLabel) {
  const morvex::LabelTable table = morvex::defaultLabelTable();
  const uint8_t grey[4] = {100, 100, 100, 100};
  const uint8_t labels[4] = {0, 1, 2, 9};
  const uint8_t selection[4] = {0, 0, 0, 255};
  uint32_t canvas[4];
  OverlaySettings s;
  s.labels = &table;
  s.currentLabel = 1;
  s.opacity = 0.9f;
  morvex::composeSlice(grey, labels, selection, 4, 1, s, canvas);
  EXPECT_EQ(canvas[0], 0xff646464u) << "opaque grey";
  EXPECT_EQ(red(canvas[1]), static_cast<int>(145 * 0.9f + 0.1f * 100));
  EXPECT_EQ(green(canvas[1]), static_cast<int>(57 * 0.9f + 0.1f * 100));
  EXPECT_EQ(blue(canvas[2]), static_cast<int>(78 * 0.9f + 0.1f * 100));
  EXPECT_EQ(red(canvas[3]), static_cast<int>(255 * 0.9f + 0.1f * 100)) << "selection in red over a label without entry";
  EXPECT_EQ(green(canvas[3]), static_cast<int>(0.1f * 100));

  s.opacity = 0.0f;
  morvex::composeSlice(grey, labels, selection, 4, 1, s, canvas);
  for (uint32_t p : canvas) EXPECT_EQ(p, 0xff646464u) << "opacity 0 shows pure grey";

  s.opacity = 0.5f;
  for (int current : {0, 255}) {
    s.currentLabel = current;
    morvex::composeSlice(grey, labels, selection, 4, 1, s, canvas);
    EXPECT_EQ(canvas[1], 0xff646464u) << "no label colours with currentLabel " << current;
    EXPECT_EQ(red(canvas[3]), 177) << "the selection is still drawn";
  }
}

TEST(Composition, OutlineModeDrawsLiverEdgesAndFillsOtherLabels) {
  const morvex::LabelTable table = morvex::defaultLabelTable();
  constexpr int W = 30, H = 20;
  std::vector<uint8_t> grey(W * H, 50), labels(W * H, 0), selection(W * H, 0);
  for (int y = 5; y < 15; ++y)
    for (int x = 5; x < 15; ++x) labels[y * W + x] = 1;
  for (int y = 5; y < 15; ++y)
    for (int x = 18; x < 28; ++x) labels[y * W + x] = morvex::kLiverRight;
  labels[10 * W + 10] = 2;  // a vessel pixel inside the liver
  std::vector<uint32_t> canvas(W * H);
  OverlaySettings s;
  s.labels = &table;
  s.currentLabel = 1;
  s.opacity = 1.0f;
  s.outlineMode = true;
  morvex::composeSlice(grey.data(), labels.data(), selection.data(), W, H, s, canvas.data());
  const uint32_t liver = 0xff000000u | (145u << 16) | (57u << 8) | 53u;
  EXPECT_EQ(canvas[5 * W + 10], liver) << "the liver's edge is drawn";
  EXPECT_EQ(canvas[8 * W + 8], 0xff323232u) << "the liver's inside stays grey";
  EXPECT_EQ(canvas[10 * W + 10], 0xff000000u | (1u << 16) | (175u << 8) | 78u) << "other labels are filled";
  EXPECT_EQ(canvas[0], 0xff323232u);
  const morvex::LabelInfo& r = *table.byValue(morvex::kLiverRight);
  EXPECT_EQ(canvas[5 * W + 22], 0xff000000u | (uint32_t(r.r) << 16) | (uint32_t(r.g) << 8) | uint32_t(r.b))
      << "Liver(Right) is outlined too";
  EXPECT_EQ(canvas[9 * W + 22], 0xff323232u);
  s.outlineMode = false;
  morvex::composeSlice(grey.data(), labels.data(), selection.data(), W, H, s, canvas.data());
  EXPECT_EQ(canvas[8 * W + 8], liver) << "filled without outline mode";
}

TEST(VolumeReadout, UndividedDividedAndTheVoxelExample) {
  const morvex::VolumeReadout none = morvex::computeVolumeReadout(0.7 * 0.7 * 5.0 / 1000, nullptr);
  EXPECT_EQ(none.liver, 0.0f);
  EXPECT_EQ(none.leftRate, 0.0f);

  // 10 000 liver pixels at 0.7 mm and 5 mm: 0.00245 mL each
  const int16_t hu[4] = {0, 0, 0, 0};
  std::vector<int16_t> big(10000, 50);
  std::vector<uint8_t> liver(10000, 1);
  morvex::AreaStatistics st(7);
  st.computeSlice(big.data(), liver.data(), 100, 100, false);
  morvex::VolumeReadout r = morvex::computeVolumeReadout(0.7 * 0.7 * 5.0 / 1000, &st);
  EXPECT_NEAR(r.liver, 24.5f, 1e-3);
  EXPECT_NEAR(r.liverWithoutVessel, 24.5f, 1e-3);
  EXPECT_EQ(r.right, 0.0f);

  // undivided with vessel: liver counts liver and vessel together
  const uint8_t undivided[4] = {1, 1, 2, 0};
  st.computeSlice(hu, undivided, 2, 2, false);
  r = morvex::computeVolumeReadout(1.0, &st);  // 1 mL per pixel
  EXPECT_FLOAT_EQ(r.liver, 3);
  EXPECT_FLOAT_EQ(r.liverWithoutVessel, 2);
  EXPECT_FLOAT_EQ(r.left, 0);
  EXPECT_FLOAT_EQ(r.notDivided, 0) << "before a division every label is in the figures";

  // divided: 4 left, 5 right, 6/7 vessels (one left, two right, so a swapped side shows); pixels
  // still labelled 1 or 2 do not count
  const uint8_t divided[10] = {4, 4, 4, 5, 6, 7, 7, 1, 2, 5};
  std::vector<int16_t> hu10(10, 0);
  st.computeSlice(hu10.data(), divided, 5, 2, false);
  r = morvex::computeVolumeReadout(1.0, &st);
  EXPECT_FLOAT_EQ(r.left, 4);
  EXPECT_FLOAT_EQ(r.right, 4);
  EXPECT_FLOAT_EQ(r.liver, 8);
  EXPECT_FLOAT_EQ(r.liverWithoutVessel, 5);
  EXPECT_FLOAT_EQ(r.leftWithoutVessel, 3);
  EXPECT_FLOAT_EQ(r.rightWithoutVessel, 2);
  EXPECT_FLOAT_EQ(r.leftRate, 60);
  EXPECT_FLOAT_EQ(r.notDivided, 2) << "the 1 and the 2 drawn after the division";
}
