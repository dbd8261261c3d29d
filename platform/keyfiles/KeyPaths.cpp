#include "platform/keyfiles/KeyPaths.h"

#include "platform/files/PathForms.h"
#include "platform/win32/LastError.h"
#include "platform/guard/WriteGuard.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {
namespace {

constexpr size_t kLongestName = 255;  // a FAT long name

// Why a name between two backslashes is refused, or nullptr. Besides what FAT refuses,
// '[' and ']' go: the mtools commands read them as a pattern.
const char* NameProblem(const std::string& name)
{
    if (name.empty())
        return "an empty name (two backslashes in a row)";
    if (name == "." || name == "..")
        return "a name that leads out of its folder";
    if (name.size() > kLongestName)
        return "a name longer than 255 bytes";
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return "a control character";
        if (std::strchr("\"*/:<>?|[]", c))
            return "a character that a file name on the key may not hold";
    }
    if (name.back() == '.' || name.back() == ' ')
        return "a name that ends in a full stop or a space";
    return nullptr;
}

}  // namespace

std::string KeyPath::ToolPath() const
{
    std::string path = "::";
    for (const std::string& part : parts)
        path += "/" + part;
    return parts.empty() ? "::/" : path;
}

KeyPath KeyPath::Parent() const
{
    KeyPath parent = *this;
    if (!parent.parts.empty())
        parent.parts.pop_back();
    return parent;
}

KeyPath KeyPath::Child(const std::string& name) const
{
    KeyPath child = *this;
    child.parts.push_back(name);
    return child;
}

std::string KeyPath::Text() const
{
    std::string text = std::string(1, letter) + ":";
    for (const std::string& part : parts)
        text += "\\" + part;
    return parts.empty() ? text + "\\" : text;
}

std::optional<std::vector<std::string>> SplitKeyPath(const std::string& rest, std::string& why)
{
    std::vector<std::string> parts;
    if (rest.empty() || rest == "\\")
        return parts;
    if (rest[0] != '\\') {
        why = "a path on the key starts at its root, with a backslash after the letter";
        return std::nullopt;
    }
    size_t start = 1;
    while (start <= rest.size()) {
        size_t end = std::min(rest.find('\\', start), rest.size());
        std::string name = rest.substr(start, end - start);
        bool trailing = end == rest.size() && name.empty();  // "E:\boot\" names the folder
        if (!trailing) {
            if (const char* problem = NameProblem(name)) {
                why = problem;
                return std::nullopt;
            }
            parts.push_back(name);
        }
        start = end + 1;
    }
    return parts;
}

std::optional<KeyPath> ResolveKeyPath(const std::string& name)
{
    if (!IsDriveLetterPath(name)) {
        SetLastErrorWithDetail(ERROR_INVALID_NAME, name + ": not a path on a drive");
        return std::nullopt;
    }
    if (name.size() >= MAX_PATH) {
        SetLastErrorWithDetail(ERROR_FILENAME_EXCED_RANGE, name);
        return std::nullopt;
    }
    std::string why;
    auto parts = SplitKeyPath(name.substr(2), why);
    if (!parts) {
        SetLastErrorWithDetail(ERROR_INVALID_NAME, name + ": refused, " + why + ".");
        return std::nullopt;
    }
    KeyPath path;
    path.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    path.parts = *parts;
    Machine& machine = Machine::Current();
    auto volume = machine.VolumeOf(path.letter);
    if (!volume) {
        SetLastErrorWithDetail(ERROR_PATH_NOT_FOUND, std::string("there is no drive ") + path.letter + ":");
        return std::nullopt;
    }
    path.volume = *volume;
    const Disk* disk = machine.DiskByNumber(volume->disk);
    if (auto reason = disk ? SystemDiskReason(*disk) : std::nullopt) {
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, *reason);
        return std::nullopt;
    }
    return path;
}

}  // namespace platform
