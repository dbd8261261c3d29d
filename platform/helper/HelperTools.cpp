#include "platform/helper/HelperTools.h"

#include <algorithm>

namespace platform {
namespace {

const char* const kMtools[] = {"mcopy", "mdir", "mtype", "mren", "mdel", "mmd", "mattrib", "minfo"};
const char* const kReadingMtools[] = {"mdir", "mtype", "minfo"};

bool IsMtools(const std::string& tool) { return std::find(std::begin(kMtools), std::end(kMtools), tool) != std::end(kMtools); }

std::string WindowFdPath(const HelperRequest& request) { return "/proc/self/fd/" + std::to_string(request.windowFd); }

// A name inside the key's volume: "::" then parts that never climb ("::/a/b.img").
bool KeyName(const std::string& name)
{
    if (name.rfind("::", 0) != 0)
        return false;
    std::string rest = name.substr(2) + "/";
    for (size_t at = 0, next; (next = rest.find_first_of("/\\", at)) != std::string::npos; at = next + 1)
        if (rest.compare(at, next - at, "..") == 0)
            return false;
    return true;
}

// mtools: "-i" "<the key's descriptor>@@<the volume's offset>", options, "--", names.
std::optional<std::string> MtoolsReason(const HelperRequest& request, uint64_t volumeOffset)
{
    const std::vector<std::string>& args = request.args;
    std::string medium = WindowFdPath(request) + "@@" + std::to_string(volumeOffset);
    if (args.size() < 4 || args[1] != "-i" || args[2] != medium)
        return args[0] + " is not given the key's own volume (" + medium + ")";
    auto names = std::find(args.begin() + 3, args.end(), "--");
    if (names == args.end())
        return args[0] + " names no files";
    // Options and their values ("-D o"): nothing that names a file, nor a second medium.
    for (auto option = args.begin() + 3; option != names; ++option)
        if (*option == "-i" || option->find('/') != std::string::npos || option->rfind("::", 0) == 0)
            return args[0] + ": \"" + option->substr(0, 64) + "\" is not an option the helper passes";
    for (auto name = names + 1; name != args.end(); ++name) {
        // "-": mcopy's source when the window sent the data, its target when it sent a file
        bool standardInput = request.stream == "input" && name == names + 1 && name + 1 != args.end();
        bool standardOutput = request.stream == "output" && name == args.end() - 1 && name != names + 1;
        bool stream = *name == "-" && args[0] == "mcopy" && (standardInput || standardOutput);
        if (!stream && !KeyName(*name))
            return args[0] + ": \"" + name->substr(0, 64) + "\" leaves the key's volume";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ToolRunReason(const HelperRequest& request, uint64_t volumeOffset)
{
    if (request.verb != HelperVerb::Run || request.args.empty())
        return "not a tool run";
    const std::string& tool = request.args[0];
    if (IsMtools(tool))
        return MtoolsReason(request, volumeOffset);
    if (tool != "syslinux")
        return "\"" + tool.substr(0, 64) + "\" is not a tool the helper runs";
    std::vector<std::string> expected = {"syslinux", "--install", "--force", "--offset", std::to_string(volumeOffset),
                                         WindowFdPath(request)};
    if (request.args != expected || request.stream != "none")
        return "syslinux is run only as the installer of the key's own volume (offset " + std::to_string(volumeOffset) + ")";
    return std::nullopt;
}

std::vector<std::string> HelperToolArguments(const HelperRequest& request, int fd)
{
    std::vector<std::string> args = request.args;
    std::string window = WindowFdPath(request), own = "/proc/self/fd/" + std::to_string(fd);
    for (std::string& arg : args)
        if (arg.rfind(window, 0) == 0 && (arg.size() == window.size() || arg.compare(window.size(), 2, "@@") == 0))
            arg = own + arg.substr(window.size());
    return args;
}

bool ToolWritesKey(const HelperRequest& request)
{
    const std::string& tool = request.args.at(0);
    if (tool == "mcopy")  // into the key when its last name is on the key, else out of it
        return KeyName(request.args.back());
    return std::find(std::begin(kReadingMtools), std::end(kReadingMtools), tool) == std::end(kReadingMtools);
}

}  // namespace platform
