// The file-name parsers and the natural order. The input is up to three names separated by
// newlines; the order must stay a strict weak ordering on every triple.

#include <string>
#include <vector>

#include "study/file_name_meta.h"
#include "study/import_rules.h"
#include "study/text_field.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::vector<std::string> names(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && names.size() < 3)
      names.emplace_back();
    else
      names.back().push_back(static_cast<char>(data[i]));
  }
  while (names.size() < 3) names.push_back(names.back() + "0");
  const std::string &a = names[0], &b = names[1], &c = names[2];
  using morvex::naturalLess;
  const auto equivalent = [](const std::string& x, const std::string& y) {
    return !naturalLess(x, y) && !naturalLess(y, x);
  };
  for (const std::string* x : {&a, &b, &c}) check(!naturalLess(*x, *x));
  check(!(naturalLess(a, b) && naturalLess(b, a)));
  check(!(naturalLess(a, b) && naturalLess(b, c)) || naturalLess(a, c));
  check(!(naturalLess(c, b) && naturalLess(b, a)) || naturalLess(c, a));
  check(!(equivalent(a, b) && equivalent(b, c)) || equivalent(a, c));

  for (const std::string& name : names) {
    (void)morvex::normalizeCaseKey(name);
    morvex::SliceHeader header;
    morvex::rasterHeaderFromFileName(name, header);
    int value = 0;
    (void)morvex::parseWholeInt(name, value);
    (void)morvex::stripExtension(morvex::baseName(name));
    (void)morvex::fileExtension(name);
  }
  return 0;
}
