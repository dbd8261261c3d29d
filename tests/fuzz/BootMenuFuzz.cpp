// The boot menu files a key may hold, edited by the flash and the floppy-image operations.
// Input: a flags byte (1: the flash package, else a floppy image; 2: no syslinux.cfg; 4: no
// menu.msg), then syslinux.cfg, menu.msg, the short name and the long name, apart by FF FF.
//
// With names the configuration page accepts, read as SYSLINUX reads the files (keywords
// after blanks and in any case, names in any case):
// - every label of the input is there as often as before, the new one exactly once;
// - exactly one default line names a label; this needs an input with at most one default
//   line, and for a floppy image one that names a label of the input;
// - every input line but the edited ones (default lines, blocks of the short name, star
//   lines and entries of the short name) is there, byte for byte and in order;
// - the lines added end as the file's first line does.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Afx.h"
#include "keydrive/KeyDrive.h"
#include "res/resource.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end) {
        end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return text;
}

// The first word of a line in lower case; `rest`, the rest without the blanks around it.
std::string Keyword(const std::string& line, std::string* rest = nullptr)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    auto start = std::find_if_not(line.begin(), line.end(), blank), end = std::find_if(start, line.end(), blank);
    auto from = std::find_if_not(end, line.end(), blank), last = std::find_if_not(line.rbegin(), line.rend(), blank).base();
    if (rest)
        *rest = Lower(from < last ? std::string(from, last) : "");
    return Lower(std::string(start, end));
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

std::string EndOf(const std::string& line)
{
    return line.size() > 1 && line.compare(line.size() - 2, 2, "\r\n") == 0 ? "\r\n" : line.back() == '\n' ? "\n" : "";
}

// The end of the lines added: CR LF when the text's first line ends in CR, else LF.
std::string FirstEnd(const std::string& text)
{
    size_t end = std::min(text.find('\n'), text.size());
    return end > 0 && text[end - 1] == '\r' ? "\r\n" : "\n";
}

// Every line of `before` that may not go is in `after` in order; the last may gain its end.
template <class MayGo> void Kept(const std::string& before, const std::string& after, MayGo mayGo)
{
    std::vector<std::string> in = Lines(before), out = Lines(after);
    size_t at = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        if (mayGo(in[i]))
            continue;
        while (at < out.size() && out[at] != in[i] && !(i + 1 == in.size() && out[at].rfind(in[i], 0) == 0))
            ++at;
        Check(at++ < out.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1), field[4];
    for (size_t i = 0, start = 0; i < 4 && start <= input.size(); ++i, start += 2) {
        size_t end = i < 3 ? std::min(input.find("\xff\xff", start), input.size()) : input.size();
        field[i] = input.substr(start, end - start);
        start = end;
    }
    bool flash = data[0] & 1, configFound = !(data[0] & 2), menuFound = configFound && !(data[0] & 4);
    static CKeyDrive drive;
    std::string config = configFound ? field[0] : "", menu = !(data[0] & 4) ? field[1] : "";
    std::string shortName = flash ? LoadResString(IDS_FLASH_SHORT) : field[2];
    std::string longName = flash ? LoadResString(IDS_FLASH_LONG) : field[3];
    bool makeDefault = flash || !drive.HasDefaultEntry(config);   // as the floppy image's operation decides
    drive.ComposeBootMenu(config, configFound, menu, !(data[0] & 4), shortName, longName, makeDefault, !flash);

    // Names as the configuration page passes them (a line edit holds no line break), and a
    // configuration whose default can be kept.
    std::vector<std::string> labels = Arguments(field[0], "label"), defaults = Arguments(field[0], "default");
    bool namesTaken = flash || (!CKeyDrive::ShortNameProblem(shortName) && longName.find_first_of("\r\n") == std::string::npos);
    bool defaultKept = defaults.empty() || (defaults.size() == 1 && (flash || std::count(labels.begin(), labels.end(), defaults[0])));
    if (!namesTaken || (configFound && !defaultKept))
        return 0;
    std::string name = Lower(shortName), end = FirstEnd(field[0]);
    if (!configFound)
        labels.clear();

    std::vector<std::string> labelsAfter = Arguments(config, "label"), defaultsAfter = Arguments(config, "default");
    Check(std::count(labelsAfter.begin(), labelsAfter.end(), name) == 1);
    Check(labelsAfter.size() == 1 + labels.size() - std::count(labels.begin(), labels.end(), name));
    for (const std::string& label : labels)
        Check(label == name ||
              std::count(labelsAfter.begin(), labelsAfter.end(), label) == std::count(labels.begin(), labels.end(), label));
    Check(defaultsAfter.size() == 1 && std::count(labelsAfter.begin(), labelsAfter.end(), defaultsAfter[0]));
    std::vector<std::string> out = Lines(config);
    if (configFound) {
        bool inBlock = false;   // in a block of the short name: up to a line that begins with a letter
        Kept(field[0], config, [&](const std::string& line) {
            std::string rest, keyword = Keyword(line, &rest);
            if (keyword == "label" || keyword == "default" || std::isalpha(static_cast<unsigned char>(line[0])))
                inBlock = keyword == "label" && rest == name;
            return inBlock || keyword == "default";
        });
        auto newBlock = std::find_if(out.rbegin(), out.rend(), [](auto& l) { return Keyword(l) == "label"; }).base() - 1;
        for (auto line = newBlock; line != out.end(); ++line)
            Check(EndOf(*line) == end);
        for (const std::string& line : out)
            Check(!makeDefault || Keyword(line) != "default" || EndOf(line) == end);
    }

    auto menuLineMayGo = [&](const std::string& line) {
        return line.substr(0, line.find_first_of("\r\n")) == "*" || Keyword(line) == name;
    };
    out = Lines(menu);
    Check(out.size() >= 11 && std::count_if(out.begin(), out.end(), [&](auto& l) { return Keyword(l) == name; }) == 1);
    if (menuFound) {
        Kept(field[1], menu, menuLineMayGo);
        end = FirstEnd(field[1]);
        for (size_t i = 0; i < 5; ++i)
            Check(out[i] == "*" + end && out[out.size() - 1 - i] == "*" + end && EndOf(out[out.size() - 6]) == end);
    }
    return 0;
}
