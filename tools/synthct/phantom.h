#pragma once
// A deterministic synthetic abdominal CT phantom: air, a table, an elliptical body with a
// subcutaneous fat ring and muscle wall, spine and ribs, a lobed liver in the right upper abdomen
// with contrast-filled branching vessels and a hypodense tumour, a stomach with air and a kidney
// touching the liver, and Gaussian noise. Anatomy is defined in coordinates relative to the field
// of view and the series length, so smaller test series show the same organs.
// The hard preset (PhantomOptions::hard) adds what makes a liver hard to follow: a heart above the
// liver dome behind a thin diaphragm of similar density, a liver tongue reaching down into the
// visceral fat away from the body wall, hypodense lesions on the liver border and a portal-vein
// notch at the hilum. It also gives the liver a bumpy dome whose top slices show separate islands
// beside the heart, two large hypodense tumours (one deep in the right lobe, one reaching its
// capsule; each over 100 mL, lobulated), and a lower tip that breaks into pieces. The default
// preset is unchanged by it.

#include <cstdint>
#include <string>
#include <vector>

namespace morvex::synth {

// Nominal intensities (HU) before noise.
constexpr int kAirHU = -1000;
constexpr int kFatHU = -100;
constexpr int kVisceralFatHU = -90;
constexpr int kMuscleHU = 50;
constexpr int kLiverHU = 60;
constexpr int kVesselHU = 180;
constexpr int kTumourHU = 30;
constexpr int kKidneyHU = 150;
constexpr int kStomachWallHU = 40;
constexpr int kStomachContentHU = 15;
constexpr int kBoneHU = 700;
constexpr int kMarrowHU = 250;
constexpr int kTableHU = 200;
constexpr int kAortaHU = 180;
// Hard preset only.
constexpr int kHeartHU = 45;
constexpr int kDiaphragmHU = 50;
constexpr int kBorderLesionHU = 25;
constexpr int kPortalVeinHU = 170;
// Diaphragm thickness between the liver dome and the heart (mm, at the default field of view).
constexpr double kDiaphragmMm = 3.0;

// Ground-truth label values.
constexpr uint8_t kGtLiver = 1;
constexpr uint8_t kGtVessel = 2;
constexpr uint8_t kGtTumour = 3;

struct PhantomOptions {
  int size = 512;                 // columns = rows
  int slices = 120;
  double pixelSpacing = 0.7;      // mm between rows (the first Pixel Spacing value)
  double sliceThickness = 2.5;    // mm
  // Written geometry only (the anatomy stays the same): 0 keeps the defaults.
  double pixelSpacingColumn = 0;  // mm between columns; 0 = pixelSpacing
  double sliceStep = 0;           // mm between slice positions; 0 = sliceThickness
  int columns = 0;                // the written slices keep the first columns of each row; 0 = size
  double noiseSigma = 10.0;       // HU
  uint32_t seed = 1;
  std::string patientName = "SYNTH^LIVER";
  std::string patientId = "SYN0001";
  std::string seriesDate = "20260101";
  bool hard = false;              // the hard preset (see above)
};

struct PhantomSlice {
  int size = 0;
  std::vector<int16_t> hu;        // size x size, row-major
  std::vector<uint8_t> labels;    // 0 background, 1 liver, 2 vessel, 3 tumour
};

// Organs present at a pixel before noise, for tests that want to know what lies where.
enum class Tissue : uint8_t {
  Air, Table, SubcutaneousFat, Muscle, VisceralFat, Liver, Vessel, Tumour, Kidney, StomachWall,
  StomachContent, StomachAir, Bone, Marrow, Aorta, Canal,
  Heart, Diaphragm, PortalVein  // hard preset only
};

class Phantom {
 public:
  explicit Phantom(const PhantomOptions& options);
  const PhantomOptions& options() const { return opt_; }
  // Slice k (0 = top of the series); noise depends on the seed and k only.
  PhantomSlice slice(int k) const;
  // The tissue at pixel (x, y) of slice k, without noise.
  Tissue tissueAt(int k, int x, int y) const;

 private:
  struct Segment {
    double ax, ay, az, bx, by, bz, r;
  };
  void growVessels();
  double sliceZ(int k) const;
  bool insideLiver(double u, double v, double z) const;
  bool nearLiver(double u, double v, double z, double distance) const;
  Tissue classifyHard(double u, double v, double z, Tissue t) const;
  bool insideVessel(double u, double v, double w) const;
  Tissue classify(double u, double v, double z) const;

  PhantomOptions opt_;
  std::vector<Segment> vessels_;
  std::vector<Segment> lesions_;  // hard preset: spheres centred on the liver border (a = centre)
  // Hard preset: ellipsoids (centre a, radii b) of the dome's bumps, the tip's pieces and the
  // large tumours (the tumours' surfaces are lobulated).
  std::vector<Segment> domeBumps_, tipPieces_, largeTumours_;
  bool insideLargeTumour(double u, double v, double w) const;
};

int tissueHU(Tissue t);

}  // namespace morvex::synth
