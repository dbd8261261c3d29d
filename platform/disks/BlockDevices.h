// Small questions and requests about backings that may be block devices. Internal to platform/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Size in bytes of an image file or block device; nullopt when it cannot be found.
std::optional<uint64_t> BackingSize(const std::string& path);
std::optional<uint64_t> DescriptorSize(int fd);

bool IsBlockDevice(int fd);

// Asks the kernel to read a block device's partition table again; quietly does nothing
// for image files, and a busy device is left as it is.
void RereadPartitionTable(int fd);
void RereadPartitionTable(const std::string& path);

}  // namespace platform
