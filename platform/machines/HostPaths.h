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
    std::string swaps = "/proc/swaps";
    std::string devRoot = "/dev";
};

}  // namespace platform
