#include "platform/WriteGuard.h"

#include "platform/BlockDevices.h"
#include "platform/Errors.h"
#include "platform/Trace.h"

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

std::optional<std::string> SystemDiskReason(const Disk& disk)
{
    if (disk.holdsSystem)
        return "disk " + std::to_string(disk.number) + " (" + disk.backing + ") holds a file system or swap of this computer";
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

std::optional<std::string> ReleaseDisk(const Disk& disk)
{
    if (!Machine::Current().ReleaseMounts(disk))
        return "a file system on " + disk.backing;
    return std::nullopt;
}

bool GuardDisk(const Disk& disk, KeyAccess access)
{
    const char* what = access == KeyAccess::OpenForWrite ? "open for writing" : access == KeyAccess::Write ? "write" : "raw read";
    if (access != KeyAccess::RawRead) {
        if (auto why = SystemDiskReason(disk)) {
            Trace("guard: disk %d refused (%s): %s", disk.number, what, why->c_str());
            SetLastErrorWithDetail(ERROR_ACCESS_DENIED, *why);
            return false;
        }
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
    for (const Disk& disk : Machine::Current().Disks())
        if (disk.number == diskNumber)
            return GuardDisk(disk, access);
    SetLastErrorWithDetail(ERROR_MEDIA_CHANGED, "disk " + std::to_string(diskNumber) + " is not known");
    return false;
}

}  // namespace platform
