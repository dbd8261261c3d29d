// The one guard in front of every write to a key, whatever writes: disk and volume handles,
// the partition-table request, the formatter, the boot-loader installer, files on the key,
// raw transfers. Each path calls it before its first write: a disk or volume handle through
// GuardHandle (disks/DeviceHandles.h), once per handle; a formatter run, an mtools command and
// the installer launcher each time. Internal to platform/ (and the installer launcher).
//
// The guard refuses a disk that holds the system (by device numbers), refuses a disk that
// is no longer the one discovery saw (device number or file identity, size, model: another
// disk swapped in under the same name), and unmounts the disk's file systems just before
// the first write; when one stays mounted nothing may be written. A refusal sets the last
// error (ERROR_ACCESS_DENIED, ERROR_MEDIA_CHANGED, ERROR_SHARING_VIOLATION) and a detail
// text that names the reason (the mount point, the system file system).
#pragma once

#include "platform/machines/Machine.h"

#include <optional>
#include <string>

namespace platform {

enum class KeyAccess {
    OpenForWrite,  // a handle that may write later: system and identity checks, no unmount
    Write,         // about to write: the checks, then every file system on the disk comes off
    RawRead,       // about to read the whole disk raw (a backup): the checks, and file systems come off too
};

// The checks, each on its own; nullopt when the disk passes, else why it does not.
std::optional<std::string> SystemDiskReason(const Disk& disk);
std::optional<std::string> ChangedDiskReason(const Disk& disk);
// Unmounts what is mounted from the disk, the last mounted first; nullopt when nothing
// stays mounted, else the mount point that stayed.
std::optional<std::string> ReleaseDisk(const Disk& disk);

// The guard. True when the access may go ahead; false with the last error and its detail set.
bool GuardDisk(const Disk& disk, KeyAccess access);
// The same for a disk of the current machine by number; a floppy drive (-1) passes.
bool GuardDiskNumber(int diskNumber, KeyAccess access);

// Notes who a disk is now (device number or image file identity), for ChangedDiskReason.
void RecordIdentity(Disk& disk);

}  // namespace platform
