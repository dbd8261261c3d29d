// The UEFI menu made from a key's syslinux.cfg and menu.msg. Input: syslinux.cfg, then
// menu.msg after FF FF. Whatever the files hold, GRUB reads only the commands the menu is
// made of: every line after the fixed header, read with GRUB's quoting, is one of them, with
// its text in closed single quotes or in words that hold nothing GRUB acts on.
#include <string>
#include <vector>

#include "bootconfig/GrubMenu.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The words of a line as GRUB splits them: single quotes keep everything up to the next
// one, a backslash keeps the next byte. Fails on an unclosed quote or on a byte GRUB would
// act on outside quotes ($ ; | & < > " { } and control bytes), a final lone brace aside.
std::vector<std::string> GrubWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            size_t close = line.find('\'', i + 1);
            Check(close != std::string::npos);
            word += line.substr(i + 1, close - i - 1);
            i = close;
        } else if (c == '\\') {
            Check(i + 1 < line.size());
            word += line[++i];
        } else {
            bool brace = (c == '{' || c == '}') && i + 1 == line.size() && (i == 0 || line[i - 1] == ' ');
            Check(brace || (static_cast<unsigned char>(c) > ' ' && std::string("$;|&<>\"{}").find(c) == std::string::npos));
            word += c;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool IsNumber(const std::string& text, size_t from)
{
    return text.size() > from && text.find_first_not_of("-0123456789", from) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t gap = input.find("\xFF\xFF");
    std::string config = input.substr(0, gap), menu = gap == std::string::npos ? "" : input.substr(gap + 2);
    std::string grub = GrubMenuFromSyslinux(config, menu);

    const std::string header = GrubMenuFromSyslinux("", "");
    size_t headerEnd = header.find("set ");   // the fixed lines end where the settings begin
    Check(grub.compare(0, headerEnd, header, 0, headerEnd) == 0);
    bool inEntry = false;
    for (size_t start = headerEnd, end; start < grub.size(); start = end + 1) {
        end = grub.find('\n', start);
        Check(end != std::string::npos);
        std::vector<std::string> words = GrubWords(grub.substr(start, end - start));
        Check(!words.empty());
        const std::string& command = words[0];
        if (!inEntry && command == "set")
            Check(words.size() == 2 && (words[1].rfind("default=", 0) == 0 ? IsNumber(words[1], 8)
                                                                            : words[1].rfind("timeout=", 0) == 0 && IsNumber(words[1], 8)));
        else if (command == "echo")
            Check(words.size() == 2 && words[1][0] != '-');
        else if (command == "sleep")
            Check(words.size() == 3 && words[1] == "--interruptible" && IsNumber(words[2], 0));
        else if (!inEntry && command == "menuentry") {
            Check(words.size() == 3 && words[1][0] != '-' && words[2] == "{");
            inEntry = true;
        }
        else if (inEntry && (command == "linux" || command == "initrd"))
            Check(words.size() >= 2 && words[1][0] == '/' && words[1].find('/', 1) == std::string::npos);
        else {
            Check(inEntry && command == "}" && words.size() == 1);
            inEntry = false;
        }
    }
    Check(!inEntry);
    return 0;
}
