// Label surfaces: discrete flying edges on each label's bounding box, windowed-sinc smoothing,
// quadric decimation to a bounded size, point normals for lighting.

#include "view3d/label_surfaces.h"

#include "study/study.h"

#include <vtkDiscreteFlyingEdges3D.h>
#include <vtkFeatureEdges.h>
#include <vtkImageData.h>
#include <vtkMassProperties.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkQuadricDecimation.h>
#include <vtkSmartPointer.h>
#include <vtkWindowedSincPolyDataFilter.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace morvex::view3d {

void SliceStack::toWorld(double column, double row, double slice, double out[3]) const {
  out[0] = column * spacing[0];
  out[1] = row * spacing[1];
  out[2] = slice * spacing[2] * zSign;
}

int SliceStack::sliceAt(double z) const {
  return static_cast<int>(std::lround(z / (spacing[2] * zSign)));
}

SliceStack stackOfSeries(const Study& study, int nGroupIdx, const SliceStack* previous) {
  SliceStack stack;
  const int first = study.firstFrameOfSeries(nGroupIdx), last = study.lastFrameOfSeries(nGroupIdx);
  if (first < 0) return stack;
  const SliceHeader& h = study.frame(first)->header;
  stack.width = study.width(first);
  stack.height = study.height(first);
  const double ps = h.pixelSpacing > 0 ? h.pixelSpacing : 1.0;
  stack.spacing[0] = h.pixelSpacingColumn > 0 ? h.pixelSpacingColumn : ps;
  stack.spacing[1] = h.pixelSpacingRow > 0 ? h.pixelSpacingRow : ps;
  stack.spacing[2] = h.volumeDepth() > 0 ? h.volumeDepth() : ps;
  const SliceHeader& t = study.frame(last)->header;
  if (first != last && h.hasPosition && t.hasPosition) {
    const double* r = h.imageOrientation;
    const double* c = h.imageOrientation + 3;
    const double n[3] = {r[1] * c[2] - r[2] * c[1], r[2] * c[0] - r[0] * c[2], r[0] * c[1] - r[1] * c[0]};
    double along = 0;
    for (int i = 0; i < 3; ++i) along += (t.imagePosition[i] - h.imagePosition[i]) * n[i];
    stack.zSign = along > 0 ? 1 : -1;
  }
  const bool reuse = previous && previous->width == stack.width && previous->height == stack.height &&
                     previous->sliceCount() == last - first + 1;
  const size_t pixels = static_cast<size_t>(stack.width) * stack.height;
  std::shared_ptr<const std::vector<uint8_t>> empty;
  for (int f = first; f <= last; ++f) {
    const Frame* frame = study.frame(f);
    const uint8_t* labels = study.labelImage(f);
    const bool fits = frame && labels && study.width(f) == stack.width && study.height(f) == stack.height;
    const uint64_t revision = fits ? (frame->uid << 32) ^ frame->labelRevision : 0;
    const int k = f - first;
    if (reuse && previous->revisions[k] == revision && previous->slices[k]) {
      stack.slices.push_back(previous->slices[k]);
    } else if (!fits) {
      if (!empty) empty = std::make_shared<const std::vector<uint8_t>>(pixels, 0);
      stack.slices.push_back(empty);
    } else {
      stack.slices.push_back(std::make_shared<const std::vector<uint8_t>>(labels, labels + pixels));
    }
    stack.revisions.push_back(revision);
  }
  return stack;
}

namespace {

// Inclusive voxel bounds of one label.
struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, z0 = 1 << 30, x1 = -1, y1 = -1, z1 = -1;
  bool empty() const { return x1 < 0; }
};

bool sameGeometry(const SliceStack& a, const SliceStack& b) {
  return a.width == b.width && a.height == b.height && a.sliceCount() == b.sliceCount() && a.zSign == b.zSign &&
         std::equal(a.spacing, a.spacing + 3, b.spacing);
}

// Marks every label value present in a slice.
void markPresent(const std::vector<uint8_t>& s, std::array<bool, 256>& mark) {
  for (uint8_t v : s) mark[v] = true;
}

// Bounding boxes of the wanted labels over the stack, in one pass.
std::map<int, Box> boundingBoxes(const SliceStack& stack, const std::array<bool, 256>& wanted) {
  std::array<Box, 256> boxes;
  const int w = stack.width;
  for (int z = 0; z < stack.sliceCount(); ++z) {
    const uint8_t* p = stack.slices[z]->data();
    for (int y = 0; y < stack.height; ++y, p += w)
      for (int x = 0; x < w; ++x) {
        const uint8_t v = p[x];
        if (!v || !wanted[v]) continue;
        Box& b = boxes[v];
        b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
        b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
        b.z0 = std::min(b.z0, z), b.z1 = std::max(b.z1, z);
      }
  }
  std::map<int, Box> out;
  for (int v = 1; v < 256; ++v)
    if (wanted[v]) out[v] = boxes[v];
  return out;
}

// In-plane step of the surface grid: pixels much finer than the slice spacing are taken in
// blocks of step x step (a block is inside when more than half of it is), which cuts the triangles
// that smoothing and decimation must handle several times without coarsening the surface below
// the resolution the slices give along z.
int inPlaneStep(const SliceStack& stack) {
  const double finest = std::min(stack.spacing[0], stack.spacing[1]);
  return finest > 0 ? std::clamp(static_cast<int>(stack.spacing[2] / (2 * finest) + 0.5), 1, 4) : 1;
}

// The coarsest in-plane step a large surface may take: blocks no wider than the slice spacing.
int coarsestStep(const SliceStack& stack) {
  const double finest = std::min(stack.spacing[0], stack.spacing[1]);
  const int widest = finest > 0 ? static_cast<int>(stack.spacing[2] / finest) : 1;
  return std::clamp(widest, inPlaneStep(stack), 4);
}

// A 0/1 image of one label over its box (in blocks of step x step pixels) with one voxel of
// background all round (so the surface closes), slices ordered so that image z grows with world z.
vtkSmartPointer<vtkImageData> labelImage(const SliceStack& stack, int label, const Box& b, int step) {
  const int cols = (b.x1 - b.x0) / step + 1, rows = (b.y1 - b.y0) / step + 1;
  const int nx = cols + 2, ny = rows + 2, nz = b.z1 - b.z0 + 3;
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(nx, ny, nz);
  image->SetSpacing(stack.spacing[0] * step, stack.spacing[1] * step, stack.spacing[2]);
  const bool up = stack.zSign > 0;
  // image voxel (i, j) is the block whose first pixel is (x0 + (i - 1) step, y0 + (j - 1) step),
  // placed at the block's centre; image slice kk holds stack slice z0 - 1 + kk going up,
  // z1 + 1 - kk going down
  const double half = (step - 1) / 2.0;
  double origin[3];
  stack.toWorld(b.x0 - step + half, b.y0 - step + half, up ? b.z0 - 1 : b.z1 + 1, origin);
  image->SetOrigin(origin);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 1);
  auto* out = static_cast<uint8_t*>(image->GetScalarPointer());
  std::memset(out, 0, static_cast<size_t>(nx) * ny * nz);
  std::vector<int> counts(static_cast<size_t>(cols));
  for (int z = b.z0; z <= b.z1; ++z) {
    const int kk = up ? z - b.z0 + 1 : b.z1 + 1 - z;
    const uint8_t* src = stack.slices[z]->data();
    for (int j = 0; j < rows; ++j) {
      std::fill(counts.begin(), counts.end(), 0);
      for (int y = b.y0 + j * step; y < std::min(b.y0 + (j + 1) * step, stack.height); ++y) {
        const uint8_t* row = src + static_cast<size_t>(y) * stack.width;
        for (int x = b.x0; x <= std::min(b.x0 + cols * step - 1, stack.width - 1); ++x)
          counts[(x - b.x0) / step] += row[x] == label;
      }
      // a block half inside takes its first pixel's value, so that ties favour neither side
      const uint8_t* first = src + static_cast<size_t>(b.y0 + j * step) * stack.width + b.x0;
      uint8_t* dst = out + (static_cast<size_t>(kk) * ny + j + 1) * nx + 1;
      for (int i = 0; i < cols; ++i) dst[i] = 2 * counts[i] > step * step || (2 * counts[i] == step * step && first[i * step] == label);
    }
  }
  return image;
}

// The raw (unsmoothed) triangles of a 0/1 image's surface.
vtkSmartPointer<vtkPolyData> extractSurface(vtkImageData* image) {
  auto extract = vtkSmartPointer<vtkDiscreteFlyingEdges3D>::New();
  extract->SetInputData(image);
  extract->SetValue(0, 1);
  extract->ComputeNormalsOff();
  extract->ComputeGradientsOff();
  extract->ComputeScalarsOff();
  extract->Update();
  return extract->GetOutput();
}

// A label's mesh, starting on in-plane blocks of step pixels. A surface with more raw triangles
// than the bound is extracted again on coarser blocks (and smoothing then has fewer triangles to
// move) before decimation takes off what is left over (edge collapses cost about 10 us each);
// step returns the blocks taken.
vtkSmartPointer<vtkPolyData> buildSurface(const SliceStack& stack, int label, const Box& box, const SurfaceOptions& opt,
                                          int& step) {
  vtkSmartPointer<vtkPolyData> raw;
  for (;; ++step) {
    raw = extractSurface(labelImage(stack, label, box, step));
    if (opt.maxTriangles <= 0 || raw->GetNumberOfPolys() <= opt.maxTriangles || step >= coarsestStep(stack)) break;
  }

  auto smooth = vtkSmartPointer<vtkWindowedSincPolyDataFilter>::New();
  smooth->SetInputData(raw);
  smooth->SetNumberOfIterations(opt.smoothingIterations);
  smooth->SetPassBand(opt.passBand);
  smooth->BoundarySmoothingOff();
  smooth->FeatureEdgeSmoothingOff();
  smooth->NonManifoldSmoothingOn();
  smooth->NormalizeCoordinatesOn();
  smooth->Update();

  vtkSmartPointer<vtkPolyData> mesh = smooth->GetOutput();
  const vtkIdType triangles = mesh->GetNumberOfPolys();
  if (opt.maxTriangles > 0 && triangles > opt.maxTriangles) {
    auto decimate = vtkSmartPointer<vtkQuadricDecimation>::New();
    decimate->SetInputData(mesh);
    decimate->SetTargetReduction(1.0 - static_cast<double>(opt.maxTriangles) / static_cast<double>(triangles));
    decimate->VolumePreservationOn();
    decimate->Update();
    mesh = decimate->GetOutput();
  }

  auto normals = vtkSmartPointer<vtkPolyDataNormals>::New();
  normals->SetInputData(mesh);
  normals->SplittingOff();
  normals->ComputePointNormalsOn();
  normals->ComputeCellNormalsOff();
  normals->Update();
  // a mesh of its own, detached from the pipeline that made it
  auto result = vtkSmartPointer<vtkPolyData>::New();
  result->ShallowCopy(normals->GetOutput());
  return result;
}

}  // namespace

struct LabelSurfaces::Impl {
  SliceStack previous;
  std::map<int, vtkSmartPointer<vtkPolyData>> meshes;
  // The in-plane step each label's mesh took: an edit starts there rather than extracting a large
  // surface again on blocks already found too fine (a label keeps its step until it is emptied).
  std::map<int, int> steps;
};

LabelSurfaces::LabelSurfaces() : d_(std::make_unique<Impl>()) {}
LabelSurfaces::~LabelSurfaces() = default;

std::vector<int> LabelSurfaces::update(const SliceStack& stack, const SurfaceOptions& options) {
  std::array<bool, 256> changed{};
  const size_t pixels = static_cast<size_t>(std::max(stack.width, 0)) * std::max(stack.height, 0);
  for (const auto& s : stack.slices)
    if (!s || s->size() != pixels) return {};  // a malformed stack changes nothing
  const SliceStack& old = d_->previous;
  if (!sameGeometry(stack, old)) {
    d_->steps.clear();
    for (const auto& [label, mesh] : d_->meshes) changed[label] = true;
    for (const auto& s : stack.slices) markPresent(*s, changed);
  } else {
    for (int z = 0; z < stack.sliceCount(); ++z) {
      const auto& a = old.slices[z];
      const auto& b = stack.slices[z];
      if (a == b && old.revisions[z] == stack.revisions[z]) continue;
      const uint8_t* pa = a->data();
      const uint8_t* pb = b->data();
      for (size_t i = 0; i < pixels; ++i)
        if (pa[i] != pb[i]) changed[pa[i]] = changed[pb[i]] = true;
    }
  }
  changed[0] = false;
  d_->previous = stack;
  d_->previous.revisions.resize(stack.slices.size(), 0);

  std::vector<int> recomputed;
  for (const auto& [label, box] : boundingBoxes(stack, changed)) {
    recomputed.push_back(label);
    if (box.empty()) {
      d_->meshes.erase(label);
      d_->steps.erase(label);
      continue;
    }
    auto step = d_->steps.try_emplace(label, inPlaneStep(stack)).first;
    d_->meshes[label] = buildSurface(stack, label, box, options, step->second);
  }
  return recomputed;
}

std::vector<int> LabelSurfaces::labels() const {
  std::vector<int> out;
  for (const auto& [label, mesh] : d_->meshes) out.push_back(label);
  return out;
}

vtkPolyData* LabelSurfaces::surface(int label) const {
  auto it = d_->meshes.find(label);
  return it == d_->meshes.end() ? nullptr : it->second.Get();
}

double LabelSurfaces::enclosedVolume(int label) const {
  vtkPolyData* mesh = surface(label);
  if (!mesh) return 0;
  auto mass = vtkSmartPointer<vtkMassProperties>::New();
  mass->SetInputData(mesh);
  mass->Update();
  return mass->GetVolume();
}

long LabelSurfaces::triangleCount(int label) const {
  vtkPolyData* mesh = surface(label);
  return mesh ? static_cast<long>(mesh->GetNumberOfPolys()) : 0;
}

bool LabelSurfaces::bounds(int label, double box[6]) const {
  vtkPolyData* mesh = surface(label);
  if (mesh) mesh->GetBounds(box);
  return mesh != nullptr;
}

long LabelSurfaces::boundaryEdgeCount(int label) const {
  vtkPolyData* mesh = surface(label);
  if (!mesh) return 0;
  auto edges = vtkSmartPointer<vtkFeatureEdges>::New();
  edges->SetInputData(mesh);
  edges->BoundaryEdgesOn();
  edges->FeatureEdgesOff();
  edges->NonManifoldEdgesOff();
  edges->ManifoldEdgesOff();
  edges->Update();
  return static_cast<long>(edges->GetOutput()->GetNumberOfLines());
}

}  // namespace morvex::view3d
