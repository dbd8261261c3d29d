// How the choices of syslinux.cfg become GRUB menu entries. SYSLINUX reads its keywords in
// any letter case, gives a label the kernel, append and initrd lines up to the next label,
// and counts its timeout in tenths of a second; GRUB counts seconds and boots its default
// by number. A MEMDISK choice cannot start under UEFI: its entry says so and returns.
#include "bootconfig/GrubMenu.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace {

const char kHeader[] =
    "# The menu of this key for PCs that start in UEFI mode, written by Bootwright from\n"
    "# syslinux.cfg each time it writes that file.\n"
    "# GRUB starts from the key's own partition, whatever other disks hold.\n"
    "regexp --set=1:root '^\\(([^)]*)\\)' \"$cmdpath\"\n";

const char kBiosOnlyBody[] =
    "\techo 'This choice starts a floppy disk image, which only a PC that was started in'\n"
    "\techo 'legacy BIOS mode (CSM) can do.'\n"
    "\techo 'The menu comes back in 30 seconds, or at once with Esc.'\n"
    "\tsleep --interruptible 30\n";

// How long the say lines stand before the menu takes the screen.
const char kSayPause[] = "sleep --interruptible 2\n";

constexpr unsigned long kLongestTimeout = 36000;   // tenths: an hour

// A label block of syslinux.cfg, as SYSLINUX would start it.
struct Choice {
    std::string label;
    std::string kernel;
    std::optional<std::string> append;   // none: the append line before the first label
    std::string initrd;                  // an initrd line's files, comma-separated
};

struct Syslinux {
    std::vector<Choice> choices;
    std::vector<std::string> says;
    std::string defaultLabel;
    std::string globalAppend;
    unsigned long tenths = 0;   // 0: wait for a choice
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Trimmed(const std::string& text)
{
    auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    auto last = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(first), IsBlank);
    return std::string(first, last.base());
}

std::vector<std::string> Split(const std::string& text, bool (*isGap)(char))
{
    std::vector<std::string> parts;
    auto at = text.begin();
    while (at != text.end()) {
        auto end = std::find_if(at, text.end(), isGap);
        if (end != at)
            parts.emplace_back(at, end);
        at = end == text.end() ? end : end + 1;
    }
    return parts;
}

std::vector<std::string> Lines(const std::string& text) { return Split(text, [](char c) { return c == '\n'; }); }
std::vector<std::string> Words(const std::string& text) { return Split(text, IsBlank); }

// The list of an initrd line or initrd= word; an empty part stays, and is refused as a name.
std::vector<std::string> Files(const std::string& list)
{
    std::vector<std::string> files;
    for (size_t from = 0; from <= list.size() && !list.empty();) {
        size_t comma = std::min(list.find(',', from), list.size());
        files.push_back(list.substr(from, comma - from));
        from = comma + 1;
    }
    return files;
}

unsigned long Number(const std::string& text)
{
    unsigned long number = 0;
    for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        number = std::min(number * 10 + static_cast<unsigned long>(text[i] - '0'), kLongestTimeout);
    return number;
}

Syslinux Read(const std::string& config)
{
    Syslinux read;
    for (const std::string& line : Lines(config)) {
        std::string text = Trimmed(line);
        size_t gap = std::find_if(text.begin(), text.end(), IsBlank) - text.begin();
        std::string keyword = Lower(text.substr(0, gap));
        std::string rest = Trimmed(text.substr(gap));
        Choice* choice = read.choices.empty() ? nullptr : &read.choices.back();
        if (keyword == "label")
            read.choices.push_back({rest, "", std::nullopt, ""});
        else if (keyword == "say")
            read.says.push_back(rest);
        else if (keyword == "default")
            read.defaultLabel = Words(rest).empty() ? "" : Words(rest).front();
        else if (keyword == "timeout")
            read.tenths = Number(rest);
        else if (keyword == "append" && choice)
            choice->append = rest;
        else if (keyword == "append")
            read.globalAppend = rest;
        else if ((keyword == "kernel" || keyword == "linux") && choice)
            choice->kernel = rest;
        else if (keyword == "initrd" && choice)
            choice->initrd = rest;
    }
    return read;
}

// The long name of each short name in menu.msg's entry lines ("        flash         - Korvel
// ..."); a later line of the same short name wins, as the newest entry comes last.
std::map<std::string, std::string> LongNames(const std::string& menu)
{
    std::map<std::string, std::string> names;
    for (const std::string& line : Lines(menu)) {
        size_t first = line.find_first_not_of(' ');
        size_t gap = line.find(' ', first);
        size_t dash = line.find_first_not_of(' ', gap);
        if (dash != std::string::npos && line.compare(dash, 2, "- ") == 0)
            names[line.substr(first, gap - first)] = Trimmed(line.substr(dash + 2));
    }
    return names;
}

// A file in the key's root that GRUB can be given as it stands.
bool IsPlainName(const std::string& name)
{
    auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-' || c == '+' || c == '~';
    };
    return std::all_of(name.begin(), name.end(), allowed) && name.find_first_not_of('.') != std::string::npos;
}

// A word of a boot line that reaches the kernel unchanged: GRUB escapes quotes and
// backslashes in what it hands on, and the kernel would read them differently.
bool ReachesKernel(const std::string& word)
{
    return std::all_of(word.begin(), word.end(),
                       [](char c) { return c > ' ' && c < 0x7F && c != '"' && c != '\'' && c != '\\'; });
}

// GRUB's single quotes keep every byte as it stands, the quote itself excepted, which is
// closed, escaped and opened again.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A word bare when it holds nothing that GRUB's parser acts on ($, ;, braces, ...).
std::string Word(const std::string& word)
{
    bool bare = std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string("_./=,:+@%~-").find(c) != std::string::npos;
    });
    return bare ? word : Quoted(word);
}

// Text shown by a title or an echo, quoted. Control characters become '?', and text that
// begins with a hyphen gets a space in front: menuentry and echo would take it for their
// options (menuentry --source=... runs what follows the equals sign).
std::string Shown(std::string text)
{
    for (char& c : text)
        if ((c >= 0 && c < ' ') || c == 0x7F)
            c = '?';
    return Quoted(!text.empty() && text[0] == '-' ? " " + text : text);
}

// The commands of a choice's entry; none when GRUB cannot start it as SYSLINUX would.
std::optional<std::string> Body(const Choice& choice, const std::string& globalAppend)
{
    std::vector<std::string> kernel = Words(choice.kernel);
    if (kernel.size() != 1 || !IsPlainName(kernel[0]))
        return std::nullopt;
    if (Lower(kernel[0]) == "memdisk")
        return kBiosOnlyBody;
    std::vector<std::string> initrds = Files(choice.initrd);
    std::string kernelLine = "\tlinux /" + kernel[0];
    std::string append = choice.append.value_or(globalAppend);
    for (const std::string& word : Words(append == "-" ? "" : append)) {
        if (word.compare(0, 7, "initrd=") == 0) {
            std::vector<std::string> more = Files(word.substr(7));
            initrds.insert(initrds.end(), more.begin(), more.end());
        } else if (ReachesKernel(word)) {
            kernelLine += " " + Word(word);
        } else {
            return std::nullopt;
        }
    }
    if (initrds.empty() || !std::all_of(initrds.begin(), initrds.end(), IsPlainName))
        return std::nullopt;
    std::string initrd = "\tinitrd";
    for (const std::string& name : initrds)
        initrd += " /" + name;
    return kernelLine + "\n" + initrd + "\n";
}

}  // namespace

std::string GrubMenuFromSyslinux(const std::string& config, const std::string& menu)
{
    Syslinux syslinux = Read(config);
    std::map<std::string, std::string> longNames = LongNames(menu);
    std::string entries;
    std::vector<bool> biosOnly;
    int defaultEntry = -1;
    for (const Choice& choice : syslinux.choices) {
        std::optional<std::string> body = Body(choice, syslinux.globalAppend);
        if (!body || choice.label.empty())
            continue;
        if (defaultEntry < 0 && choice.label == syslinux.defaultLabel)
            defaultEntry = static_cast<int>(biosOnly.size());
        biosOnly.push_back(*body == kBiosOnlyBody);
        auto longName = longNames.find(choice.label);
        std::string title = longName != longNames.end() && !longName->second.empty() ? longName->second : choice.label;
        entries += "menuentry " + Shown(title) + " {\n" + *body + "}\n";
    }

    std::string grub = kHeader;
    if (defaultEntry >= 0)
        grub += "set default=" + std::to_string(defaultEntry) + "\n";
    // A default that cannot start here would come back again and again: the menu waits.
    bool waits = syslinux.tenths == 0 || biosOnly.empty() || biosOnly[std::max(defaultEntry, 0)];
    grub += "set timeout=" + (waits ? std::string("-1") : std::to_string((syslinux.tenths + 9) / 10)) + "\n";
    for (const std::string& say : syslinux.says)
        grub += "echo " + Shown(say) + "\n";
    if (!syslinux.says.empty())
        grub += kSayPause;
    return grub + entries;
}
