// MoveFileExA: an ordinary file takes another name by rename(2), so that a file being
// replaced is either whole as it was or whole as its replacement, never half of each.
#include "platform/Win32.h"
#include "platform/files/PathForms.h"
#include "platform/win32/LastError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The folder a path lies in, for making its new entry durable.
std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncPath(const std::string& path, int flags)
{
    int fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace
}  // namespace platform

using namespace platform;

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    if (!lpExistingFileName || !*lpExistingFileName || !lpNewFileName || !*lpNewFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string from = NativePath(lpExistingFileName);
    std::string to = NativePath(lpNewFileName);
    for (const std::string& path : {from, to}) {
        if (IsDevicePath(path) || IsDriveLetterPath(path) || path.rfind("//", 0) == 0) {
            SetLastError(ERROR_NOT_SUPPORTED);  // ordinary files of this computer only
            return FALSE;
        }
    }
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        SetLastError(errno == ENOENT ? MissingPathError(from) : ErrorFromErrno(errno));
        return FALSE;
    }
    bool writeThrough = dwFlags & MOVEFILE_WRITE_THROUGH;
    if (writeThrough && S_ISREG(st.st_mode) && !SyncPath(from, 0)) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    int moved = (dwFlags & MOVEFILE_REPLACE_EXISTING)
                    ? ::rename(from.c_str(), to.c_str())
                    : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (moved != 0) {
        int err = errno;
        SetLastError(err == EEXIST ? ERROR_ALREADY_EXISTS : err == ENOENT ? MissingPathError(to) : ErrorFromErrno(err));
        return FALSE;
    }
    // The new name is on the disk once its folder is.
    if (writeThrough && !SyncPath(FolderOf(to), O_DIRECTORY)) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
