#include "study/file_name_meta.h"

#include <cctype>
#include <climits>
#include <regex>
#include <vector>

#include "study/text_field.h"

namespace morvex {

namespace {

std::vector<std::string> splitKeepEmpty(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto pos = s.find(sep, start);
    if (pos == std::string::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, pos - start));
    start = pos + 1;
  }
}

std::string seriesDateFromParts(const std::vector<std::string>& parts) {
  static const std::regex datePattern("[0-9]{8}|[0-9]{4}.[0-9]{2}.[0-9]{2}");
  static const std::string kNoDate = "1900-01-01";
  for (const std::string& part : parts) {
    if (!std::regex_search(part, datePattern)) continue;
    std::string noDots;
    for (char c : part)
      if (c != '.') noDots += c;
    std::string piece;
    for (const std::string& p : splitKeepEmpty(noDots, ' '))
      if (p.size() == 8) piece = p;
    int value = 0;
    if (piece.empty() || !parseWholeInt(piece, value) || value < 19000001) return kNoDate;
    return piece;
  }
  return kNoDate;
}

int instanceFromPart(std::string part) {
  int value = 0;
  if (parseWholeInt(part, value)) return value;
  for (char& c : part)
    if (!std::isdigit(static_cast<unsigned char>(c))) c = '0';
  return parseWholeInt(part, value) ? value : 0;
}

}  // namespace

bool parseWholeInt(const std::string& text, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  value = static_cast<int>(v);
  return true;
}

void rasterHeaderFromFileName(const std::string& path, SliceHeader& header) {
  std::string name = stripExtension(baseName(path));
  if (name.size() > 1 && name[1] == '_')
    name.erase(0, 2);
  else if (name.size() > 2 && name[2] == '_')
    name.erase(0, 3);
  assignText(header.fileName, name);

  const std::vector<std::string> parts = splitKeepEmpty(name, '_');
  assignText(header.seriesDate, seriesDateFromParts(parts));
  header.instanceNumber = instanceFromPart(parts.back());
  std::string patient;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (i) patient += '_';
    patient += parts[i];
  }
  assignText(header.patientName, patient);
}

}  // namespace morvex
