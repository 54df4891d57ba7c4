#include "tests/testing_support.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/mask_import.h"
#include "tools/synthct/series_writer.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace morvex::testing {

std::string sharedDataDir() {
  const char* overridden = std::getenv("MORVEX_SHARED_DATA");
  const std::string dir = overridden ? overridden : MORVEX_SHARED_DATA;
  std::error_code ec;
  return fs::is_directory(dir + "/nema-wg04", ec) ? dir : std::string();
}

std::string sharedFile(const std::string& relative) { return sharedDataDir() + "/" + relative; }

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    const fs::path p = fs::temp_directory_path() / ("morvex-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {

uint32_t crc32Of(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void appendBe32(std::string& s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void appendLe(std::string& s, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) s.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

void appendPngChunk(std::string& png, const std::string& type, const std::string& data) {
  appendBe32(png, static_cast<uint32_t>(data.size()));
  png += type + data;
  appendBe32(png, crc32Of(type + data));
}

}  // namespace

std::string pngClaiming(uint32_t width, uint32_t height) {
  std::string png("\x89PNG\r\n\x1a\n", 8), ihdr;
  appendBe32(ihdr, width);
  appendBe32(ihdr, height);
  ihdr += std::string("\x08\0\0\0\0", 5);  // 8-bit grey, deflate, no interlace
  appendPngChunk(png, "IHDR", ihdr);
  appendPngChunk(png, "IEND", "");
  return png;
}

std::string bmpClaiming(int32_t width, int32_t height, uint32_t compression, const std::string& pixels) {
  const uint32_t offset = 14 + 40 + 256 * 4;
  std::string bmp = "BM";
  appendLe(bmp, offset + static_cast<uint32_t>(pixels.size()), 4);
  appendLe(bmp, 0, 4);
  appendLe(bmp, offset, 4);
  appendLe(bmp, 40, 4);
  appendLe(bmp, static_cast<uint32_t>(width), 4);
  appendLe(bmp, static_cast<uint32_t>(height), 4);
  appendLe(bmp, 1, 2);  // planes
  appendLe(bmp, 8, 2);  // bits per pixel
  appendLe(bmp, compression, 4);
  appendLe(bmp, static_cast<uint32_t>(pixels.size()), 4);
  appendLe(bmp, 2835, 4);
  appendLe(bmp, 2835, 4);
  appendLe(bmp, 256, 4);
  appendLe(bmp, 0, 4);
  for (uint32_t g = 0; g < 256; ++g) appendLe(bmp, g * 0x010101u, 4);
  return bmp + pixels;
}

std::string writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int filesStartingWith(const std::string& folder, const std::string& prefix) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) n += e.path().filename().string().rfind(prefix, 0) == 0;
  return n;
}

long peakResidentMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

bool haveValidator() { return std::system("command -v dciodvfy >/dev/null 2>&1") == 0; }

std::string validatorErrors(const std::string& path) {
  std::string errors;
  FILE* pipe = popen(("dciodvfy '" + path + "' 2>&1").c_str(), "r");
  char line[4096];
  while (pipe && std::fgets(line, sizeof line, pipe))
    if (std::strncmp(line, "Error", 5) == 0) errors += line;
  if (pipe) pclose(pipe);
  return errors;
}

std::string TempDir::copyIn(const std::string& source, const std::string& name) const {
  const std::string target = file(name);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return target;
}

}  // namespace morvex::testing

#include "tools/synthct/series_writer.h"

namespace morvex::testing {

namespace {
struct SeriesFolder {
  TempDir dir;
  std::string path;
  SeriesFolder() {
    synth::PhantomOptions o;
    o.size = 128;
    o.slices = 24;
    o.pixelSpacing = 2.8;
    o.sliceThickness = 12.5;
    path = dir.file("series");
    std::string error;
    if (!synth::writeSeries(o, path, &error)) ADD_FAILURE() << error;
  }
};
}  // namespace

const std::string& smallSyntheticSeries() {
  static SeriesFolder folder;
  return folder.path;
}

int loadSmallSyntheticSeries(Study& study, bool withLabels) {
  const std::string& folder = smallSyntheticSeries();
  for (int k = 0; k < 24; ++k) {
    const std::string name = folder + "/" + morvex::synth::sliceFileName(k);
    if (study.addFrameFromFile((name + ".dcm").c_str()) != k) return -1;
  }
  for (int k = 0; withLabels && k < 24; ++k)
    loadMaskFile(study, (folder + "/m_" + morvex::synth::sliceFileName(k) + ".png").c_str());
  return study.seriesOfFrame(0);
}

std::vector<uint8_t> labelsOf(const Study& study, int f) {
  const uint8_t* p = study.labelImage(f);
  return {p, p + static_cast<std::size_t>(study.width(f)) * static_cast<std::size_t>(study.height(f))};
}

std::vector<std::vector<uint8_t>> allLabels(const Study& study) {
  std::vector<std::vector<uint8_t>> out;
  for (int f = 0; f < study.frameCount(); ++f) out.push_back(labelsOf(study, f));
  return out;
}

int addFrame(Study& study, const SliceHeader& header, int width, int height, int16_t fill) {
  SlicePixels px;
  px.width = width;
  px.height = height;
  px.intensities.reset(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  px.intensities.fill(fill);
  return study.insertFrame(header, std::move(px));
}

std::vector<std::string> writeFlatPngSlices(const TempDir& folder, int count, int width, int height) {
  std::vector<std::string> paths;
  for (int i = 1; i <= count; ++i) {
    paths.push_back(folder.file("P_20200101_" + std::to_string(i) + ".png"));
    if (!cv::imwrite(paths.back(), cv::Mat(height, width, CV_8UC1, cv::Scalar(60)))) ADD_FAILURE() << paths.back();
  }
  return paths;
}

}  // namespace morvex::testing
