#include "tests/support/Shell.h"

#include <cstdio>
#include <sys/wait.h>

int Shell(const std::string& command, std::string* output)
{
    FILE* pipe = ::popen(("(" + command + ") 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
