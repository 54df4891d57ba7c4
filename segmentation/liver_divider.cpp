#include "segmentation/liver_divider.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "segmentation/mask_utils.h"
#include "study/label_table.h"
#include "study/study.h"

namespace morvex {

namespace {

constexpr double kLinePickDistance = 1.5;  // half of the 3-pixel pen the lines are picked with
constexpr double kMinStrokeSpan = 10.0;    // a stroke ending closer to its start is cut back

double distance(double ax, double ay, double bx, double by) { return std::hypot(ax - bx, ay - by); }
double distance(DivPoint a, DivPoint b) { return distance(a.x, a.y, b.x, b.y); }

DivPoint rounded(double x, double y) {
  return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

DivPoint clamped(DivPoint p, int width, int height) {
  return {std::clamp(p.x, 0, width - 1), std::clamp(p.y, 0, height - 1)};
}

double segmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return distance(px, py, ax + t * dx, ay + t * dy);
}

// Marks the digital line from a to b, both ends included, on a width x height image.
void drawLine(DivPoint a, DivPoint b, int width, int height, uint8_t* image) {
  int x = a.x, y = a.y;
  const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
  const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    if (x >= 0 && y >= 0 && x < width && y < height) image[static_cast<std::size_t>(y) * width + x] = 255;
    if (x == b.x && y == b.y) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

// True when the frame's label image holds any nonzero value.
bool hasAnyLabel(const Study& study, int f) {
  const uint8_t* labels = study.labelImage(f);
  const std::size_t n = static_cast<std::size_t>(study.width(f)) * static_cast<std::size_t>(study.height(f));
  return labels && std::any_of(labels, labels + n, [](uint8_t v) { return v != 0; });
}

bool hasLabel(const Study& study, int f, uint8_t value) {
  const uint8_t* labels = study.labelImage(f);
  const std::size_t n = static_cast<std::size_t>(study.width(f)) * static_cast<std::size_t>(study.height(f));
  return labels && std::find(labels, labels + n, value) != labels + n;
}

}  // namespace

// --- lines ---------------------------------------------------------------------------------

void DivisionLine::append(DivPoint p, int type, DivPoint control) {
  points.push_back(p);
  types.push_back(type);
  controls.push_back(control);
}

void DivisionLine::clear() {
  points.clear();
  types.clear();
  controls.clear();
}

std::vector<std::pair<double, double>> DivisionLine::flattened() const {
  std::vector<std::pair<double, double>> v;
  if (points.empty()) return v;
  v.emplace_back(points[0].x, points[0].y);
  for (std::size_t i = 1; i < points.size(); ++i) {
    const DivPoint a = points[i - 1], b = points[i], c = controls[i];
    if (types[i] == 1 && c != b && c != a) {
      const int pieces = std::clamp(static_cast<int>(std::ceil((distance(a, c) + distance(c, b)) / 2.0)), 2, 64);
      for (int k = 1; k <= pieces; ++k) {
        const double t = static_cast<double>(k) / pieces, u = 1.0 - t;
        v.emplace_back(u * u * a.x + 2 * u * t * c.x + t * t * b.x, u * u * a.y + 2 * u * t * c.y + t * t * b.y);
      }
    } else {
      v.emplace_back(b.x, b.y);
    }
  }
  return v;
}

double DivisionLine::length() const {
  const auto v = flattened();
  double len = 0;
  for (std::size_t i = 1; i < v.size(); ++i) len += distance(v[i - 1].first, v[i - 1].second, v[i].first, v[i].second);
  return len;
}

std::pair<double, double> DivisionLine::pointAt(double s) const {
  const auto v = flattened();
  if (v.empty()) return {0.0, 0.0};
  double total = 0;
  for (std::size_t i = 1; i < v.size(); ++i) total += distance(v[i - 1].first, v[i - 1].second, v[i].first, v[i].second);
  double rest = std::clamp(s, 0.0, 1.0) * total;
  for (std::size_t i = 1; i < v.size(); ++i) {
    const double seg = distance(v[i - 1].first, v[i - 1].second, v[i].first, v[i].second);
    if (rest <= seg && seg > 0) {
      const double t = rest / seg;
      return {v[i - 1].first + t * (v[i].first - v[i - 1].first), v[i - 1].second + t * (v[i].second - v[i - 1].second)};
    }
    rest -= seg;
  }
  return v.back();
}

void DivisionLine::reverse() {
  const std::size_t n = points.size();
  if (n < 2) return;
  std::vector<int> t(n);
  std::vector<DivPoint> c(n);
  t[0] = types[0];
  c[0] = controls[0];
  // segment j of the reversed line is segment n - j of the original, run backwards
  for (std::size_t j = 1; j < n; ++j) {
    t[j] = types[n - j];
    c[j] = controls[n - j];
  }
  std::reverse(points.begin(), points.end());
  types = std::move(t);
  controls = std::move(c);
}

DivPoint extendToBorder(DivPoint from, DivPoint toward, int width, int height) {
  from = clamped(from, width, height);
  const double dx = from.x - toward.x, dy = from.y - toward.y;
  if (dx == 0 && dy == 0) return from;
  const double inf = std::numeric_limits<double>::infinity();
  const double tx = dx > 0 ? (width - 1 - from.x) / dx : dx < 0 ? from.x / -dx : inf;
  const double ty = dy > 0 ? (height - 1 - from.y) / dy : dy < 0 ? from.y / -dy : inf;
  const double t = std::min(tx, ty);
  return clamped(rounded(from.x + t * dx, from.y + t * dy), width, height);
}

DivisionLine resampleStroke(const DivisionLine& stroke, int spacing) {
  if (stroke.size() < 3) return stroke;
  DivisionLine out;
  out.frame = stroke.frame;
  const int n = std::max(1, static_cast<int>(std::floor(stroke.length() / std::max(spacing, 1))));
  for (int k = 0; k <= n; ++k) {
    const auto p = stroke.pointAt(static_cast<double>(k) / n);
    const DivPoint q = rounded(p.first, p.second);
    out.append(q, 0, q);
  }
  return out;
}

DivisionLine interpolateLines(const DivisionLine& a, const DivisionLine& b, double t, int spacing) {
  DivisionLine out;
  if (a.points.empty() || b.points.empty()) return out;
  const double len = t * b.length() + (1.0 - t) * a.length();
  const int n = std::max(2, static_cast<int>(std::floor(len / std::max(spacing, 1) + 1.0)));
  for (int i = 0; i < n; ++i) {
    // both ends are included, so the line spans the whole of its two key lines
    const double s = static_cast<double>(i) / (n - 1);
    const auto pa = a.pointAt(s), pb = b.pointAt(s);
    const DivPoint p = rounded((1.0 - t) * pa.first + t * pb.first, (1.0 - t) * pa.second + t * pb.second);
    out.append(p, 1, p);
  }
  return out;
}

void orientLike(const DivisionLine& a, DivisionLine& b) {
  if (a.points.empty() || b.points.empty()) return;
  const DivPoint as = a.points.front(), ae = a.points.back(), bs = b.points.front(), be = b.points.back();
  if (distance(ae, bs) + distance(as, be) < distance(ae, be) + distance(as, bs)) b.reverse();
}

std::vector<std::pair<double, double>> divisionCutPath(const DivisionLine& line, int width, int height) {
  const int n = line.size();
  if (n < 2 || width <= 0 || height <= 0) return {};
  DivisionLine l = line;
  for (DivPoint& p : l.points) p = clamped(p, width, height);
  for (DivPoint& c : l.controls) c = clamped(c, width, height);
  const std::vector<DivPoint>& p = l.points;

  // directions of the two extensions; a coincident reference point falls back to the nearest
  // distinct point of the line, so that the extension always leaves the image
  DivPoint q = n >= 5 ? p[4] : p[n - 1];
  for (int i = 1; q == p[0] && i < n; ++i) q = p[i];
  DivPoint r = p[0];
  if (n >= 7) {
    int sx = 0, sy = 0;
    for (int i = n - 7; i <= n - 2; ++i) {
      sx += p[i].x;
      sy += p[i].y;
    }
    r = {sx / 6, sy / 6};
  }
  for (int i = n - 2; r == p[n - 1] && i >= 0; --i) r = p[i];
  if (q == p[0] || r == p[n - 1]) return {};
  const DivPoint start = extendToBorder(p[0], q, width, height);
  const DivPoint end = extendToBorder(p[n - 1], r, width, height);
  std::vector<std::pair<double, double>> path{{start.x, start.y}};
  const auto v = l.flattened();
  path.insert(path.end(), v.begin(), v.end());
  path.emplace_back(end.x, end.y);
  return path;
}

bool divisionMapFromLine(const DivisionLine& line, int width, int height, std::vector<uint8_t>& map) {
  const auto path = divisionCutPath(line, width, height);
  if (path.empty()) return false;

  // the extended line, one pixel wide
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  // scratch kept per thread: the maps of many slices are made in a row (fresh pages cost more
  // than the fill itself)
  thread_local std::vector<uint8_t> lineImage;
  thread_local std::vector<int16_t> side;
  lineImage.assign(count, 0);
  for (std::size_t i = 1; i < path.size(); ++i)
    drawLine(rounded(path[i - 1].first, path[i - 1].second), rounded(path[i].first, path[i].second), width, height,
             lineImage.data());

  // side A: the 4-connected part reached from the first border pixel off the line (the top-left
  // corner unless the line runs through it)
  int16_t seedX = -1, seedY = -1;
  for (int k = 0; k < 2 * (width + height) && seedX < 0; ++k) {
    int x, y;
    if (k < width) { x = k; y = 0; }
    else if (k < 2 * width) { x = k - width; y = height - 1; }
    else if (k < 2 * width + height) { x = 0; y = k - 2 * width; }
    else { x = width - 1; y = k - 2 * width - height; }
    if (!lineImage[static_cast<std::size_t>(y) * width + x]) {
      seedX = static_cast<int16_t>(x);
      seedY = static_cast<int16_t>(y);
    }
  }
  if (seedX < 0) return false;
  side.resize(count);  // every pixel written by the fill
  seedFill(lineImage.data(), 0.0f, 0.0f, &seedX, &seedY, 1, width, height, side.data(), 1, 0);

  // the side further to the image's left gets 1 (integer sums: exact, and the loop vectorises)
  long long sumA = 0;
  std::size_t countA = 0;
  for (int y = 0; y < height; ++y) {
    const int16_t* row = side.data() + static_cast<std::size_t>(y) * width;
    int rowCount = 0;
    long long rowSum = 0;
    for (int x = 0; x < width; ++x) {
      const int in = row[x] != 0;
      rowCount += in;
      rowSum += in * x;
    }
    countA += static_cast<std::size_t>(rowCount);
    sumA += rowSum;
  }
  const long long sumB = static_cast<long long>(height) * width * (width - 1) / 2 - sumA;
  const std::size_t countB = count - countA;
  const double meanA = countA ? static_cast<double>(sumA) / countA : 0.0, meanB = countB ? static_cast<double>(sumB) / countB : 0.0;
  const uint8_t valueA = meanA <= meanB ? 1 : 2, valueB = valueA == 1 ? 2 : 1;
  map.resize(count);
  for (std::size_t i = 0; i < count; ++i) map[i] = side[i] ? valueA : valueB;
  return true;
}

std::vector<int> uniteDivision(Study& study, int nGroupIdx, int nFrameIdx) {
  std::vector<int> frames;
  if (nFrameIdx >= 0) {
    if (study.divisionDefined(nFrameIdx)) frames.push_back(nFrameIdx);
  } else {
    bool divided = false;
    for (int f = std::max(study.firstFrameOfSeries(nGroupIdx), 0); f <= study.lastFrameOfSeries(nGroupIdx); ++f) {
      if (study.seriesOfFrame(f) != nGroupIdx) continue;
      frames.push_back(f);
      divided = divided || study.divisionDefined(f);
    }
    if (!divided) frames.clear();
  }
  std::vector<int> changed;
  for (int f : frames) {
    // look before writing: a write through the label accessor counts as a change of the frame
    const uint8_t* current = static_cast<const Study&>(study).labelImage(f);
    const std::size_t n = static_cast<std::size_t>(study.width(f)) * static_cast<std::size_t>(study.height(f));
    if (!current || std::none_of(current, current + n, [](uint8_t v) { return v >= kLiverLeft && v <= kVesselRight; }))
      continue;
    uint8_t* labels = study.labelImage(f);
    for (std::size_t i = 0; i < n; ++i) {
      if (labels[i] == kLiverLeft || labels[i] == kLiverRight) labels[i] = kLiver;
      else if (labels[i] == kVesselLeft || labels[i] == kVesselRight) labels[i] = kVessel;
    }
    changed.push_back(f);
  }
  return changed;
}

// --- the tool ------------------------------------------------------------------------------

CLiverDivider::CLiverDivider(Mode mode, int nGroupIdx, int width, int height)
    : mode_(mode), series_(nGroupIdx), width_(width), height_(height) {
  interpolate = mode == Mode::Interpolation;
  single = mode == Mode::Single;
  stage = 1;
}

const DivisionLine* CLiverDivider::keyLineOf(int f) const {
  for (const DivisionLine& l : keyLines_)
    if (l.frame == f) return &l;
  return nullptr;
}

const DivisionLine* CLiverDivider::interpolatedLineOf(int f) const {
  for (const DivisionLine& l : interpolatedLines_)
    if (l.frame == f) return &l;
  return nullptr;
}

const uint8_t* CLiverDivider::divisionMap(int f) const {
  const auto it = std::lower_bound(mapFrames_.begin(), mapFrames_.end(), f);
  return it != mapFrames_.end() && *it == f ? maps_[it - mapFrames_.begin()].data() : nullptr;
}

bool CLiverDivider::usable(const Study& study, int f) const {
  return study.frame(f) && study.seriesOfFrame(f) == series_ && study.width(f) == width_ &&
         study.height(f) == height_ && study.labelImage(f);
}

bool CLiverDivider::grabPoint(std::vector<DivisionLine>& lines, int target, int f, int x, int y) {
  for (std::size_t li = 0; li < lines.size(); ++li) {
    if (lines[li].frame != f) continue;
    for (std::size_t pi = 0; pi < lines[li].points.size(); ++pi) {
      const DivPoint p = lines[li].points[pi];
      if (std::abs(p.x - x) <= handleRadius && std::abs(p.y - y) <= handleRadius) {
        draggingPoint = true;
        dragTarget = target;
        draggedLine = static_cast<int>(li);
        draggedPoint_ = static_cast<int>(pi);
        return true;
      }
    }
  }
  return false;
}

bool CLiverDivider::grabLine(const std::vector<DivisionLine>& lines, int target, int f, int x, int y) {
  for (std::size_t li = 0; li < lines.size(); ++li) {
    if (lines[li].frame != f) continue;
    const auto v = lines[li].flattened();
    bool hit = v.size() == 1 && distance(v[0].first, v[0].second, x, y) <= kLinePickDistance;
    for (std::size_t i = 1; i < v.size() && !hit; ++i)
      hit = segmentDistance(x, y, v[i - 1].first, v[i - 1].second, v[i].first, v[i].second) <= kLinePickDistance;
    if (hit) {
      draggingLine = true;
      dragTarget = target;
      draggedLine = static_cast<int>(li);
      return true;
    }
  }
  return false;
}

DivisionLine* CLiverDivider::draggedLinePtr() {
  std::vector<DivisionLine>& lines = dragTarget == 0 ? keyLines_ : interpolatedLines_;
  return draggedLine >= 0 && draggedLine < static_cast<int>(lines.size()) ? &lines[draggedLine] : nullptr;
}

void CLiverDivider::press(const Study& study, int f, int x, int y) {
  if (stage <= 0 || !usable(study, f) || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  lastX_ = x;
  lastY_ = y;
  if (grabPoint(keyLines_, 0, f, x, y) || grabPoint(interpolatedLines_, 1, f, x, y)) return;
  if (grabLine(keyLines_, 0, f, x, y) || grabLine(interpolatedLines_, 1, f, x, y)) return;
  if (stage != 1 && stage != 2) return;
  // a stroke belongs to one frame: a press on another frame starts afresh
  if (stroke_.frame != f) {
    stroke_.clear();
    stroke_.frame = f;
  }
  stroke_.append({x, y}, 0, {x, y});
}

bool CLiverDivider::move(int f, int x, int y, bool leftHeld) {
  if (stage <= 0 || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  bool changed = false;
  DivisionLine* line = draggedLinePtr();
  if (draggingPoint) {
    if (line && line->frame == f && draggedPoint_ >= 0 && draggedPoint_ < line->size()) {
      DivPoint& p = line->points[draggedPoint_];
      DivPoint& c = line->controls[draggedPoint_];
      c = clamped({c.x + x - p.x, c.y + y - p.y}, width_, height_);
      changed = p != DivPoint{x, y};
      p = {x, y};
    }
  } else if (draggingLine) {
    if (line && line->frame == f) {
      // the whole line moves, as far as it stays inside the image
      int dx = x - lastX_, dy = y - lastY_;
      for (const std::vector<DivPoint>* set : {&line->points, &line->controls})
        for (const DivPoint& p : *set) {
          dx = std::clamp(dx, -p.x, width_ - 1 - p.x);
          dy = std::clamp(dy, -p.y, height_ - 1 - p.y);
        }
      for (std::vector<DivPoint>* set : {&line->points, &line->controls})
        for (DivPoint& p : *set) p = {p.x + dx, p.y + dy};
      changed = dx != 0 || dy != 0;
    }
  } else if ((stage == 1 || stage == 2) && leftHeld && stroke_.frame == f && !stroke_.points.empty()) {
    if (stroke_.points.back() != DivPoint{x, y}) {
      stroke_.append({x, y}, 0, {x, y});
      changed = true;
    }
  }
  lastX_ = x;
  lastY_ = y;
  return changed;
}

CLiverDivider::ReleaseResult CLiverDivider::release(const Study& study, int f, int x, int y, bool inside) {
  if (draggingPoint || draggingLine) {
    finishDrag(study);
    return ReleaseResult::Redraw;
  }
  if (!inside || stage <= 0 || !usable(study, f) || x < 0 || y < 0 || x >= width_ || y >= height_)
    return ReleaseResult::Nothing;
  if ((stage == 1 || stage == 2) && !stroke_.points.empty()) return finishStroke(study, f);
  if (stage == 3) {
    const uint8_t* map = divisionMap(f);
    if (map && map[static_cast<std::size_t>(y) * width_ + x]) return ReleaseResult::Apply;
  }
  return ReleaseResult::Nothing;
}

void CLiverDivider::finishDrag(const Study& study) {
  DivisionLine* line = draggedLinePtr();
  if (dragTarget == 0) {
    computeDivision(study);
  } else if (line) {
    std::vector<uint8_t> map;
    if (divisionMapFromLine(*line, width_, height_, map)) setMap(line->frame, std::move(map));
  }
  draggingPoint = draggingLine = false;
  dragTarget = 0;
  draggedLine = -1;
  draggedPoint_ = -1;
}

CLiverDivider::ReleaseResult CLiverDivider::finishStroke(const Study& study, int f) {
  const std::size_t maxKeys = interpolate ? 2 : 1;
  if (keyLines_.size() >= maxKeys || stroke_.frame != f) return ReleaseResult::Nothing;
  if (distance(stroke_.points.front(), stroke_.points.back()) < kMinStrokeSpan) {
    // too short to be a line: keep the first point, a later press continues from it
    const DivPoint first = stroke_.points.front();
    stroke_.clear();
    stroke_.append(first, 0, first);
    return ReleaseResult::Redraw;
  }
  if (!hasAnyLabel(study, f) || keyLineOf(f)) {
    stroke_.clear();
    stroke_.frame = -1;
    return ReleaseResult::Redraw;
  }
  DivisionLine key = resampleStroke(stroke_, spacing);
  key.frame = f;
  keyLines_.push_back(std::move(key));
  stroke_.clear();
  stroke_.frame = -1;
  stage = 2;
  if (!(interpolate && keyLines_.size() == 1)) {
    computeDivision(study);
    stage = 3;
  }
  return ReleaseResult::Redraw;
}

void CLiverDivider::setMap(int f, std::vector<uint8_t>&& map) {
  const auto it = std::lower_bound(mapFrames_.begin(), mapFrames_.end(), f);
  const std::size_t at = it - mapFrames_.begin();
  if (it != mapFrames_.end() && *it == f) {
    maps_[at] = std::move(map);
  } else {
    mapFrames_.insert(it, f);
    maps_.insert(maps_.begin() + static_cast<std::ptrdiff_t>(at), std::move(map));
  }
}

void CLiverDivider::computeDivision(const Study& study) {
  mapFrames_.clear();
  maps_.clear();
  interpolatedLines_.clear();
  if (keyLines_.empty() || (interpolate && keyLines_.size() < 2)) return;
  std::vector<uint8_t> map;
  if (single) {
    const DivisionLine& key = keyLines_.front();
    if (usable(study, key.frame) && divisionMapFromLine(key, width_, height_, map)) setMap(key.frame, std::move(map));
    return;
  }
  std::vector<int> liverFrames;
  for (int f = std::max(study.firstFrameOfSeries(series_), 0); f <= study.lastFrameOfSeries(series_); ++f)
    if (usable(study, f) && hasLabel(study, f, kLiver)) liverFrames.push_back(f);
  if (liverFrames.empty()) return;

  if (!interpolate) {
    if (!divisionMapFromLine(keyLines_.front(), width_, height_, map)) return;
    for (int f : liverFrames) setMap(f, std::vector<uint8_t>(map));
    return;
  }
  std::sort(keyLines_.begin(), keyLines_.end(), [](const DivisionLine& a, const DivisionLine& b) { return a.frame < b.frame; });
  DivisionLine& a = keyLines_[0];
  DivisionLine& b = keyLines_[1];
  orientLike(a, b);
  std::vector<uint8_t> mapA, mapB;
  const bool okA = divisionMapFromLine(a, width_, height_, mapA);
  const bool okB = divisionMapFromLine(b, width_, height_, mapB);
  for (int f : liverFrames) {
    if (f <= a.frame) {
      if (okA) setMap(f, std::vector<uint8_t>(mapA));
    } else if (f >= b.frame) {
      if (okB) setMap(f, std::vector<uint8_t>(mapB));
    } else {
      // frame index steps between the key frames (the liver frames form one run)
      const double t = static_cast<double>(f - a.frame) / static_cast<double>(b.frame - a.frame);
      DivisionLine line = interpolateLines(a, b, t, spacing);
      line.frame = f;
      if (divisionMapFromLine(line, width_, height_, map)) setMap(f, std::move(map));
      interpolatedLines_.push_back(std::move(line));
    }
  }
}

std::vector<int> CLiverDivider::apply(Study& study) const {
  std::vector<int> done;
  const int only = single && !keyLines_.empty() ? keyLines_.front().frame : -1;
  for (std::size_t i = 0; i < mapFrames_.size(); ++i) {
    const int f = mapFrames_[i];
    if (only >= 0 && f != only) continue;
    if (!study.setDivisionImage(f, maps_[i].data(), width_, height_)) continue;
    study.applyDivision(f);
    done.push_back(f);
  }
  return done;
}

}  // namespace morvex
