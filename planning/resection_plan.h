#pragma once
// Resection plans and their figures. A plan is a value: a cut (key lines on a few slices of a
// series, interpolated between them as the liver division does, or a plane) and a point on the
// side to remove. Figures are pure functions of the labels, the plan and the spacing; nothing here
// writes a label.
//
// Coordinates: slices are positions within the series (0 = its first frame), pixels are columns
// (x) and rows (y) of the slice. Plane plans live in series millimetres: x = column x column
// spacing, y = row x row spacing, z = slice x slice distance, all measured from the centre of the
// first pixel of the first slice.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "segmentation/liver_divider.h"

namespace morvex {

class Study;

enum class PlanKind { KeyLines, Plane };

struct ResectionPlan {
  std::string name;
  PlanKind kind = PlanKind::KeyLines;
  // Key lines: DivisionLine::frame is the slice within the series; at most one line per slice.
  std::vector<DivisionLine> keyLines;
  int lineSpacing = 10;  // pixels between the points of an interpolated line
  // Plane: a point on it and its normal (need not be of unit length), series millimetres.
  double planePoint[3] = {0, 0, 0};
  double planeNormal[3] = {1, 0, 0};
  // The side to remove: the side holding this pixel. hasSide false: not chosen yet.
  bool hasSide = false;
  int sideSlice = 0, sideX = 0, sideY = 0;

  // Adds or replaces the key line of line.frame; keeps the lines ordered by slice.
  void setKeyLine(DivisionLine line);
  bool removeKeyLine(int slice);
};

struct PlanThresholds {
  double remnantPercent = 20.0;  // 20 normal liver, 30 after chemotherapy, 40 cirrhosis
  double marginMm = 10.0;
};

// Several named plans of one series and the thresholds the warnings use.
struct PlanSet {
  std::vector<ResectionPlan> plans;
  int active = -1;  // index into plans, -1 none
  PlanThresholds thresholds;
  const ResectionPlan* activePlan() const {
    return active >= 0 && active < static_cast<int>(plans.size()) ? &plans[static_cast<std::size_t>(active)] : nullptr;
  }
};

// Read-only view of a series' labels: one pointer per slice (null: no labels there, read as 0),
// all width x height, and the spacing in mm.
struct PlanVolume {
  int width = 0, height = 0;
  std::vector<const uint8_t*> slices;
  double columnSpacing = 1, rowSpacing = 1, sliceSpacing = 1;
  // Per slice, a number that changes whenever its labels change (empty: not known; then nothing
  // made of these labels is kept for later).
  std::vector<uint64_t> revisions;
  int sliceCount() const { return static_cast<int>(slices.size()); }
  uint8_t at(int slice, int x, int y) const {
    const uint8_t* s = slices[static_cast<std::size_t>(slice)];
    return s ? s[static_cast<std::size_t>(y) * width + x] : 0;
  }
};
// The series' frames in order; frames of another size than the first read as unlabelled. Spacing
// from the first frame (row / column spacing, else the first spacing value; the volume depth).
// Empty (no slices) when the series has no frame.
PlanVolume planVolumeOf(const Study& study, int nGroupIdx);

// A plane plan's plane through two voxel centres a and b (x, y, slice) that holds the direction of
// voxel axis viewAxis (0 columns, 1 rows, 2 slices): the cut that a line drawn in a view across
// that axis makes, perpendicular to the view (a sagittal view lies across 0, a coronal one across
// 1). The plan becomes a plane plan. False (plan unchanged) when the line has no length.
bool setPlaneThroughLine(ResectionPlan& plan, const PlanVolume& volume, const double a[3], const double b[3], int viewAxis);

// Where a plane plan's plane crosses the view across voxel axis viewAxis at position index: the
// segment's ends (u0, v0, u1, v1) in the view's other two voxel coordinates in axis order (x, y
// for slices; x, slice for rows; y, slice for columns), clipped to the volume's extent (pixel
// edges, centres at integers). False when the plan has no plane or it misses the view.
bool planeCrossing(const ResectionPlan& plan, const PlanVolume& volume, int viewAxis, double index, double out[4]);

// A key-line plan's line on a slice of a series of sliceCount slices, as its side maps cut along
// it (see sideMapsOf): the slice's own key line, or the one interpolated between the key lines
// around it, or the nearest end's. False when the plan is no key-line plan, has no usable key line,
// or the slice lies outside the series.
bool planKeyLineOf(const ResectionPlan& plan, int sliceCount, int slice, DivisionLine& out);
// Where a key-line plan's cut crosses the view across voxel axis viewAxis (0 columns, 1 rows) at
// position index, per slice of a series of sliceCount width x height slices: the view's in-plane
// coordinate (y across columns, x across rows) where the slice's cut, continued to the border as
// its side maps are cut, first meets that column or row; NaN where it does not. Empty when the plan
// has no usable key line.
std::vector<double> planKeyLineCrossings(const ResectionPlan& plan, int sliceCount, int width, int height, int viewAxis,
                                         double index);
// The side maps of a plan: per slice a width x height map holding 1 on one side of the cut and 2 on
// the other (0 where a slice has no map: no key line reaches it). For key lines the maps are those
// of the liver division (slices before the first key line take the first, after the last the last,
// between two the line interpolated between them). onlyWhereLabelled computes maps only on slices
// holding a nonzero label, and on the side slice. The maps are made on several threads.
struct SideMaps {
  std::vector<std::vector<uint8_t>> maps;
  uint8_t removed = 0;  // the value of the side to remove (0: the plan has no side chosen)
  const uint8_t* map(int slice) const {
    const auto& m = maps[static_cast<std::size_t>(slice)];
    return m.empty() ? nullptr : m.data();
  }
};
SideMaps sideMapsOf(const PlanVolume& volume, const ResectionPlan& plan, bool onlyWhereLabelled = true);

// Signed distance (mm) of the centre of pixel (x, y) of a slice from a plane plan's plane; > 0 on
// the side the normal points to.
double planeDistance(const ResectionPlan& plan, const PlanVolume& volume, int slice, double x, double y);

struct TumourFigures {
  int voxels = 0;
  double volumeMl = 0;
  int firstSlice = 0, lastSlice = 0;
  bool whollyResected = false;
  bool crossesCut = false;
  // Smallest distance (mm) from the tumour (its voxels taken as boxes) to the cut surface; 0 when
  // it crosses or touches the cut, negative when the cut does not pass through the liver.
  double marginMm = -1;
};

struct PlanFigures {
  bool valid = false;      // the plan cuts: a plane with a normal, or at least one usable key line
  bool sideChosen = false;
  double totalMl = 0;      // liver, vessels and tumour labels (1 .. 7)
  double tumourMl = 0;     // label 3
  double functionalMl = 0; // total minus tumour
  double resectedMl = 0;   // total on the removed side
  double remnantMl = 0;    // total on the kept side
  double remnantFunctionalMl = 0;  // the kept side without tumour
  double remnantPercent = 0;       // remnantFunctionalMl as % of functionalMl
  double resectedPercent = 0;      // the removed side without tumour as % of functionalMl
  std::vector<TumourFigures> tumours;  // in order of their first voxel (slice, row, column)
};

// What the figures need of the labels alone: the label counts, the tumours (3D components) and per
// slice of each tumour the in-plane distance to it. Moving a key line leaves all of it as it is:
// make it once per labels revision (PlanLabelCache) and give it to every figure computation of
// the same labels. Distances of tumours beyond the memory it may take are made when asked for.
struct PlanLabels;
std::shared_ptr<const PlanLabels> planLabelsOf(const PlanVolume& volume);

// The labels' summary of the last volume asked about, made again only when a slice's revision, the
// slices, the size or the spacing changed (a volume without revisions is never reused). Safe to
// use from several threads.
class PlanLabelCache {
 public:
  std::shared_ptr<const PlanLabels> of(const PlanVolume& volume);
  void clear();

 private:
  std::mutex mutex_;
  std::shared_ptr<const PlanLabels> last_;
};

// labels: the summary of these very labels (planLabelsOf / PlanLabelCache); null: made here.
PlanFigures computePlanFigures(const PlanVolume& volume, const ResectionPlan& plan, const PlanLabels* labels = nullptr);

// What a plan's figures warn of: a remnant below the threshold (value = remnant %), or a tumour
// (index into PlanFigures::tumours) closer to the cut than the margin threshold (value = mm).
struct PlanWarning {
  enum class Kind { SmallRemnant, CloseMargin };
  Kind kind = Kind::SmallRemnant;
  int tumour = -1;
  double value = 0, threshold = 0;
};
std::vector<PlanWarning> planWarnings(const PlanFigures& figures, const PlanThresholds& thresholds);

// Squared Euclidean distance (mm^2) of every voxel of a count x height x width volume to the
// nearest voxel whose mask is set; a large value where the volume holds none. Slice i is the
// width x height image at mask[i * width * height]. Spacings are those of columns, rows and slices.
std::vector<float> squaredDistanceToMask(const std::vector<uint8_t>& mask, int width, int height, int count,
                                         double columnSpacing, double rowSpacing, double sliceSpacing);

}  // namespace morvex
