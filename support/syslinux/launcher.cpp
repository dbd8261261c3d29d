// syslinux.exe: the installer the program runs as "syslinux\syslinux.exe -f E:\".
// It finds the volume behind the drive letter in the drive map the program hands to its
// children (BOOTWRIGHT_DRIVES) and runs the system's SYSLINUX installer on it in place:
// syslinux --install --force --offset <bytes> <backing>.
//
// BOOTWRIGHT_DRIVES: entries "<letter>=<offset>:<length>:<backing>" joined by ';', offset
// and length in bytes; in the backing path '%', ':' and ';' are written %25, %3A and %3B.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct DriveVolume {
    std::string backing;
    unsigned long long offset = 0;
};

int Hex(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        int high = Hex(text[i + 1]);
        int low = Hex(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<unsigned long long> Number(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::strtoull(text.c_str(), nullptr, 10);
}

// The volume of an upper-case letter in the drive map.
std::optional<DriveVolume> FindVolume(const char* map, char letter)
{
    if (!map)
        return std::nullopt;
    std::string text(map);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        std::string entry = text.substr(start, end - start);
        start = end + 1;
        if (entry.size() < 2 || entry[1] != '=' || std::toupper(static_cast<unsigned char>(entry[0])) != letter)
            continue;
        size_t colon1 = entry.find(':', 2);
        size_t colon2 = colon1 == std::string::npos ? colon1 : entry.find(':', colon1 + 1);
        if (colon2 == std::string::npos)
            return std::nullopt;
        auto offset = Number(entry.substr(2, colon1 - 2));
        auto length = Number(entry.substr(colon1 + 1, colon2 - colon1 - 1));
        auto backing = Unescape(entry.substr(colon2 + 1));
        if (!offset || !length || !backing || backing->empty())
            return std::nullopt;
        return DriveVolume{*backing, *offset};
    }
    return std::nullopt;
}

// "E:\", "E:" or "e:" -> 'E'; '\0' otherwise.
char DriveLetter(const std::string& arg)
{
    if (arg.size() < 2 || arg.size() > 3 || !std::isalpha(static_cast<unsigned char>(arg[0])) || arg[1] != ':')
        return '\0';
    if (arg.size() == 3 && arg[2] != '\\' && arg[2] != '/')
        return '\0';
    return static_cast<char>(std::toupper(static_cast<unsigned char>(arg[0])));
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "syslinux.exe: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    char letter = '\0';
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-f" || arg == "-F")
            continue;  // the installer is always forced: the program checked the key itself
        char candidate = DriveLetter(arg);
        if (!candidate || letter)
            return Fail("usage: syslinux.exe -f <drive>:\\");
        letter = candidate;
    }
    if (!letter)
        return Fail("usage: syslinux.exe -f <drive>:\\");

    std::optional<DriveVolume> volume = FindVolume(std::getenv("BOOTWRIGHT_DRIVES"), letter);
    if (!volume)
        return Fail(std::string("drive ") + letter + ": is not known");

    std::string offset = std::to_string(volume->offset);
    std::vector<char*> args{const_cast<char*>("syslinux"), const_cast<char*>("--install"),
                            const_cast<char*>("--force"),  const_cast<char*>("--offset"),
                            offset.data(),                 volume->backing.data(),
                            nullptr};
    execvp("syslinux", args.data());
    return Fail(std::string("cannot run syslinux: ") + std::strerror(errno));
}
