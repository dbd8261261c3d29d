// The one guard in front of every write to a key, whatever writes: disk and volume handles,
// the partition-table request, the formatter, the boot-loader installer, files on the key,
// raw transfers. The checks run on the open descriptor that then reads or writes (or that an
// outside tool gets as /proc/self/fd/N), never on a path opened again later: guard/CheckedDisk.h
// opens and holds it. Internal to platform/ (and the installer launcher).
//
// The guard refuses a disk that holds the system (by device numbers), a disk that stands on
// another disk's backing (a loop device over the system image), and a disk that is no longer
// the one discovery saw (device number or file identity, size, model: another disk swapped in
// under the same name), and it unmounts the disk's file systems just before the first write;
// when one stays mounted nothing may be written. Through a drive letter only the volume of
// the disk the program chose is written. A refusal sets the last error (ERROR_ACCESS_DENIED,
// ERROR_MEDIA_CHANGED, ERROR_SHARING_VIOLATION) and a detail text that names the reason.
#pragma once

#include "platform/machines/Machine.h"

#include <optional>
#include <string>

namespace platform {

enum class KeyAccess {
    Read,          // reading through a tool: who the disk is; nothing comes off, nothing is held
    OpenForWrite,  // a handle that may write later: the same checks, no unmount
    Write,         // about to write: the checks, then every file system on the disk comes off
    RawRead,       // about to read the whole disk raw (a backup): the checks, and file systems come off too
};

// The checks, each on its own, on a descriptor of the disk's backing (-1: on its path);
// nullopt when the disk passes, else why it does not.
std::optional<std::string> SystemDiskReason(const Disk& disk, int fd = -1);
std::optional<std::string> SharedBackingReason(const Disk& disk, int fd = -1);
std::optional<std::string> ChangedDiskReason(const Disk& disk, int fd = -1);
// Unmounts what is mounted from the disk, the last mounted first; nullopt when nothing
// stays mounted, else the mount point that stayed.
std::optional<std::string> ReleaseDisk(const Disk& disk);

// The guard. True when the access may go ahead; false with the last error and its detail set.
bool GuardDisk(const Disk& disk, KeyAccess access, int fd = -1);
// The same for a disk of the current machine by number; a floppy drive (-1) passes.
bool GuardDiskNumber(int diskNumber, KeyAccess access);

// Through a drive letter only the chosen key's volume is ever written: true when the
// volume of `letter` lies on the disk the program chose (Machine::ChosenDisk), else false
// with ERROR_ACCESS_DENIED and a detail that says so.
bool GuardLetter(char letter, const Volume& volume);

// Notes who a disk is now (device number or image file identity), for ChangedDiskReason.
void RecordIdentity(Disk& disk);

}  // namespace platform
