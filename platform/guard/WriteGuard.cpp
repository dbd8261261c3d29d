#include "platform/guard/WriteGuard.h"

#include "platform/disks/BlockDevices.h"
#include "platform/win32/LastError.h"
#include "platform/guard/SystemDisks.h"
#include "platform/win32/Trace.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <sys/stat.h>

namespace platform {

void RecordIdentity(Disk& disk)
{
    struct stat st {};
    if (disk.backing.empty() || ::stat(disk.backing.c_str(), &st) != 0)
        return;
    if (S_ISBLK(st.st_mode)) {
        if (disk.deviceNumber == 0)
            disk.deviceNumber = st.st_rdev;
    } else {
        disk.fileDevice = st.st_dev;
        disk.fileInode = st.st_ino;
    }
}

// Looked at again before every write, not only at discovery: the system may have mounted or
// started swapping on the disk since.
std::optional<std::string> SystemDiskReason(const Disk& disk)
{
    if (disk.holdsSystem)
        return "disk " + std::to_string(disk.number) + " (" + disk.backing + ") holds a file system or swap of this computer";
    if (disk.deviceNumber != 0) {
        std::string why = SystemUse(Machine::Current().HostPaths()).WhySystemDisk(disk.deviceNumber);
        if (!why.empty())
            return disk.backing + " holds this computer's " + why;
    }
    return Machine::Current().SystemDiskReason(disk);
}

std::optional<std::string> ChangedDiskReason(const Disk& disk)
{
    if (!disk.present || disk.backing.empty())
        return "disk " + std::to_string(disk.number) + " is no longer attached";
    struct stat st {};
    if (::stat(disk.backing.c_str(), &st) != 0)
        return disk.backing + " is gone";
    bool same = S_ISBLK(st.st_mode) ? st.st_rdev == disk.deviceNumber
                                    : st.st_dev == disk.fileDevice && st.st_ino == disk.fileInode;
    if (!same)
        return disk.backing + " now names another device";
    auto size = BackingSize(disk.backing);
    if (!size || *size != disk.size)
        return disk.backing + " has another size now (" + std::to_string(size.value_or(0)) + " bytes, was " +
               std::to_string(disk.size) + ")";
    return Machine::Current().ChangedDiskReason(disk);
}

namespace {

// The loop devices of this computer that an image file backs: a file system mounted from one
// of them lies on the image too.
std::vector<dev_t> LoopsOver(const Disk& disk, const SysfsPaths& paths)
{
    std::vector<dev_t> loops;
    if (disk.fileInode == 0)
        return loops;
    for (const std::string& name : ListFolder(paths.sysRoot + "/block")) {
        if (name.rfind("loop", 0) != 0)
            continue;
        std::string file = ReadSysfsText(paths.sysRoot + "/block/" + name + "/loop/backing_file");
        struct stat st {};
        if (file.empty() || ::stat(file.c_str(), &st) != 0 || st.st_dev != disk.fileDevice || st.st_ino != disk.fileInode)
            continue;
        if (auto device = ReadDeviceNumber(paths.sysRoot + "/block/" + name + "/dev"))
            loops.push_back(*device);
    }
    return loops;
}

// Whether the kernel still holds a block device for something (a mount, a device-mapper or
// RAID member, an imported pool): an exclusive open is then refused.
bool HeldByTheKernel(const std::string& backing)
{
    struct stat st {};
    if (::stat(backing.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return false;
    int fd = ::open(backing.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    ::close(fd);
    return false;
}

}  // namespace

std::optional<std::string> ReleaseDisk(const Disk& disk)
{
    SysfsPaths paths = Machine::Current().HostPaths();
    std::vector<dev_t> devices = LoopsOver(disk, paths);
    if (disk.deviceNumber != 0)
        devices.push_back(disk.deviceNumber);
    for (dev_t device : devices) {
        // The last mounted first: a file system mounted inside another comes off before it.
        std::vector<std::string> points = MountPointsOnDisk(paths, device);
        for (auto it = points.rbegin(); it != points.rend(); ++it) {
            int failed = ::umount2(it->c_str(), 0) == 0 ? 0 : errno;
            Trace("unmount %s: %s", it->c_str(), failed ? std::strerror(failed) : "done");
            if (failed)
                return *it;
        }
    }
    if (HeldByTheKernel(disk.backing)) {
        Trace("guard: %s is still held by the system", disk.backing.c_str());
        return disk.backing + " (in use by the system)";
    }
    return std::nullopt;
}

bool GuardDisk(const Disk& disk, KeyAccess access)
{
    const char* what = access == KeyAccess::OpenForWrite ? "open for writing" : access == KeyAccess::Write ? "write" : "raw read";
    if (auto why = SystemDiskReason(disk)) {
        Trace("guard: disk %d refused (%s): %s", disk.number, what, why->c_str());
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, *why);
        return false;
    }
    if (auto why = ChangedDiskReason(disk)) {
        Trace("guard: disk %d refused (%s): the key changed: %s", disk.number, what, why->c_str());
        SetLastErrorWithDetail(ERROR_MEDIA_CHANGED, "The key changed since it was chosen: " + *why);
        return false;
    }
    if (access != KeyAccess::OpenForWrite) {
        if (auto mounted = ReleaseDisk(disk)) {
            Trace("guard: disk %d refused (%s): %s stays mounted", disk.number, what, mounted->c_str());
            SetLastErrorWithDetail(ERROR_SHARING_VIOLATION, *mounted);
            return false;
        }
    }
    return true;
}

bool GuardDiskNumber(int diskNumber, KeyAccess access)
{
    if (diskNumber < 0)
        return true;
    if (const Disk* disk = Machine::Current().DiskByNumber(diskNumber))
        return GuardDisk(*disk, access);
    SetLastErrorWithDetail(ERROR_MEDIA_CHANGED, "disk " + std::to_string(diskNumber) + " is not known");
    return false;
}

}  // namespace platform
