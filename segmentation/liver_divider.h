#pragma once
// Division of the liver (label 1) and its vessels (label 2) into left and right parts along lines
// drawn on key slices. CLiverDivider holds the tool's state while it is active: the stroke being
// drawn, the key lines with their control points, the lines interpolated between two key slices
// and one division map per liver frame. Coordinates are image pixels of the frame the pointer is
// on. Division maps hold 1 on the side further to the image's left (the patient's right) and 2 on
// the other side, so that a stored map reads 1 = right part of the liver.

#include <cstdint>
#include <utility>
#include <vector>

namespace morvex {

class Study;

struct DivPoint {
  int x = 0, y = 0;
  bool operator==(const DivPoint& o) const { return x == o.x && y == o.y; }
  bool operator!=(const DivPoint& o) const { return !(*this == o); }
};

// A polyline p0 .. pn-1 of one frame. Segment i (from p[i-1] to p[i], i >= 1) is straight
// (types[i] == 0) or a quadratic curve through the control point controls[i] (types[i] == 1);
// types[0] and controls[0] belong to the first point and are not drawn.
struct DivisionLine {
  int frame = -1;
  std::vector<DivPoint> points;
  std::vector<int> types;
  std::vector<DivPoint> controls;

  void append(DivPoint p, int type, DivPoint control);
  void clear();
  int size() const { return static_cast<int>(points.size()); }
  // Vertices of the line with every curve flattened into short straight pieces (image pixels).
  std::vector<std::pair<double, double>> flattened() const;
  double length() const;
  // The point at fraction s (0 .. 1) of the flattened line's length.
  std::pair<double, double> pointAt(double s) const;
  // Runs the line the other way (points, types and control points).
  void reverse();
};

// Where the straight line through `toward` and `from`, continued beyond `from` away from
// `toward`, leaves a width x height image: a pixel on the border. `from` itself when the two
// points coincide.
DivPoint extendToBorder(DivPoint from, DivPoint toward, int width, int height);

// The key line made from a drawn stroke: a stroke of fewer than 3 points unchanged, a longer one
// resampled at max(1, floor(length / spacing)) equal steps from its first to its last point.
DivisionLine resampleStroke(const DivisionLine& stroke, int spacing);

// The line between two key lines running the same way, at t (0 = a, 1 = b): at least two points,
// evenly spaced from start to end of both lines (spacing apart, about), all straight segments.
DivisionLine interpolateLines(const DivisionLine& a, const DivisionLine& b, double t, int spacing);

// Runs b the way a runs: reversed when a's ends lie nearer to b's ends taken the other way round
// (the pairing the interpolation between two key lines needs).
void orientLike(const DivisionLine& a, DivisionLine& b);

// The cut a line of at least two points makes across a width x height image: the border pixel
// where its start's extension leaves the image, the line's vertices (clamped to the image, curves
// flattened), the border pixel of its end's extension. Empty when the line has fewer than two
// distinct points or the image is empty. divisionMapFromLine cuts along exactly this path.
std::vector<std::pair<double, double>> divisionCutPath(const DivisionLine& line, int width, int height);

// Division map (width x height, resized here) of a line of at least two points: the line is
// extended at both ends to the image border and cuts the image; 1 marks the side with the smaller
// mean x, 2 the other side (the line's own pixels included). False, map untouched, when the line
// has fewer than two distinct points or the image is empty.
bool divisionMapFromLine(const DivisionLine& line, int width, int height, std::vector<uint8_t>& map);

// Takes a division back: labels 4 / 5 become 1 and 6 / 7 become 2. nFrameIdx < 0 acts on every
// frame of series nGroupIdx, provided some frame of it holds a stored division; otherwise frame
// nFrameIdx alone, provided it holds one. Division maps and flags stay. Returns the frames changed.
std::vector<int> uniteDivision(Study& study, int nGroupIdx, int nFrameIdx);

class CLiverDivider {
 public:
  enum class Mode { Series, Interpolation, Single };
  enum class ReleaseResult { Nothing, Redraw, Apply };

  // The tool for series nGroupIdx; frames of another size than width x height are neither drawn
  // on nor divided. Stage becomes 1.
  CLiverDivider(Mode mode, int nGroupIdx, int width, int height);

  // Pointer handling on frame nFrameIdx (image coordinates). press grabs a point of a line
  // within handleRadius, else a line under the pointer, else (stages 1 and 2) extends the stroke.
  void press(const Study& study, int nFrameIdx, int x, int y);
  // Drags the grabbed element or (stages 1 and 2, left button held) extends the stroke. True when
  // something changed that the view should show.
  bool move(int nFrameIdx, int x, int y, bool leftHeld);
  // Ends a drag (the division is computed again), turns a stroke into a key line, or reports the
  // confirming click of stage 3 (Apply). A release outside the image only ends a drag.
  ReleaseResult release(const Study& study, int nFrameIdx, int x, int y, bool inside);
  // Stores the division maps into their frames (single mode: the key line's frame only) and
  // turns their liver and vessel labels into the left and right values. Returns those frames.
  std::vector<int> apply(Study& study) const;

  // Recomputes every division map from the key lines (and discards edited interpolated lines).
  void computeDivision(const Study& study);

  // --- state read by the view and the tests ----------------------------------------------
  int handleRadius = 3;
  int stage = 0;
  bool interpolate = false;
  bool single = false;
  int spacing = 50;
  bool draggingPoint = false;
  bool draggingLine = false;
  int dragTarget = 0;  // 0 the grabbed element belongs to a key line, 1 to an interpolated line
  int draggedLine = -1;

  Mode mode() const { return mode_; }
  int series() const { return series_; }
  int width() const { return width_; }
  int height() const { return height_; }
  const DivisionLine& stroke() const { return stroke_; }
  const std::vector<DivisionLine>& keyLines() const { return keyLines_; }
  const std::vector<DivisionLine>& interpolatedLines() const { return interpolatedLines_; }
  const DivisionLine* keyLineOf(int nFrameIdx) const;
  const DivisionLine* interpolatedLineOf(int nFrameIdx) const;
  // The frames that have a division map, ascending, and the map of one of them (null: none).
  const std::vector<int>& mapFrames() const { return mapFrames_; }
  const uint8_t* divisionMap(int nFrameIdx) const;

 private:
  bool usable(const Study& study, int nFrameIdx) const;
  bool grabPoint(std::vector<DivisionLine>& lines, int target, int nFrameIdx, int x, int y);
  bool grabLine(const std::vector<DivisionLine>& lines, int target, int nFrameIdx, int x, int y);
  DivisionLine* draggedLinePtr();
  void finishDrag(const Study& study);
  ReleaseResult finishStroke(const Study& study, int nFrameIdx);
  void setMap(int nFrameIdx, std::vector<uint8_t>&& map);

  Mode mode_;
  int series_;
  int width_, height_;
  int draggedPoint_ = -1;
  int lastX_ = 0, lastY_ = 0;
  DivisionLine stroke_;
  std::vector<DivisionLine> keyLines_;
  std::vector<DivisionLine> interpolatedLines_;
  std::vector<int> mapFrames_;
  std::vector<std::vector<uint8_t>> maps_;
};

}  // namespace morvex
