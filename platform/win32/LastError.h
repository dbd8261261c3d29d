// Windows error codes from Linux errno values. Internal to platform/.
#pragma once

#include "platform/Win32.h"

#include <string>

namespace platform {

// ENOENT -> ERROR_FILE_NOT_FOUND, ENOTDIR -> ERROR_PATH_NOT_FOUND, EACCES/EPERM/EROFS ->
// ERROR_ACCESS_DENIED, EEXIST -> ERROR_FILE_EXISTS, EBUSY -> ERROR_SHARING_VIOLATION,
// ENOEXEC -> ERROR_BAD_EXE_FORMAT, ENOMEM -> ERROR_NOT_ENOUGH_MEMORY, ... ERROR_GEN_FAILURE otherwise.
DWORD ErrorFromErrno(int err);

// SetLastError(ErrorFromErrno(err)) in one step.
void SetLastErrorFromErrno(int err);

// SetLastError and SetLastErrorDetail in one step.
void SetLastErrorWithDetail(DWORD code, const std::string& detail);

// Copies a text into a caller's buffer of `size` bytes, cut to fit and terminated; returns
// the length copied (0 for a missing or empty buffer).
DWORD CopyText(const std::string& text, char* buffer, DWORD size);

}  // namespace platform
