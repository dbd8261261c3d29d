// The start-up checks of this platform: the program's own folder as the working folder,
// and the outside programs it runs.
#include "platform/win32/LastError.h"
#include "platform/OwnCalls.h"
#include "platform/processes/ToolPath.h"
#include "platform/win32/Trace.h"

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

// Each outside program that runs, found on PATH or in the system's folders as it is started,
// and the Debian package that brings it: mkfs.fat, the mtools commands platform/ runs itself (with their settings in
// their environment, no env program between), and syslinux with the two mtools commands it
// runs in its turn.
const std::pair<const char*, const char*> kTools[] = {
    {"mkfs.fat", "dosfstools"}, {"syslinux", "syslinux"}, {"mcopy", "mtools"},   {"mdir", "mtools"},
    {"mmd", "mtools"},          {"mdel", "mtools"},      {"mren", "mtools"},    {"mattrib", "mtools"},
};

}  // namespace

BOOL EnterProgramFolder()
{
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        platform::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    std::string program(path, static_cast<size_t>(n));
    std::string folder = program.substr(0, program.rfind('/'));
    if (folder.empty())
        folder = "/";
    if (::chdir(folder.c_str()) != 0) {
        platform::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    platform::Trace("working folder %s", folder.c_str());
    return TRUE;
}

BOOL FindMissingTools(LPSTR packages, DWORD size)
{
    std::vector<std::string> missing;
    for (const auto& [tool, package] : kTools) {
        if (!platform::FindTool(tool).empty())
            continue;
        platform::Trace("outside program %s is missing (package %s)", tool, package);
        bool listed = false;
        for (const std::string& name : missing)
            listed = listed || name == package;
        if (!listed)
            missing.push_back(package);
    }
    std::string text;
    for (const std::string& name : missing)
        text += (text.empty() ? "" : ", ") + name;
    platform::CopyText(text, packages, size);
    return missing.empty() ? TRUE : FALSE;
}
