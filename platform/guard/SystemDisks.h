// Which disks hold the running system, and which mount points lie on a disk, decided by
// device numbers (never by the names in the mount table, which may say /dev/root or name a
// ZFS dataset). Internal to platform/.
#pragma once

#include "platform/guard/KernelTables.h"
#include "platform/machines/HostPaths.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

class BlockTree;

// What the system stands on, looked at once: the device numbers under its file systems and
// swap, and the file system types whose disks can only be told by their on-disk signature.
class SystemUse {
public:
    explicit SystemUse(const SysfsPaths& paths);
    ~SystemUse();

    const std::set<dev_t>& Devices() const { return devices_; }
    // Why a disk (its whole-disk device number) is a system disk, such as "/ on sda2" or
    // "swap /swapfile on nvme0n1p2"; empty when it is not one.
    std::string WhySystemDisk(dev_t disk) const;

private:
    void AddMountsInUse();
    void AddFileSystemAt(const std::string& path, const std::string& why, int depth);
    void AddDevice(dev_t device, const std::string& why, int depth);
    void AddAnonymous(const std::string& path, dev_t device, const std::string& why, int depth);

    SysfsPaths paths_;
    std::unique_ptr<BlockTree> tree_;
    std::vector<MountInfoEntry> mounts_;
    std::set<dev_t> devices_;
    std::map<dev_t, std::string> why_;              // device -> the system use above it
    std::map<std::string, std::string> signatures_;  // "zfs"/"btrfs" -> the system use
};

// Device numbers of the block devices under the system's file systems (paths.systemMountPoints,
// default "/", "/boot", "/usr"), what is mounted at or below paths.systemTrees or at a place
// that paths.fstab names (not under /media or /run/media), and active swap (paths.swaps), followed down through device-mapper,
// md and btrfs members to the partitions and disks beneath.
std::set<dev_t> SystemDevices(const SysfsPaths& paths);
// Whether a disk, given by the device number of its whole-disk node, holds a system file
// system or swap itself or in one of its partitions (also: the on-disk signature of a system
// file system that names no block device, ZFS or btrfs). In doubt it does.
bool IsSystemDisk(const SysfsPaths& paths, dev_t disk);
// Kernel names of the disks under <sysRoot>/block that are system disks.
std::set<std::string> DisksHoldingSystem(const SysfsPaths& paths);
// Mount points of the file systems that lie on a disk (the disk itself, its partitions, and
// dm/md devices built on them), decided by the MAJ:MIN field of the mountinfo file, in the
// order they appear there (so the caller unmounts from the last).
std::vector<std::string> MountPointsOnDisk(const SysfsPaths& paths, dev_t disk);

}  // namespace platform
