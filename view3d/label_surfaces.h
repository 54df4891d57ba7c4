#pragma once
// Surfaces of a series' labels for the 3D view: one closed, smoothed triangle mesh per non-empty
// label, in millimetres. Needs no display; the meshes are built by VTK filters behind this header
// (which includes no VTK header, so code that includes it compiles without VTK's).

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class vtkPolyData;

namespace morvex {
class Study;
}

namespace morvex::view3d {

// One series' label images as the surfaces see them. Slice k lies at z = k * spacing[2] * zSign
// (zSign -1 when slice 0 is the head end, so x = columns, y = rows, z = slices stay right-handed).
struct SliceStack {
  int width = 0, height = 0;
  double spacing[3] = {1, 1, 1};  // mm between columns, rows and slices
  double zSign = -1;
  // width x height label values per slice, shared with the caller (never written here).
  std::vector<std::shared_ptr<const std::vector<uint8_t>>> slices;
  // A slice whose revision and buffer are the same as in the previous update is taken unchanged.
  std::vector<uint64_t> revisions;
  int sliceCount() const { return static_cast<int>(slices.size()); }
  // World position (mm) of voxel (column, row, slice) and back (rounded, unclamped).
  void toWorld(double column, double row, double slice, double out[3]) const;
  int sliceAt(double z) const;
};

// The label images of a series' frames (first to last), sharing the buffers of previous whose
// frame and label revision are unchanged, so that a poll after a one-slice edit copies one slice.
// Spacing from the first frame (row and column spacing, else the pixel spacing; the volume
// depth); zSign from the slice positions when they exist. Frames of another size read as empty.
SliceStack stackOfSeries(const Study& study, int nGroupIdx, const SliceStack* previous = nullptr);

struct SurfaceOptions {
  // Each label's mesh holds at most this many triangles: a larger surface is first taken on
  // coarser in-plane blocks (no wider than the slice spacing), then decimated (edge collapses keep
  // it closed; they cost about 10 us each). The bound keeps a software-rendered frame fast: the
  // liver of a 512 x 512 x 120 series at 0.7 x 0.7 x 2.5 mm takes blocks of 2.1 mm.
  int maxTriangles = 80000;
  int smoothingIterations = 15;  // windowed-sinc iterations
  double passBand = 0.05;        // windowed-sinc pass band (smaller smooths more)
};

// Keeps the meshes of the last update; each update recomputes only the labels whose voxels
// differ from the previous stack. Not thread-safe: one thread at a time (a worker) calls update;
// meshes handed out are never modified afterwards (a recomputed label gets a new mesh).
class LabelSurfaces {
 public:
  LabelSurfaces();
  ~LabelSurfaces();
  LabelSurfaces(const LabelSurfaces&) = delete;
  LabelSurfaces& operator=(const LabelSurfaces&) = delete;

  // Brings the meshes up to date with stack; returns the labels recomputed (a label that became
  // empty is dropped and counted as recomputed). A stack of another size or spacing recomputes all.
  std::vector<int> update(const SliceStack& stack, const SurfaceOptions& options = {});
  // Labels holding a mesh, ascending.
  std::vector<int> labels() const;
  // The mesh of a label (points with normals, triangles), null when it has none.
  vtkPolyData* surface(int label) const;
  // Figures of a label's mesh (0 when it has none): enclosed volume in mm^3, triangles, and edges
  // used by one triangle only (0 for a closed surface).
  double enclosedVolume(int label) const;
  long triangleCount(int label) const;
  long boundaryEdgeCount(int label) const;
  // The box of a label's mesh in mm (x0, x1, y0, y1, z0, z1); false when it has none.
  bool bounds(int label, double box[6]) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace morvex::view3d
