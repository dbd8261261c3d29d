#include "platform/SysfsMachine.h"

#include "platform/BlockDevices.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {
namespace {

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadTrimmed(const std::string& path)
{
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

std::string RealPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDiskName(const std::string& name)
{
    if (name.rfind("mmcblk", 0) == 0)
        return name.find("boot") == std::string::npos && name.find("rpmb") == std::string::npos;
    return name.rfind("sd", 0) == 0 || name.rfind("nvme", 0) == 0 || name.rfind("vd", 0) == 0;
}

// Undoes the octal escapes of /proc/self/mounts ("\040" for a space).
std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Every disk name, and which disk each partition and "major:minor" number belongs to.
struct BlockIndex {
    std::map<std::string, std::string> diskOf;  // disk or partition name, or "maj:min" -> disk
    std::string sysBlock;

    explicit BlockIndex(const std::string& sysRoot) : sysBlock(sysRoot + "/block")
    {
        for (const std::string& disk : ListDir(sysBlock)) {
            diskOf[disk] = disk;
            std::string dev = ReadTrimmed(sysBlock + "/" + disk + "/dev");
            if (!dev.empty())
                diskOf[dev] = disk;
            for (const std::string& part : ListDir(sysBlock + "/" + disk)) {
                if (part.rfind(disk, 0) != 0)
                    continue;
                diskOf[part] = disk;
                std::string partDev = ReadTrimmed(sysBlock + "/" + disk + "/" + part + "/dev");
                if (!partDev.empty())
                    diskOf[partDev] = disk;
            }
        }
    }

    // Adds the disks under a block device name, following device-mapper and md slaves.
    void Collect(const std::string& key, std::set<std::string>& out, int depth = 0) const
    {
        auto it = diskOf.find(key);
        if (it == diskOf.end() || depth > 8)
            return;
        const std::string& disk = it->second;
        std::vector<std::string> slaves = ListDir(sysBlock + "/" + disk + "/slaves");
        if (slaves.empty()) {
            out.insert(disk);
            return;
        }
        for (const std::string& slave : slaves)
            Collect(slave, out, depth + 1);
    }

    void CollectSource(const std::string& source, std::set<std::string>& out) const
    {
        if (source.rfind("/dev/", 0) != 0)
            return;
        Collect(BaseName(source), out);
        std::string real = RealPath(source);
        if (!real.empty())
            Collect(BaseName(real), out);
        struct stat st {};
        if (::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            Collect(std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)), out);
    }
};

std::vector<Disk> ScanDisks(const SysfsPaths& paths)
{
    std::set<std::string> system = DisksHoldingSystem(paths);
    std::vector<Disk> disks;
    std::string sysBlock = paths.sysRoot + "/block";
    for (const std::string& name : ListDir(sysBlock)) {
        if (!IsDiskName(name))
            continue;
        std::string dir = sysBlock + "/" + name;
        uint64_t sectors = std::strtoull(ReadTrimmed(dir + "/size").c_str(), nullptr, 10);
        if (sectors == 0)
            continue;  // a card reader without a card
        std::string devicePath = RealPath(dir + "/device");
        if (devicePath.empty())
            devicePath = RealPath(dir);
        Disk disk;
        disk.number = static_cast<int>(disks.size());
        disk.kernelName = name;
        disk.backing = paths.devRoot + "/" + name;
        disk.size = sectors * 512;
        disk.holdsSystem = system.count(name) != 0;
        if (RunsThroughUsb(devicePath) && !disk.holdsSystem)
            disk.bus = "USBSTOR";
        else if (devicePath.find("/ata") != std::string::npos)
            disk.bus = "IDE";
        else
            disk.bus = "SCSI";
        std::string vendor = ReadTrimmed(dir + "/device/vendor");
        std::string model = ReadTrimmed(dir + "/device/model");
        disk.model = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
        if (disk.model.empty())
            disk.model = name;
        disks.push_back(disk);
    }
    return disks;
}

std::optional<std::string> FloppyAt(const SysfsPaths& paths, int index)
{
    std::string path = paths.devRoot + "/fd" + std::to_string(index);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return path;
}

}  // namespace

bool RunsThroughUsb(const std::string& devicePath)
{
    for (size_t at = devicePath.find("/usb"); at != std::string::npos; at = devicePath.find("/usb", at + 1)) {
        size_t i = at + 4;
        if (i < devicePath.size() && std::isdigit(static_cast<unsigned char>(devicePath[i])))
            return true;
    }
    return false;
}

bool IsSystemMountPoint(const std::string& mountPoint)
{
    for (const char* removable : {"/media/", "/run/media/", "/mnt/"}) {
        std::string prefix = removable;
        if (mountPoint.rfind(prefix, 0) == 0 || mountPoint + "/" == prefix)
            return false;
    }
    return true;
}

std::set<std::string> DisksHoldingSystem(const SysfsPaths& paths)
{
    BlockIndex index(paths.sysRoot);
    std::set<std::string> disks;
    std::ifstream mounts(paths.mounts);
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string source, mountPoint;
        if (fields >> source >> mountPoint && IsSystemMountPoint(Unescape(mountPoint)))
            index.CollectSource(Unescape(source), disks);
    }
    std::ifstream swaps(paths.swaps);
    std::string line;
    std::getline(swaps, line);  // the heading
    while (std::getline(swaps, line)) {
        std::istringstream fields(line);
        std::string source;
        if (fields >> source)
            index.CollectSource(Unescape(source), disks);
    }
    return disks;
}

std::vector<std::string> MountPointsOnDisk(const SysfsPaths& paths, const std::string& kernelName)
{
    BlockIndex index(paths.sysRoot);
    std::vector<std::string> points;
    std::ifstream mounts(paths.mounts);
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string source, mountPoint;
        if (!(fields >> source >> mountPoint))
            continue;
        std::set<std::string> disks;
        index.CollectSource(Unescape(source), disks);
        if (disks.count(kernelName))
            points.push_back(Unescape(mountPoint));
    }
    return points;
}

SysfsMachine::SysfsMachine(const SysfsPaths& paths)
    : BasicMachine(ScanDisks(paths), FloppyAt(paths, 0), FloppyAt(paths, 1)), paths_(paths)
{
}

bool SysfsMachine::ReleaseMounts(const Disk& disk)
{
    // The last mounted first: a file system mounted inside another comes off before it.
    std::vector<std::string> points = MountPointsOnDisk(paths_, disk.kernelName);
    for (auto it = points.rbegin(); it != points.rend(); ++it)
        if (::umount2(it->c_str(), 0) != 0)
            return false;
    return true;
}

void SysfsMachine::Rescan()
{
    MergeDisks(ScanDisks(paths_));
}

void SysfsMachine::LetterRemoved(const Disk& disk) { RereadPartitionTable(disk.backing); }

}  // namespace platform
