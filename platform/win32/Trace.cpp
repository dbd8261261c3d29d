#include "platform/win32/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {
const char* traceName = "bootwright";
}  // namespace

void SetTraceName(const char* name) { traceName = name; }

// Read at every use: a test may switch the trace on for one case.
bool TraceOn()
{
    const char* value = std::getenv("BOOTWRIGHT_TRACE");
    return value && std::strcmp(value, "1") == 0;
}

void Trace(const char* format, ...)
{
    if (!TraceOn())
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    // One write a line, so that lines of the program and of its children do not mix.
    std::fprintf(stderr, "%s: %s\n", traceName, line);
}

}  // namespace platform
