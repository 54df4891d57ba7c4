#pragma once
// User-facing texts of the core library. The library has no Qt: a text is its English source,
// marked here so that the translation tools collect it (context "morvex::Core"); the interface
// looks it up in that context when it shows it.

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, text) text
#endif

namespace morvex {
// The context under which the interface translates the core library's texts.
constexpr const char* kCoreTextContext = "morvex::Core";
}  // namespace morvex
