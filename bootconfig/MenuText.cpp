// The text of the boot menu files: the entry lines of menu.msg, the default line and the
// label blocks of syslinux.cfg. A file is edited line by line and only where it must change:
// every other byte stays as it was (empty lines, NUL bytes, a last line without its end),
// and each line keeps its own end. Lines added take the end of the file's first line, so a
// CR LF file stays CR LF. Keywords are read as SYSLINUX reads them: after leading blanks, in
// any case, up to a blank (a CR is one); names compare as FAT and SYSLINUX compare them,
// without regard to case.
#include "keydrive/KeyDrive.h"

#include <algorithm>
#include <vector>

#include "framework/Afx.h"
#include "res/resource.h"

namespace {

// Every byte SYSLINUX takes for a blank: those up to the space, the CR and NUL among them.
const std::string& Blanks()
{
    static const std::string blanks = [] {
        std::string all;
        for (int c = 0; c <= ' '; ++c)
            all += static_cast<char>(c);
        return all;
    }();
    return blanks;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// The lines of a text, each with its LF (the last one may have none): joined again they are
// the text, byte for byte.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// A line without its LF and the CR before it.
std::string Content(const std::string& line)
{
    size_t size = line.size();
    if (size > 0 && line[size - 1] == '\n')
        --size;
    if (size > 0 && line[size - 1] == '\r')
        --size;
    return line.substr(0, size);
}

bool IsBlankLine(const std::string& line) { return line.find_first_not_of(Blanks()) == std::string::npos; }

// The line end of a text: CR LF when its first line ends in CR (a last line may have lost
// its LF), else LF. What the edits add never changes it.
std::string LineEndOf(const std::string& text)
{
    size_t end = std::min(text.find('\n'), text.size());
    return end > 0 && text[end - 1] == '\r' ? "\r\n" : "\n";
}

// A text of the string table, whose lines end in LF, with the given line end.
std::string WithLineEnd(const std::string& text, const std::string& end)
{
    if (end == "\n")
        return text;
    std::string result;
    for (char c : text)
        result += c == '\n' ? end : std::string(1, c);
    return result;
}

// A text whose last line has no end gets one before anything is added after it; a CR it
// ends in is the start of a CR LF.
void EndLastLine(std::string& text, const std::string& end)
{
    if (!text.empty() && text.back() != '\n')
        text += text.back() == '\r' && end == "\r\n" ? "\n" : end;
}

// The first word of a line as SYSLINUX reads it, in lower case; `rest` is what follows it,
// without the blanks around.
std::string Keyword(const std::string& line, std::string* rest = nullptr)
{
    size_t position = 0;
    std::string word = CKeyDrive::NextToken(line, Blanks(), position);
    if (rest) {
        size_t first = line.find_first_not_of(Blanks(), position);
        *rest = first == std::string::npos ? "" : line.substr(first, line.find_last_not_of(Blanks()) + 1 - first);
    }
    for (char& c : word)
        c = Lower(c);
    return word;
}

// The first word of a string-table line template: "default" of "default %s\n", "label" of
// "label %s\n%s".
std::string KeywordOf(UINT nID) { return Keyword(LoadResString(nID)); }

bool IsLabelOf(const std::string& line, const std::string& labelKeyword, const std::string& shortName)
{
    std::string name;
    return Keyword(line, &name) == labelKeyword && SameName(name, shortName);
}

// The name an entry line of menu.msg starts with, after its indent.
std::string EntryName(const std::string& line)
{
    size_t position = 0;
    return CKeyDrive::NextToken(line, Blanks(), position);
}

// Whether the lines from `at` on begin with the lines of `block` (their ends aside).
bool BlockAt(const std::vector<std::string>& lines, size_t at, const std::vector<std::string>& block)
{
    if (block.empty() || lines.size() - at < block.size())
        return false;
    for (size_t i = 0; i < block.size(); ++i)
        if (Content(lines[at + i]) != Content(block[i]))
            return false;
    return true;
}

}  // namespace

std::string CKeyDrive::NextToken(const std::string& text, const std::string& delimiters, size_t& position)
{
    size_t start = text.find_first_not_of(delimiters, position);
    if (start == std::string::npos)
        return {};
    size_t end = text.find_first_of(delimiters, start);
    if (end == std::string::npos)
        end = text.size();
    position = end;
    return text.substr(start, end - start);
}

// The star blocks come off wherever they stand, every entry line of the short name goes, and
// the rest stays in its order between the opening star block and the new entry.
void CKeyDrive::UpdateMenuText(std::string& menu, const std::string& shortName, const std::string& longName)
{
    std::string end = LineEndOf(menu);
    std::vector<std::string> stars = SplitLines(LoadResString(IDS_STAR_OPEN));
    std::vector<std::string> lines = SplitLines(menu);
    std::string kept;
    for (size_t i = 0; i < lines.size();) {
        if (BlockAt(lines, i, stars)) {
            i += stars.size();
            continue;
        }
        std::string name = EntryName(lines[i]);
        if (name.empty() || !SameName(name, shortName))
            kept += lines[i];
        ++i;
    }
    EndLastLine(kept, end);
    std::string entry = FormatText(LoadResString(IDS_ENTRY_LINE).c_str(), shortName.c_str(), longName.c_str());
    menu = WithLineEnd(LoadResString(IDS_STAR_OPEN), end) + kept + WithLineEnd(entry, end) +
           WithLineEnd(LoadResString(IDS_STAR_CLOSE), end);
}

bool CKeyDrive::HasDefaultEntry(const std::string& config)
{
    std::string keyword = KeywordOf(IDS_DEFAULT_LINE);
    for (const std::string& line : SplitLines(config))
        if (Keyword(line) == keyword)
            return true;
    return false;
}

bool CKeyDrive::HasLabelBlock(const std::string& config, const std::string& shortName)
{
    std::string keyword = KeywordOf(IDS_LABEL_LINE);
    for (const std::string& line : SplitLines(config))
        if (IsLabelOf(line, keyword, shortName))
            return true;
    return false;
}

bool CKeyDrive::HasMenuEntry(const std::string& menu, const std::string& shortName)
{
    for (const std::string& line : SplitLines(menu))
        if (!shortName.empty() && SameName(EntryName(line), shortName))
            return true;
    return false;
}

// The first default line, and every line that reads the same, becomes the new one. A text
// without a default line gets one after the marker line, or first when it has no marker.
void CKeyDrive::SetDefaultEntry(std::string& config, const std::string& shortName)
{
    std::string keyword = KeywordOf(IDS_DEFAULT_LINE);
    std::string end = LineEndOf(config);
    std::string defaultLine = WithLineEnd(FormatText(LoadResString(IDS_DEFAULT_LINE).c_str(), shortName.c_str()), end);
    std::string marker = LoadResString(IDS_MARKER);
    std::vector<std::string> lines = SplitLines(config);
    size_t first = lines.size();
    size_t afterMarker = 0;
    for (size_t i = 0; i < lines.size() && first == lines.size(); ++i) {
        if (Keyword(lines[i]) == keyword)
            first = i;
        else if (afterMarker == 0 && Content(lines[i]) == marker)
            afterMarker = i + 1;
    }
    std::string result;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (first == lines.size() && i == afterMarker)
            result += defaultLine;
        if (first != lines.size() && Content(lines[i]) == Content(lines[first])) {
            result += defaultLine;
            continue;
        }
        result += lines[i];
        if (first == lines.size() && i + 1 == afterMarker)
            EndLastLine(result, end);   // the marker was the last line, without its end
    }
    if (first == lines.size() && afterMarker == lines.size())
        result += defaultLine;
    config = result;
}

// Every block of that name goes: its label line and the lines after it that do not begin
// with a letter, up to the last of them that holds more than blanks; a label or default line
// ends a block however it is indented. The new block is appended.
void CKeyDrive::PutLabelBlock(std::string& config, const std::string& shortName, const std::string& body)
{
    std::string labelKeyword = KeywordOf(IDS_LABEL_LINE);
    std::string defaultKeyword = KeywordOf(IDS_DEFAULT_LINE);
    std::string end = LineEndOf(config);
    std::vector<std::string> lines = SplitLines(config);
    std::string result;
    for (size_t i = 0; i < lines.size();) {
        if (!IsLabelOf(lines[i], labelKeyword, shortName)) {
            result += lines[i++];
            continue;
        }
        size_t last = i;
        for (size_t j = i + 1; j < lines.size() && !IsAsciiLetter(lines[j][0]); ++j) {
            std::string keyword = Keyword(lines[j]);
            if (keyword == labelKeyword || keyword == defaultKeyword)
                break;
            if (!IsBlankLine(lines[j]))
                last = j;
        }
        i = last + 1;   // blank lines after the block stay
    }
    EndLastLine(result, end);
    config = result + WithLineEnd(FormatText(LoadResString(IDS_LABEL_LINE).c_str(), shortName.c_str(), body.c_str()), end);
}
