#pragma once
// The liver segmentation engine of one run: a level-set refinement of the user's outline on the
// seed slice (seedRun) and the propagation of a slice's result to its neighbour (propagationRun).
// Parameters are plain fields; the driver (the main window) sets input, option and slice number,
// calls run and reads the mask. Diagnostic lines go to the log stream (standard output).

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace morvex {

class CLiverSegmenter {
 public:
  enum class RunKind { Seed, Propagation };
  // A reference too thin for core seeds but of at least this many pixels (a liver tip) is still
  // followed, by the confined growth alone.
  static constexpr long kMinTipPixels = 20;

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
  bool referenceIsTip() const;  // the reference holds at least kMinTipPixels pixels
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
  double pixelSpacing = 0.7;  // mm per pixel: the retry's confinement is given in millimetres
  bool followPieces = true;   // addIslands after every propagation run
  // What the last propagation run's nets said ("" when the first result was taken).
  const std::string& lastNets() const { return lastNets_; }
  // The pixels the last propagation run added as separate pieces.
  long lastIslandPixels() const { return lastIslands_; }
  // The seed liver's intensities (set by saveReference; count 0 before).
  double liverMedian() const { return liverMedian_; }
  double liverIqr() const { return liverIqr_; }
  long liverCount() const { return liverCount_; }

 private:
  void seedRun(std::vector<uint8_t>& result);
  void propagationRun(std::vector<uint8_t>& result);
  std::vector<int16_t> refine(const std::vector<int16_t>& region, const std::vector<int16_t>& edges);
  std::vector<int16_t> grownResult(const std::vector<int16_t>& region, std::vector<int16_t>& edges);
  std::vector<int16_t> confinedRetry(const std::vector<int16_t>& core, const std::vector<int16_t>& seedX,
                                     const std::vector<int16_t>& seedY, const std::vector<int16_t>& edges, int thr,
                                     const std::vector<int16_t>& allowed);
  // Pieces of the liver cut off in a slice from the region grown from the reference's core (the
  // dome's islands, the tip's pieces) that overlap the reference, each kept when it passes the
  // nets on its own.
  long addIslands(std::vector<int16_t>& result, const std::vector<int16_t>& reference,
                  const std::vector<int16_t>& nearReference);

  const int16_t* intensity_ = nullptr;
  uint8_t* mask_ = nullptr;
  uint8_t labelValue_ = 0;
  int width_ = 0, height_ = 0, pixelCount_ = 0;
  std::vector<float> phi;
  std::vector<int16_t> referenceMask, savedIntensity, savedMask;
  double liverMedian_ = 0, liverIqr_ = 0;  // the seed liver's intensities (saveReference)
  long liverCount_ = 0;
  std::string lastNets_;
  long lastIslands_ = 0;
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

// The region threshold of the propagation: floor(fT x 254) (177, 203, 152 for the options 0, 1, 2).
int regionThreshold(float fT);
// Homogeneity map (0..254): rescale to 0..255, ten steps of nonlinear diffusion, 5 x 5 Gaussian,
// local variation, sigmoid. Flat tissue gives values near 254, edges and texture values near 0.
std::vector<int16_t> homogeneityMap(const int16_t* intensity, int width, int height, int variationRadius,
                                    double sigmoidAlpha, double sigmoidBeta);
// Edge network (254 / 0): the pixels below thr reached from seeds found by column scans from the
// top and the bottom of every tenth column.
std::vector<int16_t> edgeNetwork(const std::vector<int16_t>& homogeneity, int width, int height, int thr);
// Growth from the core seeds through everything that is not edge network (and through the core
// regardless), holes filled (254 / 0).
std::vector<int16_t> growRegion(const std::vector<int16_t>& core, const std::vector<int16_t>& seedX,
                                const std::vector<int16_t>& seedY, const std::vector<int16_t>& edges, int thr,
                                int width, int height);
// Gap bridging with circles of the given radius, then a 3 x 3 closing with hole filling.
std::vector<int16_t> bridgeAndClose(const std::vector<int16_t>& region, int width, int height, int radius);

// The leak check of a result against the previous slice's result: far = boundary pixels of the
// result 7 or more steps from the reference's boundary; when far > 200, thin = pixels of both
// whose eight points at distance 13 all lie outside the result; when thin > 3 the leak (result
// outside the reference, opened and dilated) is removed from the result.
struct LeakCheck {
  long far = 0, thin = 0;
  bool failed() const { return thin >= 4; }
};
LeakCheck removeLeak(std::vector<int16_t>& result, const std::vector<int16_t>& reference, int width, int height);

// The nets that tell a propagated result which has stopped being liver.
// Growth guard: more than 150 % of the previous result. Outside net: more than half of the result
// lies outside the previous result dilated by the margin. Intensity net: the result's median
// intensity departs from the seed liver's median by more than half the seed liver's interquartile
// range (at least 5 HU).
enum class LiverNet { None, GrowthGuard, Outside, Intensity };
const char* liverNetName(LiverNet net);
struct IntensityProfile {
  double median = 0, iqr = 0;
  long count = 0;
};
IntensityProfile intensityProfile(const int16_t* intensity, const std::vector<int16_t>& region);
LiverNet checkNets(const std::vector<int16_t>& result, const std::vector<int16_t>& reference,
                   const std::vector<int16_t>& nearReference, const int16_t* intensity, const IntensityProfile& liver);
// The outline of a slice's liver mask (values 0 / nonzero, width x height) moved onto the liver's
// edge: the region's growth and refinement stop about a pixel short of it. Closed-in fat leaves
// the mask (kSnapFatBands). The pixels beside the
// mask (8-neighbours) whose 3 x 3 median intensity lies within the seed liver's median +- one IQR
// (at least kSnapMinBandHU) are added, as value; then the outline pixels whose median lies below
// that band (fat in part) are taken off. Returns the change in the mask's pixel count. A profile
// of count 0 or an empty mask changes nothing.
constexpr double kSnapMinBandHU = 10.0;
// Fat: a 3 x 3 median this many bands below the liver's. Fat inside the mask that joins the
// outside through fat alone (a notch the bridging closed) leaves the mask first.
constexpr double kSnapFatBands = 3.0;
long snapOutline(const int16_t* intensity, uint8_t* mask, int width, int height, uint8_t value,
                 double liverMedian, double liverIqr, long liverCount);
// The region dilated by r pixels (chessboard), 255 / 0.
std::vector<int16_t> dilateRegion(const std::vector<int16_t>& region, int width, int height, int r);

}  // namespace morvex
