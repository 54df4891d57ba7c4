#pragma once
// Building blocks of the liver segmentation: the 8-point sequential signed Euclidean distance
// transform, the Canny edge detector, the edge-stopping function, and one narrow-band geodesic
// active-contour step with its re-initialisation towards a distance function.

#include <cstdint>
#include <vector>

namespace morvex {

// phi (width x height) = distance to the nearest inside pixel minus distance to the nearest outside
// pixel (negative inside); interior pixels only, border pixels 0. inside(i) tells the class.
void signedDistance(const uint8_t* inside, int width, int height, float* phi);

// Separable Gaussian smoothing (floor(6 sigma) taps made odd), normalised by the taps inside the image.
std::vector<float> gaussianSmooth(const int16_t* image, int width, int height, double sigma);

// Canny edges: smoothing, Sobel (truncated to 16 bits), |gx| + |gy|, four-direction non-maximum
// suppression, hysteresis from pixels above high through 8-adjacent survivors above low. out = 0/1.
void cannyEdges(const int16_t* image, uint8_t* out, int width, int height, int high, int low, double sigma);

// g = 1 / (1 + 0.01 |Sobel of the smoothed image|), times 1e-6 on Canny edges (sigma 3, 15 / 0).
std::vector<float> edgeStopImage(const int16_t* intensity, int width, int height);

// One evolution step over the narrow band |phi| <= band (4-pixel margin) from src into dst; pixels
// not updated are carried over. Speed: advection + 3 g kappa |grad| - 1 g |grad| (balloon).
void levelSetStep(const float* src, float* dst, const float* g, int width, int height, float timeStep, float band);
// One re-initialisation step towards |grad phi| = 1 (Godunov upwind), 10-pixel margin, carried over.
void reinitialiseStep(const float* src, float* dst, int width, int height, float timeStep);

}  // namespace morvex
