// morvex-cli: the workstation's volumetry, liver segmentation, fill between slices and mask conversion
// without a window.
// Exit status 0 on success, 1 when a command fails (one line on standard error naming the file and
// the reason), 2 for a malformed command line. Standard output carries only the document asked for
// (the volumes table, a help text); every log line goes to standard error.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include <opencv2/core.hpp>

#include "analysis/area_statistics.h"
#include "segmentation/liver_divider.h"
#include "segmentation/liver_driver.h"
#include "segmentation/slice_interpolation.h"
#include "study/label_table.h"
#include "tools/cli/cli_io.h"
#include "tools/cli/pacs_command.h"
#include "tools/cli/cli_report.h"
#include "view/slice_render.h"

namespace {

using morvex::cli::CliError;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Where the document goes: the standard output this process was started with. Whatever the
// libraries and the study print to standard output while the command runs lands on standard error.
std::FILE* document = stdout;

void keepStandardOutputForTheDocument() {
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  if (saved < 0) return;
  std::FILE* stream = ::fdopen(saved, "w");
  if (!stream) {
    ::close(saved);
    return;
  }
  if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    std::fclose(stream);
    return;
  }
  document = stream;
}

// A message as one line: line ends inside it become spaces.
std::string oneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

const char* const kMainHelp =
    "usage: morvex-cli COMMAND ...\n"
    "  volumes SERIES [--masks DIR|FILE] [--format csv|json]\n"
    "  segment-liver SERIES --seed MASK [--slice K] [--2d] [--option soft|default|hard] --out DIR [--nifti]\n"
    "  convert MASKS --series SERIES --to nifti|tiff|png|seg OUT\n"
    "  interpolate SERIES --masks M --label N --out DIR\n"
    "  pacs echo|find|get|store --node AET@HOST:PORT ...\n"
    "  report SERIES --masks M [--plan P] [--identity] --out report.pdf\n"
    "morvex-cli COMMAND --help describes a command.\n";

const std::map<std::string, const char*> kHelp = {
    {"volumes",
     "usage: morvex-cli volumes SERIES [--masks DIR|FILE] [--format csv|json]\n"
     "Loads the slices of SERIES (a folder of one series, or one slice file) and the masks (a folder\n"
     "of mask files, one mask file, a multi-page TIFF, a DICOM Segmentation or a .nii/.nii.gz volume), then prints per label\n"
     "the voxel count, the volume in mL and the intensity statistics (min, Q1, median, Q3, max, avg,\n"
     "std), followed by the volume readout of the slice views. Default format: csv.\n"},
    {"segment-liver",
     "usage: morvex-cli segment-liver SERIES --seed MASK [--slice K] [--2d] [--option soft|default|hard]\n"
     "                                --out DIR [--nifti]\n"
     "Runs the liver segmentation as the LiverSeg button does, from the liver outline (label 1) in\n"
     "MASK. --slice K (1 = first slice of the series) is the slice shown, which holds the outline in\n"
     "2D mode; by default the slice of the seed mask. Writes m_<slice>.png per slice and the series'\n"
     "multi-page TIFF into DIR, and with --nifti the .nii.gz volume too.\n"},
    {"convert",
     "usage: morvex-cli convert MASKS --series SERIES --to nifti|tiff|png|seg OUT\n"
     "Loads MASKS onto SERIES and writes them as one NIfTI volume (OUT ends in .nii or .nii.gz), one\n"
     "multi-page TIFF, one PNG per slice into the folder OUT, or one DICOM Segmentation (seg: a DICOM\n"
     "series with UIDs, one segment per label that occurs).\n"},
    {"interpolate",
     "usage: morvex-cli interpolate SERIES --masks M --label N --out DIR\n"
     "Fills between slices as the window's Fill between slices does: every slice of the masks M that\n"
     "holds label N is a key slice, and the slices between two key slices receive the shape\n"
     "interpolated between them, on unlabelled pixels only. Writes m_<slice>.png per slice into DIR.\n"},
    {"report",
     "usage: morvex-cli report SERIES --masks M [--plan P] [--identity] --out report.pdf\n"
     "Writes the PDF report of SERIES with the masks M: the volume table, the figures and warnings of\n"
     "the active plan of the plan file P (a .plans.json file), axial pictures at three levels. The\n"
     "patient's name and ID appear only with --identity. Volumes are text in mL.\n"},
};

// Command line of one command: positional arguments and --options (flags take no value).
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  bool has(const std::string& o) const { return options.count(o) > 0; }
  std::string get(const std::string& o, const std::string& fallback = {}) const {
    const auto it = options.find(o);
    return it == options.end() ? fallback : it->second;
  }
};

Args parse(int argc, char** argv, const std::vector<std::string>& valued, const std::vector<std::string>& flags) {
  Args a;
  for (int i = 2; i < argc; ++i) {
    const std::string s = argv[i];
    if (s.rfind("--", 0) != 0 || s == "--") {
      a.positional.push_back(s);
    } else if (std::find(flags.begin(), flags.end(), s) != flags.end()) {
      a.options[s] = "";
    } else if (std::find(valued.begin(), valued.end(), s) != valued.end()) {
      if (i + 1 >= argc) throw UsageError(s + " needs a value");
      a.options[s] = argv[++i];
    } else {
      throw UsageError("unknown option " + s);
    }
  }
  return a;
}

std::string format(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      out += format("\\u%04x", static_cast<unsigned char>(c));
      continue;
    }
    out += c;
  }
  return out + "\"";
}

int volumes(int argc, char** argv) {
  const Args a = parse(argc, argv, {"--masks", "--format"}, {});
  if (a.positional.size() != 1) throw UsageError("volumes takes one SERIES");
  const std::string fmt = a.get("--format", "csv");
  if (fmt != "csv" && fmt != "json") throw UsageError("--format is csv or json");
  morvex::Study study;
  morvex::cli::loadSeries(a.positional[0], study);
  if (a.has("--masks")) morvex::cli::loadMasks(a.get("--masks"), study);
  const morvex::LabelTable table = morvex::defaultLabelTable();
  morvex::AreaStatistics st(table.size());
  morvex::SeriesStatistics series;
  series.compute(study, 0, false, st);
  const morvex::SliceHeader& h = study.frame(study.firstFrameOfSeries(0))->header;
  const double voxelMl = h.voxelVolumeMl();  // row spacing x column spacing x slice distance
  const morvex::VolumeReadout r = morvex::computeVolumeReadout(voxelMl, &st);
  const std::pair<const char*, float> readout[] = {
      {"Liver", r.liver}, {"Liver-Vessel", r.liverWithoutVessel}, {"Right", r.right}, {"Right-Vessel", r.rightWithoutVessel},
      {"Left", r.left},   {"Left-Vessel", r.leftWithoutVessel},   {"LeftLiver Rate", r.leftRate},
      {"Whole liver", r.wholeLiver}};  // liver, vessels and tumours, beside the slice views' rows
  std::string out;
  const bool csv = fmt == "csv";
  out += csv ? "label,name,voxels,volume_ml,min,q1,median,q3,max,avg,std\n" : "{\n  \"labels\": [\n";
  const std::vector<morvex::LabelInfo>& labels = table.labels();
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const morvex::LabelInfo& l = labels[i];
    const int e = l.value;
    const double voxels = st.pixelCnt(e);
    // one voxel has no sample deviation: "nan" in CSV, null in JSON
    const std::string deviation =
        std::isfinite(st.std(e)) ? format("%.2f", st.std(e)) : (csv ? std::string("nan") : std::string("null"));
    const std::vector<std::pair<const char*, std::string>> cells = {
        {"label", std::to_string(e)}, {"name", csv ? l.name : jsonString(l.name)},
        {"voxels", format("%.0f", voxels)}, {"volume_ml", format("%.3f", voxels * voxelMl)},
        {"min", format("%.0f", st.min(e))}, {"q1", format("%.1f", st.q1(e))}, {"median", format("%.1f", st.median(e))},
        {"q3", format("%.1f", st.q3(e))}, {"max", format("%.0f", st.max(e))}, {"avg", format("%.2f", st.average(e))},
        {"std", deviation}};
    out += csv ? "" : "    {";
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (c) out += csv ? "," : ", ";
      out += csv ? cells[c].second : "\"" + std::string(cells[c].first) + "\": " + cells[c].second;
    }
    out += csv ? "\n" : (i + 1 < labels.size() ? "},\n" : "}\n");
  }
  out += csv ? "\nreadout,value\n" : "  ],\n  \"readout\": {";
  for (std::size_t i = 0; i < std::size(readout); ++i) {
    const std::string value = format("%.1f", readout[i].second);
    out += csv ? std::string(readout[i].first) + "," + value + "\n"
               : std::string(i ? ", " : "") + jsonString(readout[i].first) + ": " + value;
  }
  out += csv ? "" : "}\n}\n";
  if (std::fputs(out.c_str(), document) < 0 || std::fflush(document) != 0)
    throw CliError("standard output: the table could not be written");
  return 0;
}

int engineOption(const std::string& option) {
  if (option == "default") return 0;
  if (option == "hard") return 1;
  if (option == "soft") return 2;
  throw UsageError("--option is soft, default or hard");
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

int segmentLiverCommand(int argc, char** argv) {
  const Args a = parse(argc, argv, {"--seed", "--slice", "--option", "--out"}, {"--2d", "--nifti"});
  if (a.positional.size() != 1 || !a.has("--seed") || !a.has("--out"))
    throw UsageError("segment-liver takes one SERIES, --seed MASK and --out DIR");
  morvex::LiverRunOptions options;
  options.threeD = !a.has("--2d");
  options.engineOption = engineOption(a.get("--option", "default"));
  const std::string sliceText = a.get("--slice", "1");
  char* end = nullptr;
  const long slice = std::strtol(sliceText.c_str(), &end, 10);
  if (sliceText.empty() || *end || slice < 1) throw UsageError("--slice is a slice number from 1");
  morvex::Study study;
  morvex::cli::loadSeries(a.positional[0], study);
  const int seedFrame = morvex::cli::loadMasks(a.get("--seed"), study);
  const int first = study.firstFrameOfSeries(0), count = study.lastFrameOfSeries(0) - first + 1;
  options.currentFrame = seedFrame >= 0 ? seedFrame : first;
  if (a.has("--slice")) {
    if (slice > count) throw UsageError("--slice is a slice number 1.." + std::to_string(count));
    options.currentFrame = first + static_cast<int>(slice) - 1;
  }
  // The engine's running commentary goes to a terminal only.
  std::unique_ptr<std::FILE, FileCloser> quiet(std::fopen("/dev/null", "w"));
  options.log = isatty(fileno(stderr)) || !quiet ? stderr : quiet.get();
  morvex::cli::Progress progress("segment-liver");
  options.progress = [&](int done, int total) { progress.update(done * 100 / std::max(total, 1)); };
  morvex::uniteDivision(study, 0, -1);
  // a seed traced as a closed ring is filled, as the window's LiverSeg does
  if (const int filled = morvex::fillRingSeed(study, options))
    std::fprintf(stderr, "segment-liver: the closed outline was filled as the seed (%d pixels)\n", filled);
  int labelled = 0;
  const morvex::LiverRunResult result = morvex::segmentLiver(study, options, &labelled);
  progress.done();
  if (result == morvex::LiverRunResult::NoOutline)
    throw CliError(a.get("--seed") + ": no liver outline (label 1) on the seed slice " +
                   std::to_string(options.currentFrame - first + 1));
  if (result != morvex::LiverRunResult::Done) throw CliError(a.positional[0] + ": no series to segment");
  // every file of the run, or none of them
  morvex::cli::writeAllOrNothing(a.get("--out"), [&](const std::string& stage) {
    morvex::cli::writeMasks(study, morvex::cli::MaskFormat::Png, stage);
    const std::string name = stage + "/" + morvex::cli::seriesMaskName(study);
    morvex::cli::writeMasks(study, morvex::cli::MaskFormat::Tiff, name + ".tiff");
    if (a.has("--nifti")) morvex::cli::writeMasks(study, morvex::cli::MaskFormat::Nifti, name + ".nii.gz");
  });
  std::fprintf(stderr, "segment-liver: %d slices labelled\n", labelled);
  return 0;
}

int interpolate(int argc, char** argv) {
  const Args a = parse(argc, argv, {"--masks", "--label", "--out"}, {});
  if (a.positional.size() != 1 || !a.has("--masks") || !a.has("--label") || !a.has("--out"))
    throw UsageError("interpolate takes one SERIES, --masks M, --label N and --out DIR");
  const std::string labelText = a.get("--label");
  char* end = nullptr;
  const long label = std::strtol(labelText.c_str(), &end, 10);
  if (labelText.empty() || *end || label < 1 || label > 254) throw UsageError("--label is a label value 1..254");
  morvex::Study study;
  morvex::cli::loadSeries(a.positional[0], study);
  morvex::cli::loadMasks(a.get("--masks"), study);
  const morvex::SliceFillPlan plan = morvex::planSliceFill(study, study.firstFrameOfSeries(0), study.lastFrameOfSeries(0),
                                                           static_cast<uint8_t>(label));
  if (plan.keys.size() < 2)
    throw CliError(a.get("--masks") + ": label " + labelText + " is on " + std::to_string(plan.keys.size()) +
                   " slice(s); filling between slices needs two");
  morvex::applySliceFill(plan, study);
  morvex::cli::writeAllOrNothing(a.get("--out"), [&](const std::string& stage) {
    morvex::cli::writeMasks(study, morvex::cli::MaskFormat::Png, stage);
  });
  std::fprintf(stderr, "interpolate: %d slices filled between %d key slices\n", plan.filledSlices(),
               static_cast<int>(plan.keys.size()));
  if (plan.blockedPixels() > 0)
    std::fprintf(stderr, "interpolate: other labels left holes in %d slices (%d pixels)\n", plan.blockedSlices(),
                 plan.blockedPixels());
  return 0;
}

int convert(int argc, char** argv) {
  const Args a = parse(argc, argv, {"--series", "--to"}, {});
  if (a.positional.size() != 2 || !a.has("--series") || !a.has("--to"))
    throw UsageError("convert takes MASKS, --series SERIES, --to FORMAT and OUT");
  const std::string to = a.get("--to");
  morvex::cli::MaskFormat format;
  if (to == "nifti") format = morvex::cli::MaskFormat::Nifti;
  else if (to == "tiff") format = morvex::cli::MaskFormat::Tiff;
  else if (to == "png") format = morvex::cli::MaskFormat::Png;
  else if (to == "seg") format = morvex::cli::MaskFormat::Seg;
  else throw UsageError("--to is nifti, tiff, png or seg");
  morvex::Study study;
  morvex::cli::loadSeries(a.get("--series"), study);
  morvex::cli::loadMasks(a.positional[0], study);
  morvex::cli::writeMasks(study, format, a.positional[1]);
  return 0;
}

int report(int argc, char** argv) {
  const Args a = parse(argc, argv, {"--masks", "--plan", "--out"}, {"--identity"});
  if (a.positional.size() != 1 || !a.has("--masks") || !a.has("--out"))
    throw UsageError("report takes one SERIES, --masks M and --out FILE");
  morvex::cli::writeReport(a.positional[0], a.get("--masks"), a.get("--plan"), a.get("--out"), a.has("--identity"));
  return 0;
}

int run(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::fputs(kMainHelp, argc < 2 ? stderr : document);
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  if (command == "pacs") {
    for (int i = 2; i < argc; ++i)
      if (!std::strcmp(argv[i], "--help")) return std::fputs(morvex::cli::kPacsHelp, document) < 0 ? 1 : 0;
    return morvex::cli::pacsCommand(argc, argv, document);
  }
  const auto help = kHelp.find(command);
  if (help == kHelp.end()) throw UsageError("unknown command " + command);
  for (int i = 2; i < argc; ++i)
    if (!std::strcmp(argv[i], "--help")) {
      std::fputs(help->second, document);
      return 0;
    }
  if (command == "volumes") return volumes(argc, argv);
  if (command == "segment-liver") return segmentLiverCommand(argc, argv);
  if (command == "interpolate") return interpolate(argc, argv);
  if (command == "report") return report(argc, argv);
  return convert(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardOutputForTheDocument();
  std::string error;
  try {
    const int status = run(argc, argv);
    std::fflush(document);
    return status;
  } catch (const UsageError& e) {
    std::fprintf(stderr, "morvex-cli: %s\n%s", oneLine(e.what()).c_str(), kMainHelp);
    return 2;
  } catch (const CliError& e) {
    error = e.what();
  } catch (const cv::Exception& e) {
    // the library's own text is a log line; the user's line says what failed
    std::fprintf(stderr, "morvex-cli: log: %s\n", oneLine(e.what()).c_str());
    error = "the image library failed";
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (const std::exception& e) {
    error = e.what();
  }
  std::fprintf(stderr, "morvex-cli: %s\n", oneLine(error).c_str());
  return 1;
}
