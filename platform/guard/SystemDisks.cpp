#include "platform/guard/SystemDisks.h"

#include "platform/disks/BlockDevices.h"
#include "platform/guard/BlockTree.h"
#include "platform/guard/FsSignatures.h"
#include "platform/guard/KernelTables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <linux/btrfs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {
namespace {

// A file system type that lies on no block device the mount table could name.
bool IsAnonymous(dev_t device) { return major(device) == 0; }

constexpr int kMaxDepth = 16;  // stacked devices deeper than this are not followed (a loop)

// The member devices of the btrfs file system that a path lies on, from
// <sysRoot>/fs/btrfs/<fsid>/devices; empty when they cannot be found.
std::vector<dev_t> BtrfsMembers(const std::string& sysRoot, const BlockTree& tree, const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return {};
    btrfs_ioctl_fs_info_args info {};
    bool known = ::ioctl(fd, BTRFS_IOC_FS_INFO, &info) == 0;
    ::close(fd);
    if (!known)
        return {};
    char fsid[37];
    const unsigned char* u = info.fsid;
    std::snprintf(fsid, sizeof fsid, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", u[0],
                  u[1], u[2], u[3], u[4], u[5], u[6], u[7], u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
    std::string folder = sysRoot + "/fs/btrfs/" + fsid + "/devices";
    std::vector<dev_t> members;
    for (const std::string& name : ListFolder(folder)) {
        if (auto device = ReadDeviceNumber(folder + "/" + name + "/dev"))
            members.push_back(*device);
        else if (const BlockNode* node = tree.FindName(name))
            members.push_back(node->device);
    }
    return members;
}


}  // namespace

SystemUse::SystemUse(const SysfsPaths& paths)
    : paths_(paths), tree_(std::make_unique<BlockTree>(paths.sysRoot)), mounts_(ReadMountInfo(paths.mountinfo))
{
    for (const std::string& mountPoint : paths.systemMountPoints)
        AddFileSystemAt(mountPoint, mountPoint, 0);
    AddMountsInUse();
    std::ifstream swaps(paths.swaps);
    std::string line;
    std::getline(swaps, line);  // the heading
    while (std::getline(swaps, line)) {
        std::vector<std::string> fields = SplitSpaces(line);
        if (!fields.empty())
            AddFileSystemAt(Unescape(fields[0]), "swap " + Unescape(fields[0]), 0);
    }
}

SystemUse::~SystemUse() = default;

namespace {

bool AtOrBelow(const std::string& path, const std::string& folder)
{
    return path == folder || path.rfind(folder + "/", 0) == 0;
}

// The mount points that /etc/fstab names (swap lines name none).
std::set<std::string> FstabMountPoints(const std::string& fstab)
{
    std::set<std::string> points;
    std::ifstream in(fstab);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields = SplitSpaces(line);
        if (fields.size() >= 2 && fields[0][0] != '#' && fields[1][0] == '/')
            points.insert(Unescape(fields[1]));
    }
    return points;
}

}  // namespace

// Beyond the system's own file systems, this computer uses whatever is mounted at or below
// its trees (/boot/efi, /var, /home, /srv, /opt, ...) and whatever it mounts where /etc/fstab
// says; a removable disk that the desktop mounted under /media or /run/media stays a key.
void SystemUse::AddMountsInUse()
{
    std::set<std::string> configured = FstabMountPoints(paths_.fstab);
    for (const MountInfoEntry& mount : mounts_) {
        const std::string& point = mount.mountPoint;
        bool desktop = AtOrBelow(point, "/media") || AtOrBelow(point, "/run/media");
        bool inTree = std::any_of(paths_.systemTrees.begin(), paths_.systemTrees.end(),
                                  [&](const std::string& tree) { return AtOrBelow(point, tree); });
        if (!inTree && (desktop || !configured.count(point)))
            continue;
        if (IsAnonymous(mount.device))
            AddFileSystemAt(point, point, 0);  // btrfs, ZFS, overlay: by what lies beneath
        else
            AddDevice(mount.device, point, 0);
    }
}

// A swap partition by its own device number, anything else by the file system it lies on.
void SystemUse::AddFileSystemAt(const std::string& path, const std::string& why, int depth)
{
    struct stat st {};
    if (depth > kMaxDepth || ::stat(path.c_str(), &st) != 0)
        return;  // no /boot of its own, a swap file that went away
    if (S_ISBLK(st.st_mode))
        AddDevice(st.st_rdev, why, depth);
    else if (IsAnonymous(st.st_dev))
        AddAnonymous(path, st.st_dev, why, depth);
    else
        AddDevice(st.st_dev, why, depth);
}

// The device, and below it the disk of a partition, the slaves of dm and md devices and the
// backing file of a loop device.
void SystemUse::AddDevice(dev_t device, const std::string& why, int depth)
{
    if (depth > kMaxDepth || !why_.emplace(device, why).second)
        return;
    devices_.insert(device);
    const BlockNode* node = tree_->Find(device);
    if (!node)
        return;
    if (const BlockNode* disk = node->parent.empty() ? nullptr : tree_->FindName(node->parent))
        AddDevice(disk->device, why, depth + 1);
    std::string slaves = node->dir + "/slaves";
    for (const std::string& name : ListFolder(slaves))
        if (const BlockNode* slave = tree_->Entry(slaves, name))
            AddDevice(slave->device, why, depth + 1);
    std::string backing = ReadSysfsText(node->dir + "/loop/backing_file");
    if (!backing.empty())
        AddFileSystemAt(backing, why, depth + 1);
}

// A file system on an anonymous device: its type from the mountinfo entry that holds the
// path (the longest mount point above it), then btrfs members, overlay layers, or the
// on-disk signature that every disk is searched for.
void SystemUse::AddAnonymous(const std::string& path, dev_t device, const std::string& why, int depth)
{
    std::string real = RealPath(path);
    if (real.empty())
        real = path;
    const MountInfoEntry* holder = nullptr;
    for (const MountInfoEntry& mount : mounts_) {
        const std::string& point = mount.mountPoint;
        bool above = point == "/" || real == point || real.rfind(point + "/", 0) == 0;
        if (above && (!holder || point.size() >= holder->mountPoint.size()))
            holder = &mount;
    }
    if (!holder || !IsAnonymous(holder->device)) {  // a table that contradicts stat: go by the number
        holder = nullptr;
        for (const MountInfoEntry& mount : mounts_)
            if (mount.device == device)
                holder = &mount;
    }
    std::string type = holder ? holder->type : "";

    if (type == "btrfs" || type.empty()) {
        std::vector<dev_t> members = BtrfsMembers(paths_.sysRoot, *tree_, path);
        for (dev_t member : members)
            AddDevice(member, why, depth + 1);
        if (members.empty())
            signatures_.emplace("btrfs", why);
    }
    if (type == "zfs" || type.empty())
        signatures_.emplace("zfs", why);
    if (type == "overlay") {
        for (const std::string& option : SplitUnescaped(holder->superOptions, ',')) {
            for (const char* key : {"lowerdir=", "upperdir=", "workdir="}) {
                if (option.rfind(key, 0) != 0)
                    continue;
                for (const std::string& layer : SplitUnescaped(option.substr(std::strlen(key)), ':'))
                    AddFileSystemAt(layer, why, depth + 1);
            }
        }
    }
    // tmpfs, network and other file systems lie on no disk.
}

std::string SystemUse::WhySystemDisk(dev_t disk) const
{
    const BlockNode* node = tree_->Find(disk);
    if (!node)
        return "device " + Numbers(disk) + " is not found under " + paths_.sysRoot + "/block";
    std::vector<const BlockNode*> nodes = tree_->WithPartitions(*node);
    std::rotate(nodes.begin(), nodes.begin() + 1, nodes.end());  // name the partition before the disk
    for (const BlockNode* part : nodes) {
        auto it = why_.find(part->device);
        if (it != why_.end())
            return it->second + " on " + part->name;
    }
    for (const auto& [type, why] : signatures_) {
        for (const BlockNode* part : nodes) {
            std::string path = paths_.devRoot + "/" + part->name;
            std::optional<bool> found = CarriesSignature(path, type);
            if (!found)
                return why + " is " + type + ", and " + path + " cannot be read to look for it";
            if (*found)
                return why + " is " + type + ", found on " + part->name;
        }
    }
    return "";
}

std::set<dev_t> SystemDevices(const SysfsPaths& paths) { return SystemUse(paths).Devices(); }

bool IsSystemDisk(const SysfsPaths& paths, dev_t disk) { return !SystemUse(paths).WhySystemDisk(disk).empty(); }

std::set<std::string> DisksHoldingSystem(const SysfsPaths& paths)
{
    SystemUse system(paths);
    std::set<std::string> disks;
    std::string block = paths.sysRoot + "/block";
    for (const std::string& name : ListFolder(block)) {
        auto device = ReadDeviceNumber(block + "/" + name + "/dev");
        if (!device || !system.WhySystemDisk(*device).empty())
            disks.insert(name);
    }
    return disks;
}

namespace {

// The devices that lie on a disk: it, its partitions, and the dm and md devices (and their
// partitions) that hold them.
void CollectAbove(const BlockTree& tree, const BlockNode& node, std::set<dev_t>& on, int depth)
{
    if (depth > kMaxDepth)
        return;
    for (const BlockNode* part : tree.WithPartitions(node)) {
        on.insert(part->device);
        std::string holders = part->dir + "/holders";
        for (const std::string& name : ListFolder(holders))
            if (const BlockNode* holder = tree.Entry(holders, name); holder && !on.count(holder->device))
                CollectAbove(tree, *holder, on, depth + 1);
    }
}

}  // namespace

std::vector<std::string> MountPointsOnDisk(const SysfsPaths& paths, dev_t disk)
{
    BlockTree tree(paths.sysRoot);
    std::set<dev_t> on{disk};
    if (const BlockNode* node = tree.Find(disk))
        CollectAbove(tree, *node, on, 0);
    std::vector<std::string> points;
    for (const MountInfoEntry& mount : ReadMountInfo(paths.mountinfo)) {
        bool here = on.count(mount.device) != 0;
        if (!here && IsAnonymous(mount.device) && mount.type == "btrfs")  // btrfs shows no member's number
            for (dev_t member : BtrfsMembers(paths.sysRoot, tree, mount.mountPoint))
                here = here || on.count(member) != 0;
        if (here)
            points.push_back(mount.mountPoint);
    }
    return points;
}

}  // namespace platform

