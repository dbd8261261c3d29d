// Ordinary files and folders of this computer: opening, deleting, attributes, the working
// folder. A disk's own device node is never opened for writing as a file.
#include "platform/files/OrdinaryFiles.h"

#include "platform/files/FileTable.h"
#include "platform/files/PathForms.h"
#include "platform/files/UserFolders.h"
#include "platform/keyfiles/KeyFiles.h"
#include "platform/machines/Backings.h"
#include "platform/win32/LastError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<std::string> WhyNotAFile(const struct stat& st, const std::string& path, bool write)
{
    if (S_ISDIR(st.st_mode))
        return path + " is a folder, not a file";
    if (S_ISFIFO(st.st_mode))
        return path + " is a named pipe (FIFO), not a file";
    if (S_ISSOCK(st.st_mode))
        return path + " is a socket, not a file";
    if (!S_ISREG(st.st_mode))
        return path + " is a device, not a file";
    std::string owner = write ? BackingOwner(st, -1, true) : std::string();
    if (!owner.empty())
        return path + " is the image of " + owner + ": a disk is never written as a file";
    return std::nullopt;
}

namespace {

constexpr int kRefused = -2;

// An existing file, looked at before it is opened for what the caller wants: only an
// ordinary file, and for writing none that a disk or floppy stands on. The look goes
// through a descriptor that opens nothing (O_PATH, so a FIFO does not wait for a writer),
// and the file is then opened through that descriptor, never by its name again.
// kRefused with the last error set, or -1 with errno.
int OpenExistingFile(const std::string& path, int flags, bool write)
{
    int probe = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (probe < 0)
        return -1;
    struct stat st {};
    std::optional<std::string> why = ::fstat(probe, &st) == 0 ? WhyNotAFile(st, path, write) : std::nullopt;
    int fd = kRefused;
    if (why)
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, *why);
    else
        fd = ::open(("/proc/self/fd/" + std::to_string(probe)).c_str(), flags);
    int err = errno;
    ::close(probe);
    errno = err;
    return fd;
}

}  // namespace

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
        fd = OpenExistingFile(path, flags, wantWrite);
    } else {
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);  // a new file: nothing to look at
        existed = fd < 0 && errno == EEXIST;
        if (existed && disposition != CREATE_NEW)
            fd = OpenExistingFile(path, flags, wantWrite);
    }
    if (fd == kRefused)
        return INVALID_HANDLE_VALUE;
    if (fd < 0) {
        int err = errno;
        DWORD code = err == ENOENT ? MissingPathError(path) : ErrorFromErrno(err);
        if (err == EEXIST && disposition == CREATE_NEW)
            code = ERROR_FILE_EXISTS;
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        SetLastErrorFromErrno(errno);
        ::close(fd);
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

BOOL CheckImageTarget(LPCSTR lpFileName)
{
    std::string path = NativePath(lpFileName ? lpFileName : "");
    if (path.empty() || IsDevicePath(path) || IsDriveLetterPath(path) || path.rfind("//", 0) == 0) {
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, path + " is not a file of this computer");
        return FALSE;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return TRUE;  // made new
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (std::optional<std::string> why = WhyNotAFile(st, path, true)) {
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, *why);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

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

