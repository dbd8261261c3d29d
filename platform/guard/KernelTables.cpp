#include "platform/guard/KernelTables.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/sysmacros.h>

namespace platform {

std::vector<std::string> ListFolder(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadSysfsText(const std::string& path)
{
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

std::optional<dev_t> ReadDeviceNumber(const std::string& devFile)
{
    unsigned int maj = 0, min = 0;
    char extra = 0;
    if (std::sscanf(ReadSysfsText(devFile).c_str(), "%u:%u%c", &maj, &min, &extra) != 2)
        return std::nullopt;
    return makedev(maj, min);
}

std::string RealPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Numbers(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }

// Undoes the octal escapes of the kernel's mount and swap tables ("\040" for a space).
std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The fields of a kernel table line; white space inside a field is escaped.
std::vector<std::string> SplitSpaces(const std::string& line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find_first_of(" \t", at);
        if (end == std::string::npos)
            end = line.size();
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

// Splits at a separator that no backslash escapes (overlay's option lists).
std::vector<std::string> SplitUnescaped(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            parts.back() += text[++i];
        else if (text[i] == separator)
            parts.emplace_back();
        else
            parts.back() += text[i];
    }
    return parts;
}

std::vector<MountInfoEntry> ReadMountInfo(const std::string& path)
{
    std::vector<MountInfoEntry> entries;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        // id parent MAJ:MIN root mount-point options [optional fields...] - type source super-options
        std::vector<std::string> fields = SplitSpaces(line);
        auto dash = std::find(fields.begin() + std::min<size_t>(6, fields.size()), fields.end(), "-");
        unsigned int maj = 0, min = 0;
        if (fields.size() < 7 || dash == fields.end() || std::sscanf(fields[2].c_str(), "%u:%u", &maj, &min) != 2)
            continue;
        MountInfoEntry entry;
        entry.device = makedev(maj, min);
        entry.mountPoint = Unescape(fields[4]);
        if (dash + 1 != fields.end())
            entry.type = *(dash + 1);
        if (dash + 3 < fields.end())
            entry.superOptions = Unescape(*(dash + 3));
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace platform
