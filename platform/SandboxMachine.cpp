#include "platform/SandboxMachine.h"

#include "platform/BlockDevices.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>

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

}  // namespace

std::unique_ptr<SandboxMachine> SandboxMachine::Load(const std::string& folder, std::string& error)
{
    std::string confPath = folder + "/machine.conf";
    std::ifstream in(confPath);
    if (!in) {
        error = confPath + ": cannot be read";
        return nullptr;
    }
    std::map<int, Disk> disks;
    std::optional<std::string> floppies[2];
    struct PendingFault { int disk; Fault fault; int line; };
    std::vector<PendingFault> faults;
    struct PendingLoss { int disk; uint64_t sector; int line; };
    std::vector<PendingLoss> lost;
    std::vector<std::pair<int, int>> unreadable;  // disk, line

    std::string line;
    int lineNumber = 0;
    auto fail = [&](const std::string& why) {
        error = confPath + ":" + std::to_string(lineNumber) + ": " + why;
        return nullptr;
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        std::vector<std::string> w;
        if (!SplitLine(line, w))
            return fail("unterminated quoted text");
        if (w.empty())
            continue;
        uint64_t n = 0;
        if (w[0] == "disk") {
            if (w.size() != 5)
                return fail("expected: disk NUMBER BUS BACKING \"MODEL\"");
            if (!ParseNumber(w[1], n) || n > 31)
                return fail("disk number must be 0 to 31");
            if (disks.count(int(n)))
                return fail("disk " + w[1] + " is defined twice");
            Disk disk;
            disk.number = int(n);
            disk.bus = w[2];
            disk.backing = Resolve(folder, w[3]);
            disk.model = w[4];
            auto size = BackingSize(disk.backing);
            if (!size)
                return fail("backing " + disk.backing + " cannot be opened");
            disk.size = *size;
            disks[disk.number] = disk;
        } else if (w[0] == "floppy") {
            if (w.size() != 3 || (w[1] != "A" && w[1] != "B"))
                return fail("expected: floppy A|B BACKING");
            std::string backing = Resolve(folder, w[2]);
            if (!BackingSize(backing))
                return fail("backing " + backing + " cannot be opened");
            floppies[w[1] == "B"] = backing;
        } else if (w[0] == "fault") {
            if (w.size() != 4 || !ParseNumber(w[1], n) || (w[2] != "read" && w[2] != "write" && w[2] != "lose"))
                return fail("expected: fault DISK read|write|lose SECTOR");
            Fault fault;
            fault.write = w[2] == "write";
            if (!ParseNumber(w[3], fault.sector))
                return fail("bad sector number " + w[3]);
            if (w[2] == "lose")
                lost.push_back({int(n), fault.sector, lineNumber});
            else
                faults.push_back({int(n), fault, lineNumber});
        } else if (w[0] == "registry") {
            if (w.size() != 3 || w[1] != "unreadable" || !ParseNumber(w[2], n) || n > 31)
                return fail("expected: registry unreadable DISK");
            unreadable.emplace_back(int(n), lineNumber);
        } else {
            return fail("unknown item '" + w[0] + "'");
        }
    }
    for (const auto& pending : faults) {
        lineNumber = pending.line;
        if (!disks.count(pending.disk))
            return fail("fault on disk " + std::to_string(pending.disk) + ", which is not defined");
        disks[pending.disk].faults.push_back(pending.fault);
    }
    for (const auto& pending : lost) {
        lineNumber = pending.line;
        if (!disks.count(pending.disk))
            return fail("fault on disk " + std::to_string(pending.disk) + ", which is not defined");
        if (pending.sector == 0)
            return fail("a disk that loses every write from sector 0 is not a disk");
        disks[pending.disk].keptSectors = pending.sector;
    }
    for (auto [disk, at] : unreadable) {
        lineNumber = at;
        if (!disks.count(disk))
            return fail("disk " + std::to_string(disk) + " is not defined");
        disks[disk].registryUnreadable = true;
    }
    std::vector<Disk> list;
    for (auto& [number, disk] : disks) {
        if (number != int(list.size())) {
            lineNumber = 0;
            error = confPath + ": disk numbers must run 0, 1, ... without gaps (disk " +
                    std::to_string(list.size()) + " is missing)";
            return nullptr;
        }
        list.push_back(disk);
    }
    return std::make_unique<SandboxMachine>(std::move(list), floppies[0], floppies[1]);
}

}  // namespace platform
