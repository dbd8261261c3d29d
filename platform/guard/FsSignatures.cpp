#include "platform/guard/FsSignatures.h"

#include "platform/disks/BlockDevices.h"

#include <cstring>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

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

}  // namespace

std::optional<bool> CarriesSignature(const std::string& path, const std::string& type)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<bool> found = type == "zfs" ? HasZfsLabel(fd) : HasBtrfsSuperblock(fd);
    ::close(fd);
    return found;
}

}  // namespace platform
