// The `bootwright` command's own options, answered before any window opens, so that they
// work without a display.
#pragma once

#include <cstdio>

// --help (or -h) prints the usage text and --version the version on `out`; another argument
// of two dashes is named on `err` as unknown. Arguments of one dash (-platform wayland, ...)
// are Qt's own and left to it. Returns the exit status when the program ends here (0 after
// --help or --version, 2 for an unknown option), -1 when the wizard is to start.
int HandleCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err);
