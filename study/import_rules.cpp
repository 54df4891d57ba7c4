#include "study/import_rules.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>

#include <opencv2/core.hpp>

#include "study/raster_header.h"
#include "study/slice_decoder.h"
#include "study/text_field.h"

namespace morvex {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares two digit runs as non-negative integers of any length: -1, 0 or 1.
int compareNumbers(std::string_view a, std::string_view b) {
  const auto strip = [](std::string_view s) {
    const auto first = s.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
  };
  const std::string_view x = strip(a), y = strip(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  const int c = x.compare(y);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::size_t digitRunEnd(const std::string& s, std::size_t from) {
  while (from < s.size() && isDigit(s[from])) ++from;
  return from;
}

// Natural comparison, token by token: digit runs by value, other characters without case, a
// character before a digit run, and a name before every longer name it begins. 0 for names that
// differ only in case or in leading zeros.
int naturalCompare(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = isDigit(a[i]), db = isDigit(b[j]);
    if (da && db) {
      const std::size_t ei = digitRunEnd(a, i), ej = digitRunEnd(b, j);
      const int c = compareNumbers(std::string_view(a).substr(i, ei - i), std::string_view(b).substr(j, ej - j));
      if (c != 0) return c;
      i = ei;
      j = ej;
      continue;
    }
    if (da != db) return da ? 1 : -1;
    const char la = lowerAscii(a[i]), lb = lowerAscii(b[j]);
    if (la != lb) return static_cast<unsigned char>(la) < static_cast<unsigned char>(lb) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

void eraseAll(std::string& s, const std::string& what) {
  for (auto pos = s.find(what); pos != std::string::npos; pos = s.find(what)) s.erase(pos, what.size());
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  const int c = naturalCompare(a, b);
  return c != 0 ? c < 0 : a < b;  // equal names apart from case or zeros: plain byte order
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
  const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  const std::string name = baseName(path);
  const char first = name.empty() ? '\0' : name[0];
  if (ext == "png" || ext == "jpg" || ext == "bmp") {
    if (first == 'm') return DropKind::Mask;
    if (first == 'a') return DropKind::Ignored;
    if (first == 'c') return DropKind::Slice;
    // An image that cannot be read (or is refused for its size) goes to the slices, whose import
    // reports it.
    const cv::Mat grey = readGreyRaster(path).image;
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
  if (ext == "nii" || (ext == "gz" && path.size() > 7 && path.compare(path.size() - 7, 7, ".nii.gz") == 0))
    return DropKind::Mask;  // a NIfTI label volume
  if (ext == "tiff") return first == 'm' ? DropKind::Mask : DropKind::Slice;
  if (ext == "dcm") return DropKind::Slice;
  // Any other name (DICOM exports often have no extension) is a slice only when it carries the
  // DICOM preamble; a README or notes.md is left alone.
  return hasDicomPreamble(path.c_str()) ? DropKind::Slice : DropKind::Ignored;
}

}  // namespace morvex
