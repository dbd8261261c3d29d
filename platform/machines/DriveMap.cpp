#include "platform/machines/DriveMap.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace platform {
namespace {

std::string Escape(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == '%' || c == ':' || c == ';') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::optional<std::string> Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        int high = i + 2 < text.size() ? Hex(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? Hex(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

template <typename T>
bool Number(const std::string& text, T& value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// The fields of an entry in order; the backing is whatever follows the last of them.
constexpr int kNumbers = 11;

std::optional<DriveMapEntry> DecodeEntry(const std::string& entry)
{
    if (entry.size() < 3 || entry[1] != '=' || !std::isalpha(static_cast<unsigned char>(entry[0])))
        return std::nullopt;
    DriveMapEntry out;
    out.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(entry[0])));
    std::vector<std::string> fields;
    size_t at = 2;
    for (int i = 0; i < kNumbers; ++i) {
        size_t colon = entry.find(':', at);
        if (colon == std::string::npos)
            return std::nullopt;
        fields.push_back(entry.substr(at, colon - at));
        at = colon + 1;
    }
    auto backing = Unescape(entry.substr(at));
    int holdsSystem = 0, held = 0;
    if (!backing || backing->empty() || !Number(fields[0], out.volume.offset) || !Number(fields[1], out.volume.length) ||
        !Number(fields[2], out.volume.disk) || !Number(fields[3], out.disk.deviceNumber) ||
        !Number(fields[4], out.disk.fileDevice) || !Number(fields[5], out.disk.fileInode) ||
        !Number(fields[6], out.disk.size) || !Number(fields[7], out.disk.diskSequence) ||
        !Number(fields[8], holdsSystem) || !Number(fields[9], out.descriptor) || !Number(fields[10], held))
        return std::nullopt;
    out.volume.backing = *backing;
    out.disk.number = out.volume.disk;
    out.disk.backing = *backing;
    out.disk.holdsSystem = holdsSystem != 0;
    out.held = held != 0;
    return out;
}

}  // namespace

std::string EncodeDriveMap(const std::vector<DriveMapEntry>& entries)
{
    std::string map;
    for (const DriveMapEntry& e : entries) {
        if (!map.empty())
            map += ';';
        map += e.letter;
        map += '=' + std::to_string(e.volume.offset) + ':' + std::to_string(e.volume.length) + ':' +
               std::to_string(e.volume.disk) + ':' + std::to_string(e.disk.deviceNumber) + ':' +
               std::to_string(e.disk.fileDevice) + ':' + std::to_string(e.disk.fileInode) + ':' +
               std::to_string(e.disk.size) + ':' + std::to_string(e.disk.diskSequence) + ':' +
               (e.disk.holdsSystem ? "1" : "0") + ':' + std::to_string(e.descriptor) + ':' + (e.held ? "1" : "0") + ':' +
               Escape(e.volume.backing);
    }
    return map;
}

std::vector<DriveMapEntry> DecodeDriveMap(const std::string& text)
{
    std::vector<DriveMapEntry> entries;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        if (auto entry = DecodeEntry(text.substr(start, end - start)))
            entries.push_back(*entry);
        start = end + 1;
    }
    return entries;
}

std::optional<DriveMapEntry> FindDrive(const std::string& text, char letter)
{
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const DriveMapEntry& entry : DecodeDriveMap(text))
        if (entry.letter == letter)
            return entry;
    return std::nullopt;
}

std::optional<DriveMapEntry> ChosenKeyDrive()
{
    Machine& machine = Machine::Current();
    const Disk* disk = machine.DiskByNumber(machine.ChosenDisk());
    char letter = disk ? machine.LetterOfDisk(disk->number) : '\0';
    std::optional<Volume> volume = letter ? machine.VolumeOf(letter) : std::nullopt;
    if (!volume)
        return std::nullopt;
    DriveMapEntry entry;
    entry.letter = letter;
    entry.volume = *volume;
    entry.disk = *disk;
    return entry;
}

}  // namespace platform
