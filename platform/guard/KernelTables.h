// Reading what the kernel tells about block devices and mounts: sysfs folders and
// attributes, device numbers, the mountinfo table and its escapes. Internal to platform/.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// The entries of a folder, sorted; empty when it cannot be read.
std::vector<std::string> ListFolder(const std::string& path);
// A small text file (sysfs attribute) without the white space around it; empty when unreadable.
std::string ReadSysfsText(const std::string& path);
// A sysfs "dev" file ("8:17") as a device number.
std::optional<dev_t> ReadDeviceNumber(const std::string& devFile);

// One line of the mountinfo file: the device number field, the mount point, and after " - "
// the file system type and its own options.
struct MountInfoEntry {
    dev_t device = 0;
    std::string mountPoint, type, superOptions;
};
std::vector<MountInfoEntry> ReadMountInfo(const std::string& path);

std::string RealPath(const std::string& path);   // empty when it cannot be resolved
std::string BaseName(const std::string& path);
std::string Numbers(dev_t device);               // "8:17"
// Undoes the octal escapes of the kernel's mount and swap tables ("\040" for a space).
std::string Unescape(const std::string& text);
// The fields of a kernel table line; white space inside a field is escaped.
std::vector<std::string> SplitSpaces(const std::string& line);
// Splits at a separator that no backslash escapes (overlay's option lists).
std::vector<std::string> SplitUnescaped(const std::string& text, char separator);

}  // namespace platform
