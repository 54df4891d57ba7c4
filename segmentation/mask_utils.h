#pragma once
// Image operations shared by the segmentation and selection tools: a 4-connected scanline seed
// fill over a closed intensity window, the body mask built on it, and the interior points of a
// digital line. Images are row-major, width x height, without row padding.

#include <cstdint>
#include <vector>

namespace morvex {

// Fills from the seeds through 4-connected pixels whose value v satisfies lo <= v <= hi (as float).
// out (width x height, caller-owned) receives filledValue on filled pixels and otherValue elsewhere.
// A seed with x or y equal to -1 ends the seed list; seeds outside the image are ignored.
// out may be the source buffer itself (the source is then read from a copy).
void seedFill(const uint8_t* src, float lo, float hi, const int16_t* seedX, const int16_t* seedY, int seedCount,
              int width, int height, int16_t* out, int16_t filledValue, int16_t otherValue);
void seedFill(const int16_t* src, float lo, float hi, const int16_t* seedX, const int16_t* seedY, int seedCount,
              int width, int height, int16_t* out, int16_t filledValue, int16_t otherValue);
// The same fill with an integer window (lo <= v <= hi compared as integers).
void seedFillInt(const int16_t* src, int lo, int hi, const int16_t* seedX, const int16_t* seedY, int seedCount,
                 int width, int height, int16_t* out, int16_t filledValue, int16_t otherValue);
// The integer-window fill over the source (b != 0 ? otherValue : a): pixels marked in b are walls.
void seedFillExcluding(const int16_t* a, const int16_t* b, int lo, int hi, const int16_t* seedX,
                       const int16_t* seedY, int seedCount, int width, int height, int16_t* out,
                       int16_t filledValue, int16_t otherValue);

// Seeds on every pixel of the image border (each border pixel once), for fills that find the
// background of a region from the outside of the image.
void borderSeeds(int width, int height, std::vector<int16_t>& seedX, std::vector<int16_t>& seedY);

// Body mask of a CT slice: 255 inside the patient's body (holes included), 0 for air, table and
// anything not connected to the centre of the slice. out holds width x height values.
void extractBodyMask(const int16_t* intensities, int width, int height, int16_t* out);
std::vector<int16_t> extractBodyMask(const int16_t* intensities, int width, int height);

// Interior points of the digital (Bresenham) line from (x0, y0) to (x1, y1), endpoints excluded.
// px and py need room for max(|x1 - x0|, |y1 - y0|) entries. count becomes the number stored, or
// -1 for identical endpoints (nothing stored).
void getLinePoints(int x0, int y0, int x1, int y1, int* px, int* py, int* count);

}  // namespace morvex
