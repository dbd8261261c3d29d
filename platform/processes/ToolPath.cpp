#include "platform/processes/ToolPath.h"

#include "platform/TestHooks.h"

#include <cstdlib>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kSystemFolders = "/usr/sbin:/usr/bin:/sbin:/bin";
std::optional<std::string> g_systemFoldersForTest;

// The first folder of a colon-separated list that holds `name` as an executable file; an
// empty entry is the working folder, as the shell has it.
std::string FindIn(const std::string& folders, const std::string& name)
{
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        std::string path = (folder.empty() ? "." : folder) + "/" + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0)
            return path;
        start = end + 1;
    }
    return {};
}

}  // namespace

std::string FindTool(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    const char* path = std::getenv("PATH");
    std::string found = path ? FindIn(path, name) : std::string();
    const std::string system = g_systemFoldersForTest.value_or(kSystemFolders);
    if (found.empty() && !system.empty())
        found = FindIn(system, name);
    return found;
}

void SetSystemToolFoldersForTest(const char* folders)
{
    if (folders)
        g_systemFoldersForTest = folders;
    else
        g_systemFoldersForTest.reset();
}

}  // namespace platform
