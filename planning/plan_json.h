#pragma once
// Resection plans on disk: a small JSON file beside the series' mask TIFF, written atomically.
// Reading checks every field and refuses a malformed file with a reason, never half-loading it.

#include <string>

#include "planning/resection_plan.h"

namespace morvex {

// The JSON text of a plan set (UTF-8, indented).
std::string planSetToJson(const PlanSet& set);
// Parses text into out (replaced only on success). False with a one-line reason otherwise.
bool planSetFromJson(const std::string& text, PlanSet& out, std::string& error);

// "<mask file without its extension>.plans.json": the plan file of a series' mask TIFF.
std::string planFileBeside(const std::string& maskPath);
// Writes the file atomically; false with a reason naming the file.
bool savePlanFile(const std::string& path, const PlanSet& set, std::string& error);
// Reads and parses the file; false with a reason naming the file (a missing file included).
bool loadPlanFile(const std::string& path, PlanSet& out, std::string& error);

}  // namespace morvex
