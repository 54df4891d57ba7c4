// morvex-synthct: writes a synthetic abdominal CT series with its ground-truth masks.
// Usage: morvex-synthct OUTPUT_FOLDER [--slices N] [--size N] [--seed N] [--hard]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/synthct/series_writer.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [--slices N] [--size N] [--seed N] [--hard]\n", argv[0]);
    return argc < 2 ? 2 : 0;
  }
  morvex::synth::PhantomOptions options;
  for (int i = 2; i < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--hard") {  // heart over the dome, liver tongue in fat, border lesions, hilar notch
      options.hard = true;
      --i;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "missing value for %s\n", argv[i]);
      return 2;
    }
    const int value = std::atoi(argv[i + 1]);
    if (flag == "--slices" && value > 0) options.slices = value;
    else if (flag == "--size" && value >= 8 && value <= 4096) options.size = value;
    else if (flag == "--seed") options.seed = static_cast<uint32_t>(value);
    else {
      std::fprintf(stderr, "unknown or invalid option %s %s\n", argv[i], argv[i + 1]);
      return 2;
    }
  }
  std::string error;
  if (!morvex::synth::writeSeries(options, argv[1], &error)) {
    std::fprintf(stderr, "morvex-synthct: %s\n", error.c_str());
    return 1;
  }
  std::printf("morvex-synthct: wrote %d slices of %d x %d to %s\n", options.slices, options.size, options.size, argv[1]);
  return 0;
}
