#pragma once
// The PDF report from the command line: drawn offscreen, without a window.

#include <string>

namespace morvex::cli {

// Loads the series and its masks (and the plan file, when given; its active plan is reported),
// then writes the PDF report to out. Throws CliError naming the file that failed.
void writeReport(const std::string& series, const std::string& masks, const std::string& planFile,
                 const std::string& out, bool showIdentity);

}  // namespace morvex::cli
