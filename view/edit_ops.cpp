#include "view/edit_ops.h"

#include <algorithm>
#include <cmath>

#include "segmentation/mask_utils.h"

namespace morvex {

namespace {

std::vector<int16_t> fill8(const uint8_t* src, float lo, float hi, ImagePoint seed, int w, int h, int16_t filled,
                           int16_t other) {
  std::vector<int16_t> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const int16_t sx = static_cast<int16_t>(seed.x), sy = static_cast<int16_t>(seed.y);
  seedFill(src, lo, hi, &sx, &sy, 1, w, h, out.data(), filled, other);
  return out;
}

std::vector<int16_t> fill16(const int16_t* src, float lo, float hi, ImagePoint seed, int w, int h, int16_t filled,
                            int16_t other) {
  std::vector<int16_t> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const int16_t sx = static_cast<int16_t>(seed.x), sy = static_cast<int16_t>(seed.y);
  seedFill(src, lo, hi, &sx, &sy, 1, w, h, out.data(), filled, other);
  return out;
}

// The mask with everything it encloses: the background is what zero pixels connect to the image
// border (seeded on every zero border pixel, so a mask touching the corner still has an outside).
std::vector<int16_t> withEnclosed(const std::vector<int16_t>& mask, int w, int h) {
  std::vector<int16_t> sx, sy;
  borderSeeds(w, h, sx, sy);
  std::vector<int16_t> out(mask.size());
  seedFill(mask.data(), 0.0f, 0.0f, sx.data(), sy.data(), static_cast<int>(sx.size()), w, h, out.data(), 0, 255);
  return out;
}

bool inside(const SliceEdit& s, ImagePoint p) { return p.x >= 0 && p.y >= 0 && p.x < s.width && p.y < s.height; }
std::size_t at(const SliceEdit& s, ImagePoint p) { return static_cast<std::size_t>(p.y) * s.width + p.x; }

// Marks the outline in a zeroed mask; true when some outline point comes a second time (a loop).
bool markLoop(const SliceEdit& s, const std::vector<ImagePoint>& outline, std::vector<int16_t>& mask) {
  mask.assign(s.size(), 0);
  bool loop = false;
  for (const ImagePoint& p : outline) {
    if (!inside(s, p)) continue;
    int16_t& m = mask[at(s, p)];
    if (m) loop = true;
    m = 255;
  }
  return loop;
}

// Sets a pixel per the target: the selection (or nothing) gets 255, a label target its value.
void addPixel(SliceEdit& s, std::size_t i, int targetLabel) {
  if (targetLabel > 0)
    s.labels[i] = static_cast<uint8_t>(targetLabel);
  else
    s.selection[i] = 255;
}

}  // namespace

void paintStroke(SliceEdit& s, const uint8_t* mask) {
  const bool label = s.isTableLabel(s.currentLabel);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * s.width + x;
      if (!mask[i] || !s.roi.contains(x, y)) continue;
      if (label)
        s.labels[i] = static_cast<uint8_t>(s.currentLabel);
      else
        s.selection[i] = 255;
    }
}

void eraseStroke(SliceEdit& s, const uint8_t* mask) {
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * s.width + x;
      if (!mask[i] || !s.roi.contains(x, y)) continue;
      s.labels[i] = 0;
      s.selection[i] = 0;
    }
}

std::vector<ImagePoint> strokeOutline(const std::vector<ImagePoint>& input) {
  // The pointer may report the same pixel twice in a row; that is not a loop.
  std::vector<ImagePoint> stroke;
  for (const ImagePoint& p : input)
    if (stroke.empty() || stroke.back().x != p.x || stroke.back().y != p.y) stroke.push_back(p);
  std::vector<ImagePoint> outline;
  std::vector<int> px, py;
  for (std::size_t i = 0; i + 1 < stroke.size(); ++i) {
    outline.push_back(stroke[i]);
    const ImagePoint a = stroke[i], b = stroke[i + 1];
    // every interior point of the segment, however long the pointer's jump was
    const std::size_t room = static_cast<std::size_t>(std::max(std::abs(b.x - a.x), std::abs(b.y - a.y))) + 1;
    px.resize(room);
    py.resize(room);
    int count = 0;
    getLinePoints(a.x, a.y, b.x, b.y, px.data(), py.data(), &count);
    for (int k = 0; k < count; ++k) outline.push_back({px[k], py[k]});
  }
  return outline;
}

std::vector<uint8_t> rasteriseBrush(const std::vector<ImagePoint>& stroke, int width, int height, int penWidth) {
  std::vector<uint8_t> mask(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)), 0);
  if (stroke.empty() || mask.empty()) return mask;
  const int pen = std::max(penWidth, 1);
  const double r = pen / 2.0, r2 = r * r, offset = pen % 2 ? 0.5 : 0.0;
  auto capsule = [&](double ax, double ay, double bx, double by) {
    const int x0 = std::max(static_cast<int>(std::floor(std::min(ax, bx) - r)) - 1, 0);
    const int x1 = std::min(static_cast<int>(std::ceil(std::max(ax, bx) + r)) + 1, width - 1);
    const int y0 = std::max(static_cast<int>(std::floor(std::min(ay, by) - r)) - 1, 0);
    const int y1 = std::min(static_cast<int>(std::ceil(std::max(ay, by) + r)) + 1, height - 1);
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 0.5 - ax, py = y + 0.5 - ay;
        // distance from the pixel centre to the segment a..b
        const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
        const double ex = px - t * dx, ey = py - t * dy;
        if (ex * ex + ey * ey <= r2) mask[static_cast<std::size_t>(y) * width + x] = 1;
      }
  };
  if (stroke.size() == 1) {
    capsule(stroke[0].x + offset, stroke[0].y + offset, stroke[0].x + offset, stroke[0].y + offset);
    return mask;
  }
  for (std::size_t i = 0; i + 1 < stroke.size(); ++i)
    capsule(stroke[i].x + offset, stroke[i].y + offset, stroke[i + 1].x + offset, stroke[i + 1].y + offset);
  return mask;
}

bool refineSlice(SliceEdit& s, const std::vector<ImagePoint>& stroke, int nOption) {
  if (!s.valid()) return false;
  const int w = s.width, h = s.height;
  const std::vector<ImagePoint> outline = strokeOutline(stroke);

  // 1. target: the selection, a label value, or nothing
  enum class Target { Nothing, Selection, Label } target = Target::Nothing;
  int v = 0;
  ImagePoint decider;
  for (const ImagePoint& p : outline) {
    if (!inside(s, p)) continue;
    const std::size_t i = at(s, p);
    if (s.selection[i]) {
      target = Target::Selection;
    } else if (s.currentLabel != kSelectionLabel && s.labels[i]) {
      target = Target::Label;
      v = s.labels[i];
    } else {
      continue;
    }
    decider = p;
    break;
  }
  const int targetLabel = target == Target::Label ? v : 0;

  // 2. object mask A
  std::vector<int16_t> A;
  bool changed = false;
  if (target == Target::Selection) {
    A = fill8(s.selection, 255, 255, decider, w, h, 255, 0);
  } else if (target == Target::Label) {
    A = fill8(s.labels, static_cast<float>(v), static_cast<float>(v), decider, w, h, 255, 0);
  } else {
    std::vector<int16_t> marks;
    if (!markLoop(s, outline, marks)) return false;  // 2b: nothing touched needs a loop
    A = withEnclosed(marks, w, h);
    for (const ImagePoint& p : outline)
      if (inside(s, p)) A[at(s, p)] = 0;
    if (nOption == 2) {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * w + x;
          if (A[i] <= 0 || !s.roi.contains(x, y)) continue;
          if (s.selection[i]) changed = true;
          s.selection[i] = 0;
          const bool any = s.currentLabel == 9999;
          if (s.labels[i] && (any || s.labels[i] == s.currentLabel)) {
            s.labels[i] = 0;
            changed = true;
          }
        }
    }
  }

  if (nOption == 1) {
    // 3. add: the area between the object and the line, then a loop drawn by the line
    const std::vector<int16_t> D = withEnclosed(A, w, h);
    std::vector<int16_t> Aprime = A;
    for (const ImagePoint& p : outline)
      if (inside(s, p)) Aprime[at(s, p)] = 255;
    std::vector<int16_t> B = withEnclosed(Aprime, w, h);
    for (std::size_t i = 0; i < B.size(); ++i)
      if (D[i] > 0) B[i] = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * w + x;
        if (B[i] > 0 && D[i] == 0 && s.roi.contains(x, y)) addPixel(s, i, targetLabel);
      }
    std::vector<int16_t> marks;
    if (markLoop(s, outline, marks)) {
      B = withEnclosed(marks, w, h);
      for (const ImagePoint& p : outline) {
        if (!inside(s, p)) continue;
        int count = 0;
        for (int yy = p.y - 1; yy <= p.y + 1; ++yy)
          for (int xx = p.x - 1; xx <= p.x + 1; ++xx)
            if (xx >= 0 && yy >= 0 && xx < w && yy < h && B[static_cast<std::size_t>(yy) * w + xx] > 0) ++count;
        if (count <= 5) B[at(s, p)] = 0;  // tails sticking out of the loop
      }
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * w + x;
          if (B[i] > 0 && s.roi.contains(x, y)) addPixel(s, i, targetLabel);
        }
    }
    changed = true;
  } else if (nOption == 2) {
    // 4. cut: the line splits A; every piece but the largest goes
    for (std::size_t k = 0; k + 1 < outline.size(); ++k)
      if (inside(s, outline[k])) A[at(s, outline[k])] = 0;
    std::vector<int16_t> F = A;
    struct Piece {
      ImagePoint seed;
      long count;
    };
    std::vector<Piece> pieces;
    if (target != Target::Nothing) {
      for (std::size_t i = 0; i < F.size(); ++i) {
        if (F[i] <= 0) continue;
        const bool member = target == Target::Label ? s.labels[i] != 0 : s.selection[i] != 0;
        if (!member) continue;
        const ImagePoint seed{static_cast<int>(i % w), static_cast<int>(i / w)};
        const std::vector<int16_t> piece = fill16(F.data(), 255, 255, seed, w, h, 255, 0);
        long count = 0;
        for (std::size_t j = 0; j < piece.size(); ++j)
          if (piece[j] > 0) {
            ++count;
            F[j] = 0;
          }
        pieces.push_back({seed, count});
      }
    }
    if (pieces.size() >= 2) {
      const Piece* largest = &pieces[0];
      for (const Piece& p : pieces)
        if (p.count > largest->count) largest = &p;
      const std::vector<int16_t> keep = fill16(A.data(), 255, 255, largest->seed, w, h, 255, 0);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * w + x;
          if (A[i] <= 0 || keep[i] > 0 || !s.roi.contains(x, y)) continue;
          if (target == Target::Label)
            s.labels[i] = 0;
          else
            s.selection[i] = 0;
        }
      changed = true;
    }
  } else {
    changed = true;  // other options run the common end only
  }
  if (!changed) return false;
  // A cut loop in empty tissue only removes what it encloses: committing the rest of the working
  // selection to the liver there would label pixels the user never meant to touch.
  if (nOption == 2 && target == Target::Nothing) return true;
  // the working selection is committed to the liver label
  for (std::size_t i = 0; i < s.size(); ++i)
    if (s.selection[i]) {
      s.labels[i] = kLiver;
      s.selection[i] = 0;
    }
  return true;
}

bool growRegion(SliceEdit& s, ImagePoint seed, int nToolMode, bool ctrlHeld) {
  if (!s.valid() || !inside(s, seed)) return nToolMode != 3;
  const std::size_t si = at(s, seed);
  if (nToolMode == 3) {
    const uint8_t v = s.labels[si];
    if (v == 0) return false;
    const std::vector<int16_t> piece = fill8(s.labels, v, v, seed, s.width, s.height, 255, 0);
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s.labels[i] == v) s.labels[i] = 0;
      if (piece[i] > 0) s.labels[i] = v;
    }
    return true;
  }
  if (nToolMode != 1) return true;
  const bool isLabel = s.isTableLabel(s.currentLabel);
  const bool labelledSeed = isLabel && s.labels[si] != 0;
  const int v = labelledSeed ? s.labels[si] : isLabel ? s.currentLabel : s.intensities[si];
  if (!ctrlHeld) std::fill(s.selection, s.selection + s.size(), 0);
  if (!s.roi.contains(seed.x, seed.y)) return true;
  std::vector<int16_t> region;
  if (labelledSeed) {
    region = fill8(s.labels, static_cast<float>(v), static_cast<float>(v), seed, s.width, s.height, 255, 0);
  } else {
    // the window centres on the clicked intensity (CT values at or below 0 included)
    const int f = s.intensities[si];
    region = fill16(s.intensities, static_cast<float>(f - 10), static_cast<float>(f + 10), seed, s.width, s.height,
                    255, 0);
  }
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * s.width + x;
      if (region[i] <= 0 || !s.roi.contains(x, y)) continue;
      if (isLabel)
        s.labels[i] = static_cast<uint8_t>(s.currentLabel);
      else
        s.selection[i] = 255;
    }
  return true;
}

bool deleteObjectAt(SliceEdit& s, ImagePoint p) {
  if (!s.valid() || !inside(s, p) || s.labels[at(s, p)] == 0 || !s.table) return false;
  const int liver = s.table->getLabelIdx("Liver"), vessel = s.table->getLabelIdx("Vessel");
  const int liverL = s.table->getLabelIdx("Liver(Left)"), vesselL = s.table->getLabelIdx("Vessel(Left)");
  const int liverR = s.table->getLabelIdx("Liver(Right)"), vesselR = s.table->getLabelIdx("Vessel(Right)");
  auto group = [&](int label) {
    if (label == liver || label == vessel) return liver;
    if (label == liverL || label == vesselL) return liverL;
    if (label == liverR || label == vesselR) return liverR;
    return 0;
  };
  std::vector<uint8_t> mask(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) mask[i] = static_cast<uint8_t>(std::max(group(s.labels[i]), 0));
  const int clicked = s.labels[at(s, p)];
  const int g = group(clicked);
  const int v = g != 0 ? g : clicked;  // a label outside the groups is not in the mask: nothing goes
  const std::vector<int16_t> part = fill8(mask.data(), static_cast<float>(v), static_cast<float>(v), p, s.width,
                                          s.height, 255, 0);
  for (std::size_t i = 0; i < s.size(); ++i)
    if (part[i] > 0) s.labels[i] = 0;
  return true;
}

void commitSelection(SliceEdit& s, int label) {
  for (std::size_t i = 0; i < s.size(); ++i)
    if (s.selection[i]) {
      s.labels[i] = static_cast<uint8_t>(label);
      s.selection[i] = 0;
    }
}

void commitFullSelection(SliceEdit& s, int label) {
  for (std::size_t i = 0; i < s.size(); ++i)
    if (s.selection[i] == 255) {
      s.labels[i] = static_cast<uint8_t>(label);
      s.selection[i] = 0;
    }
}

void selectionToVessel(SliceEdit& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s.selection[i] != 255) continue;
    uint8_t& l = s.labels[i];
    if (l != kLiver && l != kLiverLeft && l != kLiverRight) continue;
    l = l == kLiver ? kVessel : l == kLiverLeft ? kVesselLeft : kVesselRight;
    s.selection[i] = 0;
  }
}

void deleteSelectedOrLayer(SliceEdit& s) {
  const int k = s.currentLabel;
  const bool selected = k == 0 || k == 9999 || k == kSelectionLabel;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (selected ? s.selection[i] == 0 : s.labels[i] != k) continue;
    s.labels[i] = 0;
    s.selection[i] = 0;
  }
}

void moveObjectToLayer(SliceEdit& s, ImagePoint p, int nLayerIdx) {
  if (!s.valid() || !inside(s, p)) return;
  const std::size_t pi = at(s, p);
  const uint8_t label = s.labels[pi];
  if (nLayerIdx == -1) {
    if (s.selection[pi] == 0 && label != 0) {
      const std::vector<int16_t> obj = fill8(s.labels, label, label, p, s.width, s.height, 255, 0);
      for (std::size_t i = 0; i < s.size(); ++i)
        if (obj[i] > 0) s.labels[i] = 0;
    }
    if (s.selection[pi] != 0) {
      const std::vector<int16_t> obj = fill8(s.selection, 255, 255, p, s.width, s.height, 255, 0);
      for (std::size_t i = 0; i < s.size(); ++i)
        if (obj[i] > 0) s.selection[i] = 0;
    }
    return;
  }
  // The object: the selected region under the pointer, or the label region of labels 1..3; any
  // other label under the pointer gives an empty object.
  std::vector<uint8_t> mask(s.size(), 0);
  if (s.selection[pi] != 0)
    std::copy(s.selection, s.selection + s.size(), mask.begin());
  else if (label >= 1 && label <= 3)
    for (std::size_t i = 0; i < s.size(); ++i) mask[i] = s.labels[i] == label ? 255 : 0;
  const std::vector<int16_t> obj = fill8(mask.data(), 255, 255, p, s.width, s.height, 255, 0);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (obj[i] <= 0) continue;
    if (nLayerIdx >= 1 && nLayerIdx <= 3) {
      s.labels[i] = static_cast<uint8_t>(nLayerIdx);
      s.selection[i] = 0;
    } else if (nLayerIdx == kSelectionLabel) {
      s.labels[i] = 0;
      s.selection[i] = 255;
    }
  }
}

}  // namespace morvex
