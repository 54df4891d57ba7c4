#pragma once
// Label rules that keep label images consistent after editing, and body segmentation.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morvex {

// Every pixel not reachable from the top-left corner through unlabelled pixels becomes label 1
// ("Liver"): labelled pixels and the holes they enclose form one liver object.
void deNoiseLabels(uint8_t* labels, int width, int height);

// Takes back vessel labels (2, 6, 7) written where the label before the edit was not liver (1, 4, 5):
// labels[p] = before[p] there; other pixels stay as they are.
void reLabel(uint8_t* labels, const uint8_t* before, const uint8_t* after, std::size_t count);

// Sets the intensities outside the body mask to 0 (in place).
void clearOutsideBody(int16_t* intensities, int width, int height);

// 8-bit picture of intensities in the window lo .. lo + 2 * trunc((hi - lo) / 2): below is 0,
// above is 255, inside trunc((I - lo) * 255 / (hi' - lo + 1)).
std::vector<uint8_t> windowedImage(const int16_t* intensities, std::size_t count, int lo, int hi);

}  // namespace morvex
