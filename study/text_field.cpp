#include "study/text_field.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>
#include <utility>

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

namespace {

// Letter ranges of the scripts names are written in (a compact subset of the Unicode letter
// category; punctuation, symbols and spaces of these blocks are left out).
constexpr std::pair<char32_t, char32_t> kLetterRanges[] = {
    {0x00AA, 0x00AA}, {0x00B5, 0x00B5}, {0x00BA, 0x00BA}, {0x00C0, 0x00D6}, {0x00D8, 0x00F6},
    {0x00F8, 0x02AF}, {0x0386, 0x0386}, {0x0388, 0x03FF}, {0x0400, 0x0481}, {0x048A, 0x052F},
    {0x0531, 0x0556}, {0x0561, 0x0587}, {0x05D0, 0x05EA}, {0x0620, 0x064A}, {0x0904, 0x0939},
    {0x0E01, 0x0E30}, {0x1100, 0x11FF}, {0x1E00, 0x1FBC}, {0x3041, 0x3096}, {0x30A1, 0x30FA},
    {0x3131, 0x318E}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
    {0xFF21, 0xFF3A}, {0xFF41, 0xFF5A}, {0xFF66, 0xFFDC},
};

bool isLetter(char32_t c) {
  for (const auto& [lo, hi] : kLetterRanges)
    if (c >= lo && c <= hi) return true;
  return false;
}

// Length of the well-formed UTF-8 sequence at s[i] (2..4) and its code point; 0 when malformed.
std::size_t utf8Sequence(const std::string& s, std::size_t i, char32_t& c) {
  const auto byte = [&s](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  const std::size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
  if (n == 0 || (n == 3 && b > 0xEF) || i + n > s.size()) return 0;
  c = b & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < least[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;  // overlong or no code point
  return n;
}

}  // namespace

std::string fileNamePart(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size();) {
    const unsigned char b = static_cast<unsigned char>(value[i]);
    if (b < 0x80) {
      const bool keep = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
                        b == '_' || b == '^';
      out += keep ? static_cast<char>(b) : '_';
      ++i;
      continue;
    }
    char32_t c = 0;
    const std::size_t n = utf8Sequence(value, i, c);
    if (n > 0 && isLetter(c))
      out.append(value, i, n);
    else
      out += '_';
    i += n > 0 ? n : 1;
  }
  return out;
}

}  // namespace morvex
