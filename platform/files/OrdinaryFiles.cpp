// Ordinary files and folders of this computer: opening, deleting, attributes, the working
// folder. A disk's own device node is never opened for writing as a file.
#include "platform/files/OrdinaryFiles.h"

#include "platform/files/FileTable.h"
#include "platform/files/PathForms.h"
#include "platform/files/UserFolders.h"
#include "platform/keyfiles/KeyFiles.h"
#include "platform/win32/LastError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

HANDLE OpenOrdinary(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    bool wantWrite = access & GENERIC_WRITE;
    int flags = O_CLOEXEC | (wantWrite ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
    if (disposition == TRUNCATE_EXISTING && !wantWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool existed = true;
    int fd = -1;
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        fd = ::open(path.c_str(), flags);
    } else {
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
        existed = fd < 0 && errno == EEXIST;
        if (existed && disposition != CREATE_NEW)
            fd = ::open(path.c_str(), flags);
    }
    if (fd < 0) {
        int err = errno;
        DWORD code = err == ENOENT ? MissingPathError(path) : ErrorFromErrno(err);
        if (err == EEXIST && disposition == CREATE_NEW)
            code = ERROR_FILE_EXISTS;
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);  // a folder is not opened as a file
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISBLK(st.st_mode) && wantWrite) {
        // A disk named by its device node would be written past the write guard: disks are
        // written only through their own names ("\\.\PhysicalDriveN").
        ::close(fd);
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, path + " is a disk, not a file");
        return INVALID_HANDLE_VALUE;
    }
    if (!existed && S_ISREG(st.st_mode))
        HandOverNewFile(fd, path);  // a backup made as root in a user's folder is theirs
    auto file = std::make_shared<FileObject>(HandleKind::File, fd);
    file->canRead = access & GENERIC_READ;
    file->canWrite = wantWrite;
    file->share = share;
    Identify(st, file->device, file->inode);
    if (!SharingAllows(*file)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;  // the object closes its descriptor
    }
    bool truncate = (disposition == CREATE_ALWAYS && existed) || disposition == TRUNCATE_EXISTING;
    if (truncate && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = RegisterFile(file);
    if (handle != INVALID_HANDLE_VALUE)
        SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                             : ERROR_SUCCESS);
    return handle;
}

}  // namespace platform

using namespace platform;

BOOL DeleteFileA(LPCSTR lpFileName)
{
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string path = NativePath(lpFileName);
    if (IsDevicePath(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (IsDriveLetterPath(path))
        return DeleteKeyFileAt(lpFileName);
    if (path.rfind("//", 0) == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    dev_t device;
    ino_t inode;
    Identify(st, device, inode);
    for (const auto& open : OpenObjectsOf(device, inode)) {
        if (!(open->share & FILE_SHARE_DELETE)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR lpFileName)
{
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string path = NativePath(lpFileName);
    if (IsDevicePath(path) || IsDriveLetterPath(path) || path.rfind("//", 0) == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);  // only ordinary files and folders have attributes here
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(errno == ENOENT ? MissingPathError(path) : ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK) != 0)
        attributes = FILE_ATTRIBUTE_READONLY;
    SetLastError(ERROR_SUCCESS);
    return attributes;
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) {
        SetLastErrorFromErrno(errno);
        return 0;
    }
    DWORD length = static_cast<DWORD>(std::strlen(cwd));
    if (!lpBuffer || nBufferLength <= length)
        return length + 1;  // the size needed, with the terminator
    std::memcpy(lpBuffer, cwd, length + 1);
    return length;
}

