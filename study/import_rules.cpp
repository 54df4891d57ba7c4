#include "study/import_rules.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/text_field.h"

namespace morvex {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Compares two digit strings as non-negative integers of any length.
int compareNumbers(const std::string& a, const std::string& b) {
  const auto strip = [](const std::string& s) {
    const auto first = s.find_first_not_of('0');
    return first == std::string::npos ? std::string() : s.substr(first);
  };
  const std::string x = strip(a), y = strip(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return x.compare(y);
}

void eraseAll(std::string& s, const std::string& what) {
  for (auto pos = s.find(what); pos != std::string::npos; pos = s.find(what)) s.erase(pos, what.size());
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  std::size_t p = 0;
  while (p < a.size() && p < b.size() &&
         std::tolower(static_cast<unsigned char>(a[p])) == std::tolower(static_cast<unsigned char>(b[p])))
    ++p;
  if (p + 1 >= a.size() || p + 1 >= b.size()) return a.size() < b.size();
  const bool da = isDigit(a[p]), db = isDigit(b[p]);
  if (da && db) {
    std::size_t start = p;
    while (start > 0 && isDigit(a[start - 1])) --start;
    std::size_t ea = p, eb = p;
    while (ea < a.size() && isDigit(a[ea])) ++ea;
    while (eb < b.size() && isDigit(b[eb])) ++eb;
    return compareNumbers(a.substr(start, ea - start), b.substr(start, eb - start)) < 0;
  }
  if (da) return false;
  if (db) return true;
  return a < b;
}

std::string normalizeCaseKey(std::string name) {
  if (name.size() >= 4 && name[name.size() - 4] == '.') name.resize(name.size() - 4);
  if (name.size() > 1 && name[1] == '_')
    name.erase(0, 2);
  else if (name.size() > 2 && name[2] == '_')
    name.erase(0, 3);
  eraseAll(name, "_RAW");
  eraseAll(name, "_DCM");
  return name;
}

std::vector<std::string> readNameList(const std::string& folder) {
  std::vector<std::string> keys;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return keys;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec) || fileExtension(it->path().string()) != "txt") continue;
    std::ifstream in(it->path());
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto slash = line.find_last_of('\\');
      keys.push_back(normalizeCaseKey(slash == std::string::npos ? line : line.substr(slash + 1)));
    }
  }
  return keys;
}

DropKind classifyDroppedFile(const std::string& path, bool insideDroppedFolder) {
  const auto dot = path.find_last_of('.');
  // Files without any extension are offered as slices: DICOM exports often name them so, and the
  // slice reader recognises them by their preamble.
  const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  const std::string name = baseName(path);
  const char first = name.empty() ? '\0' : name[0];
  if (ext == "png" || ext == "jpg" || ext == "bmp") {
    if (first == 'm') return DropKind::Mask;
    if (first == 'a') return DropKind::Ignored;
    if (first == 'c') return DropKind::Slice;
    const cv::Mat grey = cv::imread(path, cv::IMREAD_GRAYSCALE);
    if (grey.empty()) return DropKind::Slice;
    long extreme = 0;
    for (int y = 0; y < grey.rows; ++y) {
      const uint8_t* row = grey.ptr<uint8_t>(y);
      for (int x = 0; x < grey.cols; ++x) extreme += (row[x] < 10 || row[x] == 255) ? 1 : 0;
    }
    const double f = insideDroppedFolder ? 0.75 : 0.8;
    return extreme > f * grey.cols * grey.rows ? DropKind::Mask : DropKind::Slice;
  }
  if (ext == "txt") return DropKind::Ignored;
  if (ext == "tiff") return first == 'm' ? DropKind::Mask : DropKind::Slice;
  return DropKind::Slice;
}

}  // namespace morvex
