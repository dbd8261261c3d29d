// The text of the boot menu files: tokens and lines, the entry lines of menu.msg, the
// default line and the label blocks of syslinux.cfg. Every comparison is of bytes and
// case-sensitive, and a text rebuilt from its lines loses its empty lines.
#include "keydrive/KeyDrive.h"

#include "framework/Afx.h"
#include "res/resource.h"

namespace {

const char kLineEnd[] = "\n";

bool StartsWith(const std::string& line, const std::string& word) { return line.compare(0, word.size(), word) == 0; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Every occurrence of `what`, taken from left to right without overlapping, replaced.
std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with)
{
    if (what.empty())
        return text;
    std::string result;
    size_t from = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        result += text.substr(from, at - from) + with;
        from = at + what.size();
    }
    return result + text.substr(from);
}

std::string Trim(const std::string& word, const char* characters)
{
    size_t first = word.find_first_not_of(characters);
    if (first == std::string::npos)
        return {};
    return word.substr(first, word.find_last_not_of(characters) - first + 1);
}

// The first word of a string-table line template: "default" of "default %s\n", "label" of
// "label %s\n%s".
std::string KeywordOf(UINT nID)
{
    size_t position = 0;
    return CKeyDrive::NextToken(LoadResString(nID), " ", position);
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

// The star blocks come off, the lines before the first line of only spaces and hyphens stay
// unless their first word is the short name, and the new entry comes last.
void CKeyDrive::UpdateMenuText(std::string& menu, const std::string& shortName, const std::string& longName)
{
    std::string opening = LoadResString(IDS_STAR_OPEN);
    std::string text = ReplaceAll(menu, opening, "");
    std::string result;
    size_t position = 0;
    for (std::string line = NextToken(text, kLineEnd, position); !line.empty();
         line = NextToken(text, kLineEnd, position)) {
        size_t at = 0;
        std::string word = NextToken(line, " -", at);
        if (word.empty())
            break;
        word = Trim(word, "\t\n ");
        if (!word.empty() && word != shortName)
            result += line + kLineEnd;
    }
    menu = opening + result + FormatText(LoadResString(IDS_ENTRY_LINE).c_str(), shortName.c_str(), longName.c_str()) +
           LoadResString(IDS_STAR_CLOSE);
}

bool CKeyDrive::HasDefaultEntry(const std::string& config)
{
    std::string keyword = KeywordOf(IDS_DEFAULT_LINE);
    size_t position = 0;
    for (std::string line = NextToken(config, kLineEnd, position); !line.empty();
         line = NextToken(config, kLineEnd, position))
        if (StartsWith(line, keyword))
            return true;
    return false;
}

// The first default line, and every line that reads the same, becomes the new one. A text
// without a default line gets one after the marker line, or first when it has no marker.
void CKeyDrive::SetDefaultEntry(std::string& config, const std::string& shortName)
{
    std::string keyword = KeywordOf(IDS_DEFAULT_LINE);
    std::string defaultLine = FormatText(LoadResString(IDS_DEFAULT_LINE).c_str(), shortName.c_str());
    std::string marker = LoadResString(IDS_MARKER);
    size_t afterMarker = 0;
    size_t position = 0;
    for (std::string line = NextToken(config, kLineEnd, position); !line.empty();
         line = NextToken(config, kLineEnd, position)) {
        if (StartsWith(line, keyword)) {
            config = ReplaceAll(config, line + kLineEnd, defaultLine);
            return;
        }
        if (line == marker && afterMarker == 0)
            afterMarker = position;
    }
    if (afterMarker == 0) {
        config.insert(0, defaultLine);
    } else if (afterMarker < config.size()) {
        config.insert(afterMarker + 1, defaultLine);
    } else {
        config += kLineEnd + defaultLine;  // the marker was the last line, without its LF
    }
}

// Every block of that name goes (its label line and the lines after it that do not begin
// with a letter); the new block is appended.
void CKeyDrive::PutLabelBlock(std::string& config, const std::string& shortName, const std::string& body)
{
    std::string keyword = KeywordOf(IDS_LABEL_LINE);
    std::string result;
    size_t position = 0;
    std::string line = NextToken(config, kLineEnd, position);
    while (!line.empty()) {
        size_t at = keyword.size();
        if (StartsWith(line, keyword) && NextToken(line, " \n", at) == shortName) {
            do
                line = NextToken(config, kLineEnd, position);
            while (!line.empty() && !IsAsciiLetter(line[0]));
            continue;
        }
        result += line + kLineEnd;
        line = NextToken(config, kLineEnd, position);
    }
    config = result + FormatText(LoadResString(IDS_LABEL_LINE).c_str(), shortName.c_str(), body.c_str());
}
