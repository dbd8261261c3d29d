#include "platform/machines/SandboxMachine.h"

#include "platform/disks/BlockDevices.h"
#include "platform/machines/Backings.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <optional>
#include <utility>

#include <sys/stat.h>

namespace platform {
namespace {

// Splits a line into words; "quoted text" is one word; '#' outside quotes ends the line.
bool SplitLine(const std::string& line, std::vector<std::string>& words)
{
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                return false;
            words.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t end = line.find_first_of(" \t\r#\"", i);
            if (end == std::string::npos)
                end = line.size();
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

bool ParseNumber(const std::string& text, uint64_t& value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::string Resolve(const std::string& folder, const std::string& path)
{
    return !path.empty() && path[0] == '/' ? path : folder + "/" + path;
}

// What machine.conf says, line by line; the checks that need every line come after.
class ConfReader {
public:
    explicit ConfReader(std::string folder) : folder_(std::move(folder)) {}

    // An empty text when the line is good, else why not.
    std::string Line(const std::vector<std::string>& w, int lineNumber)
    {
        if (w[0] == "disk")
            return Disk(w);
        if (w[0] == "floppy")
            return Floppy(w);
        if (w[0] == "fault")
            return FaultLine(w, lineNumber);
        if (w[0] == "registry")
            return Registry(w, lineNumber);
        return "unknown item '" + w[0] + "'";
    }

    std::map<int, platform::Disk> disks;
    std::optional<std::string> floppies[2];
    struct Pending {
        int disk;
        Fault fault;
        bool unreadable;
        int line;
        bool lost = false;   // a "lose" line: the disk keeps only the sectors before fault.sector
    };
    std::vector<Pending> pending;  // fault and registry lines, checked once every disk is known

private:
    std::string Disk(const std::vector<std::string>& w)
    {
        uint64_t n = 0;
        if (w.size() != 5)
            return "expected: disk NUMBER BUS BACKING \"MODEL\"";
        if (!ParseNumber(w[1], n) || n > 31)
            return "disk number must be 0 to 31";
        if (disks.count(int(n)))
            return "disk " + w[1] + " is defined twice";
        platform::Disk disk;
        disk.number = int(n);
        disk.bus = w[2];
        disk.backing = Resolve(folder_, w[3]);
        disk.model = w[4];
        std::string why = Backing(disk.backing, disk.size);
        if (why.empty())
            disks[disk.number] = disk;
        return why;
    }

    std::string Floppy(const std::vector<std::string>& w)
    {
        if (w.size() != 3 || (w[1] != "A" && w[1] != "B"))
            return "expected: floppy A|B BACKING";
        std::string backing = Resolve(folder_, w[2]);
        uint64_t size = 0;
        std::string why = Backing(backing, size);
        if (why.empty())
            floppies[w[1] == "B"] = backing;
        return why;
    }

    std::string FaultLine(const std::vector<std::string>& w, int lineNumber)
    {
        uint64_t n = 0;
        Fault fault;
        if (w.size() != 4 || !ParseNumber(w[1], n) || n > 31 || (w[2] != "read" && w[2] != "write" && w[2] != "lose"))
            return "expected: fault DISK read|write|lose SECTOR";
        fault.write = w[2] == "write";
        if (!ParseNumber(w[3], fault.sector))
            return "bad sector number " + w[3];
        if (w[2] == "lose" && fault.sector == 0)
            return "a disk that loses every write from sector 0 is not a disk";
        pending.push_back({int(n), fault, false, lineNumber, w[2] == "lose"});
        return "";
    }

    std::string Registry(const std::vector<std::string>& w, int lineNumber)
    {
        uint64_t n = 0;
        if (w.size() != 3 || w[1] != "unreadable" || !ParseNumber(w[2], n) || n > 31)
            return "expected: registry unreadable DISK";
        pending.push_back({int(n), {}, true, lineNumber});
        return "";
    }

    // A backing is an image file or a block device, and no other disk or floppy stands on
    // it: two disks over one file, by another name, a hard link or a loop device over it,
    // would let the "key" overwrite the system image. It is looked at before it is opened,
    // as opening a FIFO would wait for a writer forever.
    std::string Backing(const std::string& path, uint64_t& size)
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return "backing " + path + " cannot be opened";
        if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
            return "backing " + path + " is neither an image file nor a block device";
        FileIdentity identity = UnderlyingFile(st, SysfsPaths{});
        bool loop = S_ISBLK(st.st_mode) && identity.inode != 0;
        for (const auto& [other, otherPath] : identities_)
            if (other == identity)
                return "backing " + path + (loop ? " is a loop device over the same file as " : " is the same file as ") +
                       otherPath;
        auto bytes = BackingSize(path);
        if (!bytes)
            return "backing " + path + " cannot be opened";
        identities_.emplace_back(identity, path);
        size = *bytes;
        return "";
    }

    std::string folder_;
    std::vector<std::pair<FileIdentity, std::string>> identities_;
};

}  // namespace

std::unique_ptr<SandboxMachine> SandboxMachine::Load(const std::string& folder, std::string& error)
{
    std::string confPath = folder + "/machine.conf";
    std::ifstream in(confPath);
    if (!in) {
        error = confPath + ": cannot be read";
        return nullptr;
    }
    ConfReader conf(folder);
    int lineNumber = 0;
    auto fail = [&](int at, const std::string& why) {
        error = confPath + (at > 0 ? ":" + std::to_string(at) : std::string()) + ": " + why;
        return nullptr;
    };
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        std::vector<std::string> words;
        if (!SplitLine(line, words))
            return fail(lineNumber, "unterminated quoted text");
        if (words.empty())
            continue;
        if (std::string why = conf.Line(words, lineNumber); !why.empty())
            return fail(lineNumber, why);
    }
    for (const auto& item : conf.pending) {
        if (!conf.disks.count(item.disk))
            return fail(item.line, (item.unreadable ? "disk " : "fault on disk ") + std::to_string(item.disk) +
                                       (item.unreadable ? " is not defined" : ", which is not defined"));
        if (item.unreadable)
            conf.disks[item.disk].registryUnreadable = true;
        else if (item.lost)
            conf.disks[item.disk].keptSectors = item.fault.sector;
        else
            conf.disks[item.disk].faults.push_back(item.fault);
    }
    std::vector<Disk> list;
    for (auto& [number, disk] : conf.disks) {
        if (number != int(list.size()))
            return fail(0, "disk numbers must run 0, 1, ... without gaps (disk " + std::to_string(list.size()) +
                               " is missing)");
        list.push_back(disk);
    }
    return std::make_unique<SandboxMachine>(std::move(list), conf.floppies[0], conf.floppies[1]);
}

}  // namespace platform
