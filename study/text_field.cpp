#include "study/text_field.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>

namespace morvex {

void assignText(std::string& field, const char* src, std::size_t capacity) {
  if (!src) {
    field.clear();
    return;
  }
  const std::size_t n = strnlen(src, capacity - 1);
  field.assign(src, n);
}

void assignText(std::string& field, const std::string& src, std::size_t capacity) {
  field.assign(src, 0, std::min(src.size(), capacity - 1));
}

namespace {
const char* skipBlanks(const char* p) {
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  return p;
}
}  // namespace

int leadingInt(const char* text) {
  if (!text) return 0;
  const char* p = skipBlanks(text);
  if (*p == '+') ++p;
  long long v = 0;
  const char* end = p + std::strlen(p);
  auto res = std::from_chars(p, end, v);
  if (res.ec == std::errc::result_out_of_range) return 0;
  if (res.ec != std::errc()) return 0;
  if (v > INT_MAX || v < INT_MIN) return 0;
  return static_cast<int>(v);
}

double leadingDouble(const char* text) {
  if (!text) return 0.0;
  const char* p = skipBlanks(text);
  if (*p == '+') ++p;
  double v = 0.0;
  const char* end = p + std::strlen(p);
  auto res = std::from_chars(p, end, v, std::chars_format::general);
  if (res.ec != std::errc()) return 0.0;
  return v;
}

std::string baseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string fileExtension(const std::string& path) {
  const std::string name = baseName(path);
  const auto dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string stripExtension(const std::string& fileName) {
  const auto dot = fileName.find_last_of('.');
  return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace morvex
