// Where this computer's kernel shows its disks, mounts and swap. A test presents a made-up
// tree by changing the roots. Internal to platform/.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct SysfsPaths {
    std::string sysRoot = "/sys";
    std::string mounts = "/proc/self/mounts";  // not read: its names may not name the device
    std::string mountinfo = "/proc/self/mountinfo";
    // Where the system's own file systems are mounted; their device numbers (stat) decide
    // which disks are system disks.
    std::vector<std::string> systemMountPoints{"/", "/boot", "/usr"};
    // Mounts at these folders or below them are this computer's too: a disk holding one is
    // in use, as is one holding a file system mounted at a place /etc/fstab names.
    std::vector<std::string> systemTrees{"/boot", "/usr", "/var", "/home", "/srv", "/opt"};
    std::string fstab = "/etc/fstab";
    std::string swaps = "/proc/swaps";
    std::string devRoot = "/dev";
};

}  // namespace platform
