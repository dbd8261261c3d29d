#include "platform/guard/WriteGuard.h"

#include "platform/disks/BlockDevices.h"
#include "platform/machines/Backings.h"
#include "platform/win32/LastError.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/guard/SystemDisks.h"
#include "platform/helper/HelperClient.h"
#include "platform/win32/Trace.h"

#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <sys/stat.h>

namespace platform {
namespace {

// What the guard looks at: the open descriptor when there is one, else the path.
bool StatOf(const Disk& disk, int fd, struct stat& st)
{
    return fd >= 0 ? ::fstat(fd, &st) == 0 : ::stat(disk.backing.c_str(), &st) == 0;
}

bool SameAsDiscovered(const struct stat& st, const Disk& disk)
{
    return S_ISBLK(st.st_mode) ? st.st_rdev == disk.deviceNumber
                               : st.st_dev == disk.fileDevice && st.st_ino == disk.fileInode;
}

}  // namespace

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
std::optional<std::string> SystemDiskReason(const Disk& disk, int fd)
{
    struct stat st {};
    dev_t device = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode) ? st.st_rdev : disk.deviceNumber;
    if (device != 0) {
        std::string why = SystemUse(Machine::Current().HostPaths()).WhySystemDisk(device);
        if (!why.empty())
            return disk.backing + " holds this computer's " + why;
    }
    if (disk.holdsSystem)
        return "disk " + std::to_string(disk.number) + " (" + disk.backing + ") holds a file system or swap of this computer";
    return Machine::Current().SystemDiskReason(disk);
}

// A loop device over another disk's image, or an image that another disk's loop device
// stands on, is that other disk: writing it would write the system image.
std::optional<std::string> SharedBackingReason(const Disk& disk, int fd)
{
    struct stat st {};
    if (!StatOf(disk, fd, st))
        return std::nullopt;  // ChangedDiskReason names what went
    std::string owner = BackingOwner(st, disk.number, false);
    if (owner.empty())
        return std::nullopt;
    return disk.backing + " stands on the same file as " + owner;
}

std::optional<std::string> ChangedDiskReason(const Disk& disk, int fd)
{
    if (!disk.present || disk.backing.empty())
        return "disk " + std::to_string(disk.number) + " is no longer attached";
    struct stat st {};
    if (::stat(disk.backing.c_str(), &st) != 0)
        return disk.backing + " is gone";
    if (!SameAsDiscovered(st, disk))
        return disk.backing + " now names another device";
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !SameAsDiscovered(st, disk)))
        return disk.backing + " was another device when it was opened";
    auto size = fd >= 0 ? DescriptorSize(fd) : BackingSize(disk.backing);
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
    return std::nullopt;
}

bool GuardDisk(const Disk& disk, KeyAccess access, int fd)
{
    static const char* const kWhat[] = {"read", "open for writing", "write", "raw read"};
    const char* what = kWhat[static_cast<int>(access)];
    auto refuse = [&](DWORD code, const std::string& why, const std::string& detail) {
        Trace("guard: disk %d refused (%s): %s", disk.number, what, why.c_str());
        SetLastErrorWithDetail(code, detail);
        return false;
    };
    if (auto why = SystemDiskReason(disk, fd))
        return refuse(ERROR_ACCESS_DENIED, *why, *why);
    if (auto why = ChangedDiskReason(disk, fd))
        return refuse(ERROR_MEDIA_CHANGED, "the key changed: " + *why, "The key changed since it was chosen: " + *why);
    if (auto why = SharedBackingReason(disk, fd))
        return refuse(ERROR_ACCESS_DENIED, *why, *why);
    if (access == KeyAccess::Write || access == KeyAccess::RawRead) {
        if (auto mounted = ReleaseDisk(disk))
            return refuse(ERROR_SHARING_VIOLATION, *mounted + " stays mounted", *mounted);
    }
    return true;
}

bool GuardDiskNumber(int diskNumber, KeyAccess access)
{
    if (diskNumber < 0)
        return true;
    if (const Disk* disk = Machine::Current().DiskByNumber(diskNumber)) {
        // A window that is not root cannot open the disk to look at it: the helper opens it
        // and runs the guard on what it opened.
        if (HelperInUse())
            return OpenCheckedDisk(*disk, access) != nullptr;
        return GuardDisk(*disk, access);
    }
    SetLastErrorWithDetail(ERROR_MEDIA_CHANGED, "disk " + std::to_string(diskNumber) + " is not known");
    return false;
}

bool GuardLetter(char letter, const Volume& volume)
{
    int chosen = Machine::Current().ChosenDisk();
    if (volume.disk >= 0 && volume.disk == chosen)
        return true;
    std::string why = std::string(1, letter) + ": is not the key chosen in the program (" +
                      (chosen < 0 ? std::string("none is chosen") : "disk " + std::to_string(chosen)) +
                      "): through a drive letter only the chosen key is written";
    Trace("guard: %s", why.c_str());
    SetLastErrorWithDetail(ERROR_ACCESS_DENIED, why);
    return false;
}

}  // namespace platform
