#pragma once
// The liver segmentation engine of one run: a level-set refinement of the user's outline on the
// seed slice (seedRun) and the propagation of a slice's result to its neighbour (propagationRun).
// Parameters are plain fields; the driver (the main window) sets input, option and slice number,
// calls run and reads the mask. Diagnostic lines go to the log stream (standard output).

#include <cstdint>
#include <cstdio>
#include <vector>

namespace morvex {

class CLiverSegmenter {
 public:
  enum class RunKind { Seed, Propagation };

  void setInput(const int16_t* intensity, uint8_t* mask, int width, int height, uint8_t labelValue);
  void setOption(int option);
  void setSliceNumber(int n) { sliceNumber = n; }
  // Performs a run into the mask: labelValue inside, 0 outside.
  void run(RunKind kind);
  // Mask = pixels with phi at or below the cut level (the option's shrinkLevel when an option is
  // set). True when at least 10 pixels were set. Logs phi's range.
  bool shrinkMask(int level);
  void allocateReference();
  void saveReference();
  void restoreReference();

  const std::vector<float>& phiImage() const { return phi; }
  const std::vector<int16_t>& reference() const { return referenceMask; }
  void setLog(std::FILE* stream) { log_ = stream; }

  // Parameters (defaults of the engine).
  float timeStep = 0.15f;
  int iterations = 50;
  float fT = 0.5f;
  int option = -1;
  int shrinkLevel = -7;
  int variationRadius = 7;
  double sigmoidAlpha = -0.5;
  double sigmoidBeta = 3.0;
  int refineSteps = 3;
  float refineTimeStep = 0.15f;
  float refineBand = 6.0f;
  int bridgeRadius = 10;
  int sliceNumber = -1;
  int runCount = 0;
  bool referenceChanged = false;

 private:
  void seedRun(std::vector<uint8_t>& result);
  void propagationRun(std::vector<uint8_t>& result);
  // Steps of the propagation run, on W x H 16-bit images.
  std::vector<int16_t> homogeneityMap() const;
  std::vector<int16_t> refine(const std::vector<int16_t>& region, const std::vector<int16_t>& edges);
  std::vector<int16_t> bridgeAndClose(const std::vector<int16_t>& region) const;

  const int16_t* intensity_ = nullptr;
  uint8_t* mask_ = nullptr;
  uint8_t labelValue_ = 0;
  int width_ = 0, height_ = 0, pixelCount_ = 0;
  std::vector<float> phi;
  std::vector<int16_t> referenceMask, savedIntensity, savedMask;
  std::FILE* log_ = stdout;
};

// Work images of the propagation, exposed for tests.
// Chessboard core of a reference: the seeds (row-major) and the core image (254 / 255 / 0).
void referenceCore(const std::vector<int16_t>& reference, int width, int height, std::vector<int16_t>& core,
                   std::vector<int16_t>& seedX, std::vector<int16_t>& seedY, int* depth);
// Fills the holes of a region: the background reached from the image border through values 0..hi
// becomes 0, everything else 254.
std::vector<int16_t> fillHoles(const std::vector<int16_t>& region, int hi, int width, int height);
// Local variation with radius r (mean of |opposite differences| along both axes), 0 near the border.
std::vector<double> localVariation(const std::vector<double>& image, int width, int height, int r);

}  // namespace morvex
