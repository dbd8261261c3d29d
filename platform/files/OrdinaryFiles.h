// Ordinary files of this computer, opened by CreateFileA. Internal to platform/.
#pragma once

#include "platform/Win32.h"

#include <optional>
#include <string>

#include <sys/stat.h>

namespace platform {

// Opens only ordinary files: a folder, a device, a FIFO or a socket is refused with
// ERROR_ACCESS_DENIED and a detail that says what it is, and so is, for writing, a file that a
// disk or floppy of the machine stands on (its image, a link to it, a loop device's file).
HANDLE OpenOrdinary(const std::string& path, DWORD access, DWORD share, DWORD disposition);

// Why an existing file (by its stat) may not be opened as an ordinary file; nullopt when it may.
std::optional<std::string> WhyNotAFile(const struct stat& st, const std::string& path, bool write);

}  // namespace platform
