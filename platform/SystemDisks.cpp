#include "platform/SystemDisks.h"

#include "platform/BlockDevices.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/btrfs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

std::vector<std::string> ListFolder(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadSysfsText(const std::string& path)
{
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

std::optional<dev_t> ReadDeviceNumber(const std::string& devFile)
{
    unsigned int maj = 0, min = 0;
    char extra = 0;
    if (std::sscanf(ReadSysfsText(devFile).c_str(), "%u:%u%c", &maj, &min, &extra) != 2)
        return std::nullopt;
    return makedev(maj, min);
}

namespace {

std::string RealPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Numbers(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }

// Undoes the octal escapes of the kernel's mount and swap tables ("\040" for a space).
std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The fields of a kernel table line; white space inside a field is escaped.
std::vector<std::string> SplitSpaces(const std::string& line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find_first_of(" \t", at);
        if (end == std::string::npos)
            end = line.size();
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

// Splits at a separator that no backslash escapes (overlay's option lists).
std::vector<std::string> SplitUnescaped(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            parts.back() += text[++i];
        else if (text[i] == separator)
            parts.emplace_back();
        else
            parts.back() += text[i];
    }
    return parts;
}

// A file system type that lies on no block device the mount table could name.
bool IsAnonymous(dev_t device) { return major(device) == 0; }

}  // namespace

std::vector<MountInfoEntry> ReadMountInfo(const std::string& path)
{
    std::vector<MountInfoEntry> entries;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        // id parent MAJ:MIN root mount-point options [optional fields...] - type source super-options
        std::vector<std::string> fields = SplitSpaces(line);
        auto dash = std::find(fields.begin() + std::min<size_t>(6, fields.size()), fields.end(), "-");
        unsigned int maj = 0, min = 0;
        if (fields.size() < 7 || dash == fields.end() || std::sscanf(fields[2].c_str(), "%u:%u", &maj, &min) != 2)
            continue;
        MountInfoEntry entry;
        entry.device = makedev(maj, min);
        entry.mountPoint = Unescape(fields[4]);
        if (dash + 1 != fields.end())
            entry.type = *(dash + 1);
        if (dash + 3 < fields.end())
            entry.superOptions = Unescape(*(dash + 3));
        entries.push_back(entry);
    }
    return entries;
}

// The block devices of sysfs: every disk of <sysRoot>/block with its partitions, and what
// <sysRoot>/dev/block adds (dm and md partitions on a real sysfs).
struct BlockNode {
    std::string name, dir;
    std::string parent;  // the disk of a partition, empty for a disk
    dev_t device = 0;
};

class BlockTree {
public:
    explicit BlockTree(const std::string& sysRoot)
    {
        std::string block = sysRoot + "/block";
        for (const std::string& name : ListFolder(block)) {
            std::string dir = block + "/" + name;
            Add({name, dir, "", ReadDeviceNumber(dir + "/dev")});
            for (const std::string& part : ListFolder(dir))
                if (part.size() > name.size() && part.rfind(name, 0) == 0)
                    if (auto device = ReadDeviceNumber(dir + "/" + part + "/dev"))
                        Add({part, dir + "/" + part, name, device});
        }
        std::string byNumber = sysRoot + "/dev/block";
        for (const std::string& numbers : ListFolder(byNumber)) {
            auto device = ReadDeviceNumber(byNumber + "/" + numbers + "/dev");
            std::string dir = RealPath(byNumber + "/" + numbers);
            if (!device || dir.empty() || Find(*device))
                continue;
            std::string parent = ::access((dir + "/partition").c_str(), F_OK) == 0
                                     ? BaseName(dir.substr(0, dir.rfind('/')))
                                     : std::string();
            Add({BaseName(dir), dir, parent, device});
        }
    }

    const BlockNode* Find(dev_t device) const
    {
        auto it = byDevice_.find(device);
        return it == byDevice_.end() ? nullptr : &nodes_[it->second];
    }

    const BlockNode* FindName(const std::string& name) const
    {
        auto it = byName_.find(name);
        return it == byName_.end() ? nullptr : &nodes_[it->second];
    }

    // An entry of a slaves/, holders/ or btrfs devices/ folder: by its own dev file where it
    // links to the device, else by name.
    const BlockNode* Entry(const std::string& folder, const std::string& name) const
    {
        if (auto device = ReadDeviceNumber(folder + "/" + name + "/dev"))
            if (const BlockNode* node = Find(*device))
                return node;
        return FindName(name);
    }

    // The disk and its partitions.
    std::vector<const BlockNode*> WithPartitions(const BlockNode& disk) const
    {
        std::vector<const BlockNode*> nodes{&disk};
        for (const BlockNode& node : nodes_)
            if (node.parent == disk.name)
                nodes.push_back(&node);
        return nodes;
    }

private:
    struct Found {
        std::string name, dir, parent;
        std::optional<dev_t> device;
    };
    void Add(const Found& found)
    {
        if (byName_.count(found.name))
            return;
        byName_[found.name] = nodes_.size();
        if (found.device)
            byDevice_.emplace(*found.device, nodes_.size());
        nodes_.push_back({found.name, found.dir, found.parent, found.device.value_or(0)});
    }

    std::vector<BlockNode> nodes_;
    std::map<dev_t, size_t> byDevice_;
    std::map<std::string, size_t> byName_;
};

namespace {

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

// Reads as much of [offset, offset + length) as the device has; nullopt on a read error.
std::optional<std::vector<unsigned char>> ReadRange(int fd, uint64_t offset, size_t length)
{
    std::vector<unsigned char> bytes(length);
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

// A ZFS vdev label: the uberblock magic in a 1 KiB slot of the label's uberblock array
// (the second half of each 256 KiB label; two labels at the start, two at the end).
std::optional<bool> HasZfsLabel(int fd)
{
    constexpr uint64_t kLabel = 256 * 1024, kUberblocks = 128 * 1024, kMagic = 0x00bab10c;
    uint64_t size = DescriptorSize(fd).value_or(0);
    std::vector<uint64_t> labels{0, kLabel};
    if (size >= 4 * kLabel) {
        uint64_t end = size / kLabel * kLabel;
        labels.push_back(end - 2 * kLabel);
        labels.push_back(end - kLabel);
    }
    for (uint64_t label : labels) {
        auto bytes = ReadRange(fd, label + kUberblocks, kUberblocks);
        if (!bytes)
            return std::nullopt;
        for (size_t slot = 0; slot + 8 <= bytes->size(); slot += 1024) {
            uint64_t magic = 0;
            std::memcpy(&magic, bytes->data() + slot, 8);
            if (magic == kMagic || magic == __builtin_bswap64(kMagic))  // written in either byte order
                return true;
        }
    }
    return false;
}

// A btrfs superblock: "_BHRfS_M" at 64 KiB + 0x40.
std::optional<bool> HasBtrfsSuperblock(int fd)
{
    auto bytes = ReadRange(fd, 0x10000 + 0x40, 8);
    if (!bytes)
        return std::nullopt;
    return bytes->size() == 8 && std::memcmp(bytes->data(), "_BHRfS_M", 8) == 0;
}

// Whether a device carries a file system type's signature; nullopt when it cannot be read.
std::optional<bool> CarriesSignature(const std::string& path, const std::string& type)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<bool> found = type == "zfs" ? HasZfsLabel(fd) : HasBtrfsSuperblock(fd);
    ::close(fd);
    return found;
}

}  // namespace

SystemUse::SystemUse(const SysfsPaths& paths)
    : paths_(paths), tree_(std::make_unique<BlockTree>(paths.sysRoot)), mounts_(ReadMountInfo(paths.mountinfo))
{
    for (const std::string& mountPoint : paths.systemMountPoints)
        AddFileSystemAt(mountPoint, mountPoint, 0);
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
