// This computer as a machine: disks from /sys/block, floppy drives /dev/fd0 and /dev/fd1.
// The roots are parameters so that tests can present a made-up tree. Internal to platform/.
#pragma once

#include "platform/BasicMachine.h"

#include <set>
#include <string>
#include <vector>

namespace platform {

struct SysfsPaths {
    std::string sysRoot = "/sys";
    std::string mounts = "/proc/self/mounts";
    std::string mountinfo = "/proc/self/mountinfo";
    // Where the system's own file systems are mounted; their device numbers (stat) decide
    // which disks are system disks.
    std::vector<std::string> systemMountPoints{"/", "/boot", "/usr"};
    std::string swaps = "/proc/swaps";
    std::string devRoot = "/dev";
};

class SysfsMachine : public BasicMachine {
public:
    explicit SysfsMachine(const SysfsPaths& paths = {});

    // Looks at /sys/block again: a key plugged in after the start is found.
    void Rescan() override;
    bool ReleaseMounts(const Disk& disk) override;

protected:
    void LetterRemoved(const Disk& disk) override;

private:
    SysfsPaths paths_;
};

// True when a resolved sysfs device path runs through a USB bus ("/usb1/", "/usb2/", ...).
bool RunsThroughUsb(const std::string& devicePath);

// True for a mount point the system needs. Only file systems mounted under the removable
// media folders (/media, /run/media, /mnt) are not: a key mounted anywhere else is treated
// as part of the system.
bool IsSystemMountPoint(const std::string& mountPoint);

// Kernel names of the disks (from <sysRoot>/block) that hold a system mount or active swap.
std::set<std::string> DisksHoldingSystem(const SysfsPaths& paths);

// The mount points of the file systems that lie on a disk (any of its partitions).
std::vector<std::string> MountPointsOnDisk(const SysfsPaths& paths, const std::string& kernelName);

}  // namespace platform
