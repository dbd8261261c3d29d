// The FAT file system of a key's volume, through the mtools commands on the disk's backing at
// the volume's offset: no mount, the same on images and on real keys. Every command that
// writes passes the write guard first. Internal to platform/.
#pragma once

#include "platform/keyfiles/KeyPaths.h"
#include "platform/processes/RunTool.h"

#include <optional>
#include <string>

namespace platform {

enum class KeyEntry { Missing, File, Folder };

// What the volume holds at a path; nullopt with the last error set when the folder above it
// is missing (ERROR_PATH_NOT_FOUND) or the volume cannot be read.
std::optional<KeyEntry> FindKeyEntry(const KeyPath& path);

// A file's whole contents; nullopt with the last error set.
std::optional<std::string> ReadKeyFile(const KeyPath& path);

// Makes a file's contents exactly `data`: written under a temporary name in the same folder,
// read back, and only then renamed over the file. On failure (ERROR_DISK_FULL, a write fault,
// ...) the old file is as it was and the temporary name is gone. `fed` hears of the bytes as
// they go to the volume.
bool WriteKeyFile(const KeyPath& path, const std::string& data, const FeedProgress& fed = {});

bool DeleteKeyFile(const KeyPath& path);
bool MakeKeyFolder(const KeyPath& path);

}  // namespace platform
