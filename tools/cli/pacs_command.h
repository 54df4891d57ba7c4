#pragma once
// "morvex-cli pacs ...": archive access without a window (echo, find, get, store).

#include <cstdio>

namespace morvex::cli {

extern const char* const kPacsHelp;

// Runs "pacs SUBCOMMAND ..." (argv[1] is "pacs"), writing the JSON document to document.
// Returns the exit status: 0, 1 (a network or file failure, one line on standard error) or 2 (a
// malformed command line, with the usage).
int pacsCommand(int argc, char** argv, std::FILE* document);

}  // namespace morvex::cli
