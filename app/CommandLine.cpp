#include "app/CommandLine.h"

#include <cstring>
#include <string>

#include "framework/Afx.h"
#include "res/resource.h"

int HandleCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(LoadResString(IDS_USAGE).c_str(), out);
            return 0;
        }
        if (arg == "--version") {
            std::fprintf(out, "%s\n", FormatText(LoadResString(IDS_VERSION).c_str(), BOOTWRIGHT_VERSION).c_str());
            return 0;
        }
        if (arg.rfind("--", 0) == 0) {
            std::fprintf(err, "bootwright: %s\n", FormatText(LoadResString(IDS_UNKNOWN_OPTION).c_str(), argv[i]).c_str());
            return 2;
        }
    }
    return -1;
}
