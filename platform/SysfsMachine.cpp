#include "platform/SysfsMachine.h"

#include "platform/BlockDevices.h"
#include "platform/SystemDisks.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {
namespace {

std::string RealPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool IsDiskName(const std::string& name)
{
    if (name.rfind("mmcblk", 0) == 0)
        return name.find("boot") == std::string::npos && name.find("rpmb") == std::string::npos;
    return name.rfind("sd", 0) == 0 || name.rfind("nvme", 0) == 0 || name.rfind("vd", 0) == 0;
}

// Discovery's decisions, one line each, when BOOTWRIGHT_TRACE is "1".
void TraceDiscovery(const std::string& line)
{
    const char* on = std::getenv("BOOTWRIGHT_TRACE");
    if (on && std::string(on) == "1")
        std::fprintf(stderr, "bootwright: %s\n", line.c_str());
}

std::vector<Disk> ScanDisks(const SysfsPaths& paths)
{
    SystemUse system(paths);
    std::vector<Disk> disks;
    std::string sysBlock = paths.sysRoot + "/block";
    for (const std::string& name : ListFolder(sysBlock)) {
        if (!IsDiskName(name)) {
            TraceDiscovery("discovery: " + name + " skipped: not a disk kind (loop, dm, md, zram, ...)");
            continue;
        }
        std::string dir = sysBlock + "/" + name;
        uint64_t sectors = std::strtoull(ReadSysfsText(dir + "/size").c_str(), nullptr, 10);
        if (sectors == 0) {
            TraceDiscovery("discovery: " + name + " skipped: no medium");
            continue;  // a card reader without a card
        }
        std::string devicePath = RealPath(dir + "/device");
        if (devicePath.empty())
            devicePath = RealPath(dir);
        std::optional<dev_t> number = ReadDeviceNumber(dir + "/dev");
        Disk disk;
        disk.number = static_cast<int>(disks.size());
        disk.kernelName = name;
        disk.backing = paths.devRoot + "/" + name;
        disk.size = sectors * 512;
        disk.deviceNumber = number.value_or(0);
        disk.diskSequence = std::strtoull(ReadSysfsText(dir + "/diskseq").c_str(), nullptr, 10);
        std::string why = number ? system.WhySystemDisk(*number) : "its device number cannot be read";
        disk.holdsSystem = !why.empty();
        if (RunsThroughUsb(devicePath) && !disk.holdsSystem)
            disk.bus = "USBSTOR";
        else if (devicePath.find("/ata") != std::string::npos)
            disk.bus = "IDE";
        else
            disk.bus = "SCSI";
        std::string vendor = ReadSysfsText(dir + "/device/vendor");
        std::string model = ReadSysfsText(dir + "/device/model");
        disk.model = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
        if (disk.model.empty())
            disk.model = name;
        TraceDiscovery("discovery: " + name + " (" + std::to_string(major(disk.deviceNumber)) + ":" +
                       std::to_string(minor(disk.deviceNumber)) + ", " + disk.bus + ", \"" + disk.model + "\") " +
                       (disk.holdsSystem ? "kept as a system disk, never a key: " + why
                                         : disk.bus == "USBSTOR" ? "kept: a USB disk" : "kept: not on USB"));
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

SysfsMachine::SysfsMachine(const SysfsPaths& paths)
    : BasicMachine(ScanDisks(paths), FloppyAt(paths, 0), FloppyAt(paths, 1)), paths_(paths)
{
}

bool SysfsMachine::ReleaseMounts(const Disk& disk)
{
    // The last mounted first: a file system mounted inside another comes off before it.
    std::vector<std::string> points = MountPointsOnDisk(paths_, disk.deviceNumber);
    for (auto it = points.rbegin(); it != points.rend(); ++it) {
        int failed = ::umount2(it->c_str(), 0) == 0 ? 0 : errno;
        TraceDiscovery("unmount " + *it + (failed ? std::string(": failed: ") + std::strerror(failed) : ": done"));
        if (failed)
            return false;
    }
    return true;
}

void SysfsMachine::Rescan()
{
    MergeDisks(ScanDisks(paths_));
}

void SysfsMachine::LetterRemoved(const Disk& disk) { RereadPartitionTable(disk.backing); }

}  // namespace platform
