// The boot menu files a key may hold, edited by the flash and the floppy-image operations.
// Input: one byte of flags (1: the flash package, else a floppy image; 2: no syslinux.cfg;
// 4: no menu.msg), then syslinux.cfg, menu.msg, the short name and the long name, apart by
// the two bytes FF FF.
//
// Checked after every edit whose short name the configuration page accepts, reading the
// files as SYSLINUX does (keywords after blanks and in any case, names in any case):
// - every label the input had is there as often as before, the new one exactly once;
// - there is exactly one default line, and it names a label; this needs an input with at
//   most one default line, and for a floppy image one that names a label of the input;
// - every input line outside the edited ones (default lines, blocks of the short name, star
//   lines and entry lines of the short name in menu.msg) is there, byte for byte and in order;
// - the lines added end as the file's first line does.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Afx.h"
#include "keydrive/KeyDrive.h"
#include "res/resource.h"

namespace {

void Check(bool holds)
{
    if (!holds)
        std::abort();
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

std::string Lower(std::string text)
{
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return text;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// The keyword of a line in lower case, and the rest without the blanks around it.
std::string Keyword(const std::string& line, std::string* rest = nullptr)
{
    size_t start = 0, end;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    for (end = start; end < line.size() && !IsBlank(line[end]); ++end) {}
    size_t from = end, last = line.size();
    while (from < last && IsBlank(line[from]))
        ++from;
    while (last > from && IsBlank(line[last - 1]))
        --last;
    if (rest)
        *rest = Lower(line.substr(from, last - from));
    return Lower(line.substr(start, end - start));
}

std::vector<std::string> Arguments(const std::string& text, const std::string& keyword)
{
    std::vector<std::string> found;
    std::string rest;
    for (const std::string& line : Lines(text))
        if (Keyword(line, &rest) == keyword)
            found.push_back(rest);
    return found;
}

size_t Count(const std::vector<std::string>& names, const std::string& name)
{
    return std::count(names.begin(), names.end(), name);
}

std::string EndOf(const std::string& line)
{
    return line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0 ? "\r\n" : line.back() == '\n' ? "\n" : "";
}

// Every line of `before` that may not go is in `after`, in order; the last may gain an end.
void Kept(const std::string& before, const std::string& after, bool (*mayGo)(const std::string&, bool&))
{
    std::vector<std::string> in = Lines(before), out = Lines(after);
    size_t at = 0;
    bool inBlock = false;
    for (size_t i = 0; i < in.size(); ++i) {
        if (mayGo(in[i], inBlock))
            continue;
        while (at < out.size() && out[at] != in[i] && !(i + 1 == in.size() && out[at].rfind(in[i], 0) == 0))
            ++at;
        Check(at++ < out.size());
    }
}

std::string g_shortName;

// A default line, a block of the short name, the lines after its label line up to the next
// that begins with a letter.
bool ConfigLineMayGo(const std::string& line, bool& inBlock)
{
    std::string rest;
    std::string keyword = Keyword(line, &rest);
    if (keyword == "label")
        inBlock = rest == Lower(g_shortName);
    else if (IsLetter(line[0]) || keyword == "default")
        inBlock = false;
    return inBlock || keyword == "default";
}

bool MenuLineMayGo(const std::string& line, bool&)
{
    return line.substr(0, line.find_first_of("\r\n")) == "*" || Keyword(line) == Lower(g_shortName);
}

std::string FirstEnd(const std::string& text)
{
    size_t lf = text.find('\n');
    return lf != std::string::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

void CheckConfig(const std::string& before, bool found, const std::string& after, bool defaultSet)
{
    std::vector<std::string> labelsBefore = found ? Arguments(before, "label") : std::vector<std::string>{};
    std::vector<std::string> labelsAfter = Arguments(after, "label");
    std::string name = Lower(g_shortName);
    Check(Count(labelsAfter, name) == 1);
    for (const std::string& label : labelsBefore)
        Check(label == name || Count(labelsAfter, label) == Count(labelsBefore, label));
    Check(labelsAfter.size() == 1 + labelsBefore.size() - Count(labelsBefore, name));
    std::vector<std::string> defaults = Arguments(after, "default");
    Check(defaults.size() == 1 && Count(labelsAfter, defaults[0]) > 0);
    if (!found)
        return;
    Kept(before, after, ConfigLineMayGo);
    std::string end = FirstEnd(before);
    std::vector<std::string> out = Lines(after);
    size_t block = out.size();
    while (block > 0 && Keyword(out[block - 1]) != "label")
        --block;
    for (size_t i = block - 1; i < out.size(); ++i)
        Check(EndOf(out[i]) == end);
    for (const std::string& line : out)
        Check(!defaultSet || Keyword(line) != "default" || EndOf(line) == end);
}

void CheckMenu(const std::string& before, bool found, const std::string& after)
{
    std::vector<std::string> out = Lines(after);
    size_t entries = 0;
    bool unused = false;
    for (const std::string& line : out)
        entries += MenuLineMayGo(line, unused) && line.substr(0, line.find_first_of("\r\n")) != "*";
    Check(entries == 1 && out.size() >= 11);
    if (!found)
        return;
    Kept(before, after, MenuLineMayGo);
    std::string end = FirstEnd(before);
    for (size_t i = 0; i < 5; ++i)
        Check(out[i] == "*" + end && out[out.size() - 1 - i] == "*" + end);
    Check(EndOf(out[out.size() - 6]) == end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string fields[4];
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (size_t field = 0, start = 0; field < 4 && start <= input.size(); ++field) {
        size_t end = field < 3 ? std::min(input.find("\xff\xff", start), input.size()) : input.size();
        fields[field] = input.substr(start, end - start);
        start = end + 2;
    }
    bool flash = data[0] & 1, configFound = !(data[0] & 2), menuFound = !(data[0] & 4);
    static CKeyDrive drive;
    std::string config = configFound ? fields[0] : "", menu = menuFound ? fields[1] : "";
    g_shortName = flash ? LoadResString(IDS_FLASH_SHORT) : fields[2];
    std::string longName = flash ? LoadResString(IDS_FLASH_LONG) : fields[3];
    // The floppy image's default, as its operation decides it.
    bool makeDefault = flash || !drive.HasDefaultEntry(config);
    drive.ComposeBootMenu(config, configFound, menu, menuFound, g_shortName, longName, makeDefault, !flash);

    // Names as the configuration page passes them: a line edit holds no line break.
    if (!flash && (CKeyDrive::ShortNameProblem(g_shortName) != 0 || longName.find_first_of("\r\n") != std::string::npos))
        return 0;
    std::vector<std::string> defaults = Arguments(fields[0], "default");
    std::vector<std::string> labels = Arguments(fields[0], "label");
    if (configFound && (defaults.size() > 1 || (!flash && defaults.size() == 1 && Count(labels, defaults[0]) == 0)))
        return 0;
    CheckConfig(fields[0], configFound, config, makeDefault);
    CheckMenu(fields[1], configFound && menuFound, menu);
    return 0;
}
