// Reading a resection plan file's text, as a mask load reads the plans beside it: a refusal says
// why in one line and leaves the plans as they were; what loads writes back to the same plans, and
// its figures on a small labelled volume are made without fault.

#include <array>
#include <vector>

#include "planning/plan_json.h"
#include "study/label_table.h"

namespace {

// 12 x 9 pixels, 4 slices, unequal spacings: liver with a tumour on the middle slices.
const morvex::PlanVolume& smallVolume() {
  static std::array<std::vector<uint8_t>, 4> slices;
  static morvex::PlanVolume volume = [] {
    morvex::PlanVolume v;
    v.width = 12, v.height = 9, v.columnSpacing = 0.7, v.rowSpacing = 0.9, v.sliceSpacing = 2.5;
    for (std::size_t s = 0; s < slices.size(); ++s) {
      slices[s].assign(12 * 9, morvex::kLiver);
      if (s == 1 || s == 2) slices[s][4 * 12 + 5] = morvex::kCancer;
      v.slices.push_back(slices[s].data());
    }
    return v;
  }();
  return volume;
}

}  // namespace

// Qt makes some of its parser's and messages' state once, on first use, and keeps it: made here,
// before the runs whose leaks count.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  morvex::PlanSet set;
  set.plans.resize(2);
  set.plans[0].setKeyLine([] {
    morvex::DivisionLine l;
    l.append({0, 0}, 0, {0, 0});
    l.append({5, 8}, 1, {2, 4});
    return l;
  }());
  set.plans[1].kind = morvex::PlanKind::Plane;
  std::string error;
  for (const std::string& text : {morvex::planSetToJson(set), std::string("{"), std::string("[1]"), std::string("{\"a\": 1.5e3}"),
                                  morvex::planSetToJson(set).substr(0, 200)})
    morvex::planSetFromJson(text, set, error);
  for (const morvex::ResectionPlan& plan : set.plans) morvex::computePlanFigures(smallVolume(), plan);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  morvex::PlanSet set;
  set.plans.resize(1);
  set.plans[0].name = "kept";
  std::string error;
  if (!morvex::planSetFromJson(text, set, error)) {
    if (error.empty() || error.find('\n') != std::string::npos) __builtin_trap();
    if (set.plans.size() != 1 || set.plans[0].name != "kept") __builtin_trap();
    return 0;
  }
  // written and read again: the same text
  const std::string written = morvex::planSetToJson(set);
  morvex::PlanSet again;
  if (!morvex::planSetFromJson(written, again, error) || morvex::planSetToJson(again) != written) __builtin_trap();
  for (const morvex::ResectionPlan& plan : set.plans) {
    const morvex::PlanFigures f = morvex::computePlanFigures(smallVolume(), plan);
    if (f.remnantPercent < 0 || f.remnantPercent > 100 || f.resectedMl > f.totalMl) __builtin_trap();
  }
  return 0;
}
