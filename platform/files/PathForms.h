// The forms of path that the file calls tell apart. Internal to platform/.
#pragma once

#include "platform/Win32.h"

#include <string>

namespace platform {

std::string NativePath(const std::string& name);     // backslashes become slashes
bool IsDevicePath(const std::string& path);          // "//./PhysicalDrive0", "//./E:"
bool IsDriveLetterPath(const std::string& path);     // "E:...": a path on a volume, never a local one
bool IEquals(const std::string& a, const std::string& b);

// ERROR_FILE_NOT_FOUND when the folder exists, ERROR_PATH_NOT_FOUND when it does not.
DWORD MissingPathError(const std::string& path);

}  // namespace platform
