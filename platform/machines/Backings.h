// Whose backing a file is: a disk's or floppy's image file, the file under a loop device.
// A file the program would write as an ordinary file (a backup image) must be none of them,
// and no two disks of a machine may stand on one file, whatever names or loop devices lie
// between. Internal to platform/.
#pragma once

#include "platform/machines/HostPaths.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace platform {

// The file under a loop device (its backing_file in sysfs), by the device's number; nullopt
// for a device that is no loop device, or whose file is gone.
std::optional<std::string> LoopBackingFile(dev_t device, const SysfsPaths& paths);

// What a backing stands on, to compare: an image file's st_dev and st_ino, the same of the
// file under a loop device, and for any other block device its number with inode 0 (no
// file has inode 0); {0, 0} for anything else.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity UnderlyingFile(const struct stat& st, const SysfsPaths& paths);

// Which disk or floppy of the current machine a file (by its stat) is the backing of, the
// disk numbered `except` left out; with `anyLoop`, also any loop device of this computer
// that stands on it. "disk 0 (Virtual system disk)", "the floppy in A:", "/dev/loop3";
// empty when none.
std::string BackingOwner(const struct stat& st, int except, bool anyLoop);

}  // namespace platform
