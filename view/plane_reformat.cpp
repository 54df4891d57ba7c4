#include "view/plane_reformat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "segmentation/label_cleanup.h"

namespace morvex {

namespace {

double positiveOr(double v, double fallback) { return v > 0 ? v : fallback; }

// Distance between the first and last frame along the slice normal (the row and column directions'
// cross product; the line between the two positions when the directions are missing).
double stackExtent(const SliceHeader& first, const SliceHeader& last) {
  const double* r = first.imageOrientation;
  const double* c = first.imageOrientation + 3;
  double n[3] = {r[1] * c[2] - r[2] * c[1], r[2] * c[0] - r[0] * c[2], r[0] * c[1] - r[1] * c[0]};
  double d[3];
  for (int i = 0; i < 3; ++i) d[i] = last.imagePosition[i] - first.imagePosition[i];
  const double nn = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (nn < 1e-6) return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  return std::fabs((d[0] * n[0] + d[1] * n[1] + d[2] * n[2]) / nn);
}

}  // namespace

int PlaneStack::rowOf(int frame) const {
  const auto it = std::find(frames.begin(), frames.end(), frame);
  return it == frames.end() ? -1 : static_cast<int>(it - frames.begin());
}

PlaneStack collectPlaneStack(const Study& study, int referenceFrame) {
  PlaneStack st;
  const Frame* ref = study.frame(referenceFrame);
  if (!ref || !study.intensities(referenceFrame)) return st;
  const int series = study.seriesOfFrame(referenceFrame);
  st.width = study.width(referenceFrame);
  st.height = study.height(referenceFrame);
  for (int f = study.firstFrameOfSeries(series); f >= 0 && f <= study.lastFrameOfSeries(series); ++f)
    if (study.seriesOfFrame(f) == series && study.width(f) == st.width && study.height(f) == st.height &&
        study.intensities(f))
      st.frames.push_back(f);
  const SliceHeader& h = ref->header;
  st.columnSpacing = positiveOr(h.pixelSpacingColumn, positiveOr(h.pixelSpacing, 1.0));
  st.rowSpacing = positiveOr(h.pixelSpacingRow, positiveOr(h.pixelSpacing, 1.0));
  // without a known slice spacing the planes keep square pixels
  st.sliceSpacing = positiveOr(h.sliceThickness, (st.columnSpacing + st.rowSpacing) / 2);
  const SliceHeader& first = study.frame(st.frames.front())->header;
  const SliceHeader& last = study.frame(st.frames.back())->header;
  if (st.frames.size() > 1 && first.hasPosition && last.hasPosition) {
    const double extent = stackExtent(first, last);
    if (extent > 0) st.sliceSpacing = extent / static_cast<double>(st.frames.size() - 1);
    // the head at the top: patient z grows towards the head
    if (last.imagePosition[2] > first.imagePosition[2]) std::reverse(st.frames.begin(), st.frames.end());
  }
  return st;
}

PlaneSize planeSize(const PlaneStack& st, PlaneAxis axis) {
  PlaneSize s;
  if (st.empty()) return s;
  switch (axis) {
    case PlaneAxis::Coronal:
      s = {st.width, st.depth(), st.sliceSpacing / st.columnSpacing};
      break;
    case PlaneAxis::Sagittal:
      s = {st.height, st.depth(), st.sliceSpacing / st.rowSpacing};
      break;
    case PlaneAxis::Axial:
      s = {st.width, st.height, st.rowSpacing / st.columnSpacing};
      break;
  }
  return s;
}

int planeCount(const PlaneStack& st, PlaneAxis axis) {
  if (st.empty()) return 0;
  return axis == PlaneAxis::Coronal ? st.height : axis == PlaneAxis::Sagittal ? st.width : st.depth();
}

VoxelPoint planeToVoxel(PlaneAxis axis, int index, int u, int v) {
  switch (axis) {
    case PlaneAxis::Coronal: return {u, index, v};
    case PlaneAxis::Sagittal: return {index, u, v};
    case PlaneAxis::Axial: break;
  }
  return {u, v, index};
}

PlanePoint voxelToPlane(PlaneAxis axis, const VoxelPoint& p) {
  switch (axis) {
    case PlaneAxis::Coronal: return {p.x, p.row, p.y};
    case PlaneAxis::Sagittal: return {p.y, p.row, p.x};
    case PlaneAxis::Axial: break;
  }
  return {p.x, p.y, p.row};
}

namespace {

// One plane row (one frame) of a source image into dst: the frame's image row y (coronal), its
// column x (sagittal, strided) or the whole image (axial); zeros when the frame has no such image.
template <typename T>
void copyPlaneRow(const T* src, const PlaneStack& st, PlaneAxis axis, int index, T* dst) {
  const std::size_t w = static_cast<std::size_t>(st.width);
  const std::size_t n = axis == PlaneAxis::Coronal ? w : axis == PlaneAxis::Sagittal ? st.height : w * st.height;
  if (!src) {
    std::fill(dst, dst + n, T(0));
    return;
  }
  if (axis == PlaneAxis::Coronal) {
    std::memcpy(dst, src + static_cast<std::size_t>(index) * w, n * sizeof(T));
  } else if (axis == PlaneAxis::Sagittal) {
    const T* p = src + index;
    for (std::size_t y = 0; y < n; ++y, p += w) dst[y] = *p;
  } else {
    std::memcpy(dst, src, n * sizeof(T));
  }
}

}  // namespace

bool samplePlane(const Study& study, const PlaneStack& st, PlaneAxis axis, int index, int16_t* intensities,
                 uint8_t* labels, uint8_t* selection) {
  if (index < 0 || index >= planeCount(st, axis)) return false;
  const PlaneSize size = planeSize(st, axis);
  const std::size_t w = static_cast<std::size_t>(size.width);
  if (axis == PlaneAxis::Axial) {
    const int f = st.frames[static_cast<std::size_t>(index)];
    if (intensities) copyPlaneRow(study.intensities(f), st, axis, 0, intensities);
    if (labels) copyPlaneRow(study.labelImage(f), st, axis, 0, labels);
    if (selection) copyPlaneRow(study.selectionImage(f), st, axis, 0, selection);
    return true;
  }
  for (int r = 0; r < st.depth(); ++r) {
    const int f = st.frames[static_cast<std::size_t>(r)];
    const std::size_t at = static_cast<std::size_t>(r) * w;
    if (intensities) copyPlaneRow(study.intensities(f), st, axis, index, intensities + at);
    if (labels) copyPlaneRow(study.labelImage(f), st, axis, index, labels + at);
    if (selection) copyPlaneRow(study.selectionImage(f), st, axis, index, selection + at);
  }
  return true;
}

bool renderPlane(const Study& study, const PlaneStack& st, PlaneAxis axis, int index, int windowMin, int windowMax,
                 bool invert, const OverlaySettings& overlay, uint32_t* canvas) {
  const PlaneSize size = planeSize(st, axis);
  const std::size_t n = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
  if (!canvas || n == 0) return false;
  std::vector<int16_t> intensities(n);
  std::vector<uint8_t> labels(n), selection(n), grey(n);
  if (!samplePlane(study, st, axis, index, intensities.data(), labels.data(), selection.data())) return false;
  windowIntensities(intensities.data(), n, windowMin, windowMax, invert, grey.data());
  composeSlice(grey.data(), labels.data(), selection.data(), size.width, size.height, overlay, canvas);
  return true;
}

std::vector<uint8_t> rasteriseScaledBrush(const std::vector<ImagePoint>& stroke, int width, int height,
                                          double penWidth, double rowScale) {
  std::vector<uint8_t> mask(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)), 0);
  if (stroke.empty() || mask.empty() || !(rowScale > 0)) return mask;
  const double r = std::max(penWidth, 1.0) / 2.0, r2 = r * r, ry = r / rowScale;
  // distances are measured on the drawn picture: rows count rowScale columns
  auto capsule = [&](const ImagePoint& a, const ImagePoint& b) {
    const double ax = a.x + 0.5, ay = (a.y + 0.5) * rowScale, bx = b.x + 0.5, by = (b.y + 0.5) * rowScale;
    const int x0 = std::max(static_cast<int>(std::floor(std::min(a.x, b.x) - r)) - 1, 0);
    const int x1 = std::min(static_cast<int>(std::ceil(std::max(a.x, b.x) + r)) + 1, width - 1);
    const int y0 = std::max(static_cast<int>(std::floor(std::min(a.y, b.y) - ry)) - 1, 0);
    const int y1 = std::min(static_cast<int>(std::ceil(std::max(a.y, b.y) + ry)) + 1, height - 1);
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 0.5 - ax, py = (y + 0.5) * rowScale - ay;
        const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
        const double ex = px - t * dx, ey = py - t * dy;
        if (ex * ex + ey * ey <= r2) mask[static_cast<std::size_t>(y) * width + x] = 1;
      }
  };
  if (stroke.size() == 1) capsule(stroke[0], stroke[0]);
  for (std::size_t i = 0; i + 1 < stroke.size(); ++i) capsule(stroke[i], stroke[i + 1]);
  return mask;
}

bool preparePlaneEdit(const Study& study, const PlaneStack& st, PlaneAxis axis, int index, PlaneEditBuffers& b) {
  const PlaneSize size = planeSize(st, axis);
  const std::size_t n = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
  if (n == 0) return false;
  b.intensities.resize(n);
  b.labels.resize(n);
  b.selection.resize(n);
  if (!samplePlane(study, st, axis, index, b.intensities.data(), b.labels.data(), b.selection.data())) return false;
  b.labelsBefore = b.labels;
  b.selectionBefore = b.selection;
  return true;
}

std::vector<VoxelChange> commitPlaneEdit(Study& study, const PlaneStack& st, PlaneAxis axis, int index, const Roi& roi,
                                         PlaneEditBuffers& b, FrameRevisions* revisionsBefore) {
  const PlaneSize size = planeSize(st, axis);
  const std::size_t n = b.labels.size();
  // the edit tail's clean-up works pixel by pixel, so it may run on the plane
  reLabel(b.labels.data(), b.labelsBefore.data(), b.labels.data(), n);
  std::vector<VoxelChange> changes;
  for (int v = 0; v < size.height; ++v)
    for (int u = 0; u < size.width; ++u) {
      const std::size_t i = static_cast<std::size_t>(v) * size.width + u;
      if (b.labels[i] == b.labelsBefore[i] && b.selection[i] == b.selectionBefore[i]) continue;
      const VoxelPoint p = planeToVoxel(axis, index, u, v);
      if (!roi.contains(p.x, p.y)) continue;
      VoxelChange c;
      c.frame = st.frames[static_cast<std::size_t>(p.row)];
      c.pixel = static_cast<uint32_t>(static_cast<std::size_t>(p.y) * st.width + p.x);
      c.labelBefore = b.labelsBefore[i];
      c.labelAfter = b.labels[i];
      c.selectionBefore = b.selectionBefore[i];
      c.selectionAfter = b.selection[i];
      changes.push_back(c);
    }
  // each frame that changes is opened for writing once (its revision moves once)
  std::vector<VoxelChange> written;
  written.reserve(changes.size());
  int frame = -1;
  uint8_t *labels = nullptr, *selection = nullptr;
  for (const VoxelChange& c : changes) {
    if (c.frame != frame) {
      frame = c.frame;
      if (revisionsBefore && study.frame(frame)) revisionsBefore->emplace_back(frame, study.frame(frame)->revision);
      labels = study.labelImage(frame);
      selection = study.selectionImage(frame);
    }
    if (!labels || !selection) continue;  // a frame without label images keeps nothing
    labels[c.pixel] = c.labelAfter;
    selection[c.pixel] = c.selectionAfter;
    written.push_back(c);
  }
  return written;
}

}  // namespace morvex
