#include "platform/machines/SysfsMachine.h"

#include "platform/OwnCalls.h"

#include "platform/disks/BlockDevices.h"
#include "platform/win32/Trace.h"
#include "platform/guard/SystemDisks.h"

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

bool IsDiskName(const std::string& name)
{
    if (name.rfind("mmcblk", 0) == 0)
        return name.find("boot") == std::string::npos && name.find("rpmb") == std::string::npos;
    return name.rfind("sd", 0) == 0 || name.rfind("nvme", 0) == 0 || name.rfind("vd", 0) == 0;
}

// What a person knows the disk as: vendor and model, or its kernel name.
std::string ModelOf(const std::string& dir)
{
    std::string vendor = ReadSysfsText(dir + "/device/vendor");
    std::string model = ReadSysfsText(dir + "/device/model");
    std::string text = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
    return text.empty() ? dir.substr(dir.rfind('/') + 1) : text;
}

// Discovery's decisions, one line each, in the trace.
void TraceDiscovery(const std::string& line) { Trace("%s", line.c_str()); }

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
        disk.size = sectors * kSector;  // sysfs counts 512-byte sectors too
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
        disk.model = ModelOf(dir);
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

void SysfsMachine::Rescan()
{
    MergeDisks(ScanDisks(paths_));
}

// A disk swapped in under the same name shows another model, or another attachment number
// where the kernel counts them. Device number and size are the write guard's own checks.
std::optional<std::string> SysfsMachine::ChangedDiskReason(const Disk& disk)
{
    if (disk.kernelName.empty())
        return std::nullopt;
    std::string dir = paths_.sysRoot + "/block/" + disk.kernelName;
    if (disk.diskSequence != 0) {
        std::string now = ReadSysfsText(dir + "/diskseq");
        if (now != std::to_string(disk.diskSequence))
            return "/dev/" + disk.kernelName + " was attached again (disk sequence " + (now.empty() ? "gone" : now) +
                   ", was " + std::to_string(disk.diskSequence) + ")";
    }
    std::string model = ModelOf(dir);
    if (model != disk.model)
        return "/dev/" + disk.kernelName + " is now \"" + model + "\", was \"" + disk.model + "\"";
    return std::nullopt;
}

void SysfsMachine::LetterRemoved(const Disk& disk) { RereadPartitionTable(disk.backing); }

}  // namespace platform
