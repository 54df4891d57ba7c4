#pragma once
// Small text helpers shared by the study model and the decoders.
// Every text kept in the study is a byte string in the local 8-bit encoding with a fixed capacity:
// 1024 bytes for paths and header values, 64 for short fields (one byte is the terminator).

#include <cstddef>
#include <string>

namespace morvex {

constexpr std::size_t kPathCapacity = 1024;
constexpr std::size_t kShortCapacity = 64;

// Copies src into field, cut to capacity - 1 bytes (the fixed-field rule). Null src gives "".
void assignText(std::string& field, const char* src, std::size_t capacity = kPathCapacity);
void assignText(std::string& field, const std::string& src, std::size_t capacity = kPathCapacity);

// atoi / atof semantics without locale: leading blanks and sign, then the longest numeric prefix;
// no prefix gives 0. "40\60" gives 40, "12a" gives 12, "" gives 0.
int leadingInt(const char* text);
double leadingDouble(const char* text);

// The part after the last '/' of a path (the whole path when there is none).
std::string baseName(const std::string& path);
// The text after the last '.' of the file name; empty when the file name holds no dot.
std::string fileExtension(const std::string& path);
// The file name without its extension: "IM0001.dcm" -> "IM0001", "IM0001" -> "IM0001".
std::string stripExtension(const std::string& fileName);

// A header value (patient name or ID, series date or key) made safe as one part of a file or
// folder name: ASCII letters and digits, the letters of other scripts in UTF-8 text (Hangul, Kana,
// CJK, Latin, Greek, Cyrillic, ...), '-', '_' and '^' are kept; every other character, and every
// byte that is not UTF-8, becomes '_'. "a/b" -> "a_b", ".." -> "__", "" -> "". Every name that
// takes a part from a header goes through this, so no header can reach another folder.
std::string fileNamePart(const std::string& value);

}  // namespace morvex
