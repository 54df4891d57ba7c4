#pragma once
// The preview of a fill between slices over a slice picture: the pixels to be filled drawn in the
// label's colour as an outline with a diagonal hatch inside, so that they read apart from the
// labels already there (which are blended over the grey).

#include <cstdint>

// canvas: width x height pixels 0xffRRGGBB; mask: width x height, nonzero where the fill would go.
void drawFillPreview(uint32_t* canvas, const uint8_t* mask, int width, int height, int r, int g, int b);
