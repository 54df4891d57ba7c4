#pragma once
// Shared by the fuzz targets: the readers under test take paths, so each input is written to a
// file in a folder of this process, removed at exit.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace morvex::fuzz {

inline const std::string& scratchDir() {
  // The removal at exit may run after static strings are gone: it keeps its own copy of the path.
  static char removeAtExit[4096];
  static const std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string d = std::string(base && *base ? base : "/tmp") + "/morvex-fuzz-" + std::to_string(getpid());
    std::filesystem::create_directories(d);
    std::snprintf(removeAtExit, sizeof removeAtExit, "%s", d.c_str());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removeAtExit, ec);
    });
    return d;
  }();
  return dir;
}

// Writes the input under name in the scratch folder; returns the full path.
inline std::string writeInput(const std::string& name, const uint8_t* data, std::size_t size) {
  const std::string path = scratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

inline bool startsWith(const uint8_t* data, std::size_t size, const char* magic, std::size_t n) {
  return size >= n && std::equal(magic, magic + n, reinterpret_cast<const char*>(data));
}

// A name whose extension sends the bytes to the reader their signature asks for.
inline std::string rasterName(const std::string& stem, const uint8_t* data, std::size_t size) {
  if (startsWith(data, size, "BM", 2)) return stem + ".bmp";
  if (startsWith(data, size, "\xFF\xD8", 2)) return stem + ".jpg";
  return stem + ".png";
}

}  // namespace morvex::fuzz
