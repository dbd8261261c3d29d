// The last-error code of each thread, and errno translation.
#include "platform/win32/LastError.h"
#include "platform/OwnCalls.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <string>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
thread_local std::string lastDetail;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code)
{
    lastError = code;
    lastDetail.clear();
}

void SetLastErrorDetail(LPCSTR text) { lastDetail = text ? text : ""; }

DWORD GetLastErrorDetail(LPSTR buffer, DWORD size)
{
    return platform::CopyText(lastDetail, buffer, size);
}

namespace platform {

DWORD ErrorFromErrno(int err)
{
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case ENOMEDIUM:
    case ENXIO:
    case ENODEV: return ERROR_NOT_READY;
    case EIO: return ERROR_GEN_FAILURE;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_GEN_FAILURE;
    }
}

void SetLastErrorFromErrno(int err) { SetLastError(ErrorFromErrno(err)); }

void SetLastErrorWithDetail(DWORD code, const std::string& detail)
{
    SetLastError(code);
    SetLastErrorDetail(detail.c_str());
}

DWORD CopyText(const std::string& text, char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace platform
