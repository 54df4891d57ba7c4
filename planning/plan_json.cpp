#include "planning/plan_json.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "export/atomic_file.h"

namespace morvex {

namespace {

constexpr const char* kFormat = "morvex-resection-plans";
constexpr int kVersion = 1;
constexpr int kMaxPlans = 1000, kMaxLines = 10000, kMaxPoints = 100000;
constexpr double kMaxCoordinate = 1e6;
constexpr qint64 kMaxFileBytes = 64 << 20;

QJsonArray pointArray(const std::vector<DivPoint>& points) {
  QJsonArray a;
  for (const DivPoint& p : points) a.append(QJsonArray{p.x, p.y});
  return a;
}

QJsonArray triple(const double* v) { return QJsonArray{v[0], v[1], v[2]}; }

// Thrown inside the reader with the reason; never leaves this file.
struct Bad {
  std::string why;
};

double number(const QJsonValue& v, const std::string& what, double lo = -kMaxCoordinate, double hi = kMaxCoordinate) {
  if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < lo || v.toDouble() > hi)
    throw Bad{what + " is not a number in range"};
  return v.toDouble();
}

int integer(const QJsonValue& v, const std::string& what, double lo = -kMaxCoordinate, double hi = kMaxCoordinate) {
  const double d = number(v, what, lo, hi);
  if (d != std::floor(d)) throw Bad{what + " is not a whole number"};
  return static_cast<int>(d);
}

QJsonArray array(const QJsonValue& v, const std::string& what, int maxSize) {
  if (!v.isArray() || v.toArray().size() > maxSize) throw Bad{what + " is not a list (of at most " + std::to_string(maxSize) + ")"};
  return v.toArray();
}

std::vector<DivPoint> points(const QJsonValue& v, const std::string& what) {
  std::vector<DivPoint> out;
  for (const QJsonValue& p : array(v, what, kMaxPoints)) {
    const QJsonArray xy = array(p, what + " point", 2);
    if (xy.size() != 2) throw Bad{what + " point is not [x, y]"};
    out.push_back({integer(xy[0], what + " x"), integer(xy[1], what + " y")});
  }
  return out;
}

void readTriple(const QJsonValue& v, const std::string& what, double* out) {
  const QJsonArray a = array(v, what, 3);
  if (a.size() != 3) throw Bad{what + " is not [x, y, z]"};
  for (int i = 0; i < 3; ++i) out[i] = number(a[i], what);
}

ResectionPlan readPlan(const QJsonObject& o, int index) {
  const std::string at = "plan " + std::to_string(index + 1);
  ResectionPlan p;
  if (!o.value("name").isString()) throw Bad{at + ": name is missing"};
  p.name = o.value("name").toString().toStdString();
  const QString kind = o.value("kind").toString();
  if (kind == "plane") {
    p.kind = PlanKind::Plane;
    readTriple(o.value("point"), at + ": point", p.planePoint);
    readTriple(o.value("normal"), at + ": normal", p.planeNormal);
  } else if (kind == "keylines") {
    p.kind = PlanKind::KeyLines;
    p.lineSpacing = o.contains("lineSpacing") ? integer(o.value("lineSpacing"), at + ": lineSpacing", 1, 10000) : 10;
    for (const QJsonValue& lv : array(o.value("keyLines"), at + ": keyLines", kMaxLines)) {
      const QJsonObject lo = lv.toObject();
      DivisionLine line;
      line.frame = integer(lo.value("slice"), at + ": key line slice", 0, kMaxCoordinate);
      line.points = points(lo.value("points"), at + ": key line");
      const std::size_t n = line.points.size();
      line.controls = lo.contains("controls") ? points(lo.value("controls"), at + ": key line controls") : line.points;
      line.types.assign(n, 0);
      if (lo.contains("types")) {
        const QJsonArray t = array(lo.value("types"), at + ": key line types", kMaxPoints);
        if (static_cast<std::size_t>(t.size()) != n) throw Bad{at + ": key line types do not match its points"};
        for (int i = 0; i < t.size(); ++i) line.types[static_cast<std::size_t>(i)] = integer(t[i], at + ": segment type", 0, 1);
      }
      if (line.controls.size() != n) throw Bad{at + ": key line controls do not match its points"};
      if (n < 2) throw Bad{at + ": a key line needs two points"};
      for (const DivisionLine& other : p.keyLines)
        if (other.frame == line.frame) throw Bad{at + ": two key lines on slice " + std::to_string(line.frame)};
      p.setKeyLine(std::move(line));
    }
  } else {
    throw Bad{at + ": kind is neither \"keylines\" nor \"plane\""};
  }
  if (o.contains("removeSide")) {
    const QJsonObject s = o.value("removeSide").toObject();
    p.hasSide = true;
    p.sideSlice = integer(s.value("slice"), at + ": side slice", 0, kMaxCoordinate);
    p.sideX = integer(s.value("x"), at + ": side x", 0, kMaxCoordinate);
    p.sideY = integer(s.value("y"), at + ": side y", 0, kMaxCoordinate);
  }
  return p;
}

}  // namespace

std::string planSetToJson(const PlanSet& set) {
  QJsonArray plans;
  for (const ResectionPlan& p : set.plans) {
    QJsonObject o{{"name", QString::fromStdString(p.name)}};
    if (p.kind == PlanKind::Plane) {
      o["kind"] = "plane";
      o["point"] = triple(p.planePoint);
      o["normal"] = triple(p.planeNormal);
    } else {
      o["kind"] = "keylines";
      o["lineSpacing"] = p.lineSpacing;
      QJsonArray lines;
      for (const DivisionLine& l : p.keyLines) {
        QJsonArray types;
        for (int t : l.types) types.append(t);
        lines.append(QJsonObject{{"slice", l.frame}, {"points", pointArray(l.points)}, {"types", types},
                                 {"controls", pointArray(l.controls)}});
      }
      o["keyLines"] = lines;
    }
    if (p.hasSide) o["removeSide"] = QJsonObject{{"slice", p.sideSlice}, {"x", p.sideX}, {"y", p.sideY}};
    plans.append(o);
  }
  const QJsonObject root{{"format", kFormat},
                         {"version", kVersion},
                         {"active", set.active},
                         {"remnantThresholdPercent", set.thresholds.remnantPercent},
                         {"marginThresholdMm", set.thresholds.marginMm},
                         {"plans", plans}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool planSetFromJson(const std::string& text, PlanSet& out, std::string& error) {
  QJsonParseError parseError{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
  if (doc.isNull()) {
    error = "not JSON (" + parseError.errorString().toStdString() + " at byte " + std::to_string(parseError.offset) + ")";
    return false;
  }
  if (!doc.isObject() || doc.object().value("format").toString() != kFormat) {
    error = "not a resection plan file";
    return false;
  }
  const QJsonObject root = doc.object();
  try {
    PlanSet set;
    const int version = integer(root.value("version"), "version", 1, 1000);
    if (version > kVersion) throw Bad{"written by a newer version (file version " + std::to_string(version) + ")"};
    if (root.contains("remnantThresholdPercent"))
      set.thresholds.remnantPercent = number(root.value("remnantThresholdPercent"), "remnant threshold", 0, 100);
    if (root.contains("marginThresholdMm"))
      set.thresholds.marginMm = number(root.value("marginThresholdMm"), "margin threshold", 0, 1000);
    const QJsonArray plans = array(root.value("plans"), "plans", kMaxPlans);
    for (int i = 0; i < plans.size(); ++i) {
      if (!plans[i].isObject()) throw Bad{"plan " + std::to_string(i + 1) + " is not an object"};
      set.plans.push_back(readPlan(plans[i].toObject(), i));
    }
    set.active = root.contains("active") ? integer(root.value("active"), "active", -1, kMaxPlans) : -1;
    if (set.active >= static_cast<int>(set.plans.size())) throw Bad{"the active plan does not exist"};
    if (set.active < 0 && !set.plans.empty()) set.active = 0;
    out = std::move(set);
    return true;
  } catch (const Bad& b) {
    error = b.why;
    return false;
  }
}

std::string planFileBeside(const std::string& maskPath) {
  const std::size_t slash = maskPath.find_last_of('/');
  const std::size_t dot = maskPath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? maskPath.substr(0, dot) : maskPath) + ".plans.json";
}

bool savePlanFile(const std::string& path, const PlanSet& set, std::string& error) {
  if (writeFileAtomically(path, planSetToJson(set))) return true;
  error = path + ": the plans could not be written";
  return false;
}

bool loadPlanFile(const std::string& path, PlanSet& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be opened";
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxFileBytes) {
    error = path + ": too large for a plan file";
    return false;
  }
  in.seekg(0);
  std::ostringstream text;
  text << in.rdbuf();
  std::string why;
  if (planSetFromJson(text.str(), out, why)) return true;
  error = path + ": " + why;
  return false;
}

}  // namespace morvex
