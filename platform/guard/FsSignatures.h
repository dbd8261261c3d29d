// On-disk signatures of the file systems that name no block device in the mount table.
// Internal to platform/.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Whether a device carries the on-disk signature of a file system type ("zfs", "btrfs");
// nullopt when it cannot be read.
std::optional<bool> CarriesSignature(const std::string& path, const std::string& type);

}  // namespace platform
