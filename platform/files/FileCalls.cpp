// CreateFileA and the calls on the handles it gives: ordinary files, whole disks
// ("\\.\PhysicalDriveN"), volumes and floppies ("\\.\E:", "\\.\A:"), and files on a key
// ("E:\\..."), which keyfiles/KeyFiles.cpp answers.
//
// A transfer that fails moves nothing when the failure is known beforehand (a faulted
// sector in the range, the end of a device); a failure of the system call itself reports
// what moved before it in the count and advances the position by that.
#include "platform/disks/DeviceHandles.h"
#include "platform/files/FileTable.h"
#include "platform/files/OrdinaryFiles.h"
#include "platform/files/PathForms.h"
#include "platform/keyfiles/KeyFiles.h"
#include "platform/win32/LastError.h"
#include "platform/win32/Trace.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Moves `count` bytes at `start` of the backing; what moved before a failure is returned,
// with the errno of the failure in `err`. An ordinary file may end before `count`.
uint64_t MoveBytes(const FileObject& file, uint8_t* bytes, uint64_t start, uint64_t count, bool write, int& err)
{
    uint64_t done = 0;
    err = 0;
    while (done < count) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, 1u << 30));
        off_t at = static_cast<off_t>(start + done);
        ssize_t n = write ? ::pwrite(file.fd, bytes + done, chunk, at) : ::pread(file.fd, bytes + done, chunk, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0)
            break;  // end of an ordinary file
        done += static_cast<uint64_t>(n);
    }
    return done;
}

// The common part of ReadFile and WriteFile.
BOOL Transfer(HANDLE handle, void* buffer, DWORD count, DWORD* moved, OVERLAPPED* overlapped, bool write)
{
    if (moved)
        *moved = 0;
    auto file = FileOf(handle);
    if (!file)
        return FALSE;
    if (overlapped || (!buffer && count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (write ? !file->canWrite : !file->canRead) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    uint64_t wanted = count;
    if (file->bounded && count && !StartDeviceTransfer(*file, wanted, write))
        return FALSE;
    const uint64_t start = file->base + file->position;
    // A key that holds less than it reports takes what is written past its real end and
    // loses it: only the part before that end reaches the backing.
    uint64_t stored = wanted;
    if (write && start + wanted > file->keptEnd)
        stored = file->keptEnd > start ? file->keptEnd - start : 0;
    int err = 0;
    uint64_t done = MoveBytes(*file, static_cast<uint8_t*>(buffer), start, stored, write, err);
    if (write && file->bounded && done)
        WriteBehind(*file, start, done);
    if (!err && done == stored)
        done = wanted;
    file->position += done;
    if (moved)
        *moved = static_cast<DWORD>(done);
    if (err) {
        SetLastError(err == EIO ? (write ? ERROR_WRITE_FAULT : ERROR_CRC) : ErrorFromErrno(err));
        return FALSE;
    }
    return TRUE;
}

uint64_t SizeOf(const FileObject& file, bool& ok)
{
    ok = true;
    if (file.bounded)
        return file.length;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        ok = false;
        SetLastErrorFromErrno(errno);
        return 0;
    }
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, SECURITY_ATTRIBUTES*,
                   DWORD dwCreationDisposition, DWORD, HANDLE)
{
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = NativePath(lpFileName);
    if (IsDevicePath(path))
        return OpenDevicePath(path, dwDesiredAccess, dwShareMode, dwCreationDisposition);
    if (IsDriveLetterPath(path))
        return OpenKeyFile(lpFileName, dwDesiredAccess, dwCreationDisposition);
    if (path.rfind("//", 0) == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);  // no network paths
        return INVALID_HANDLE_VALUE;
    }
    return OpenOrdinary(path, dwDesiredAccess, dwShareMode, dwCreationDisposition);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              OVERLAPPED* lpOverlapped)
{
    if (auto key = HandleAs<KeyFile>(hFile))
        return TransferKeyFile(*key, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, false);
    return Transfer(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped, false);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               OVERLAPPED* lpOverlapped)
{
    if (auto key = HandleAs<KeyFile>(hFile))
        return TransferKeyFile(*key, const_cast<void*>(lpBuffer), nNumberOfBytesToWrite, lpNumberOfBytesWritten, true);
    return Transfer(hFile, const_cast<void*>(lpBuffer), nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                    lpOverlapped, true);
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    if (auto key = HandleAs<KeyFile>(hFile))
        return SeekKeyFile(*key, lDistanceToMove, lpDistanceToMoveHigh, dwMoveMethod);
    auto file = FileOf(hFile);
    if (!file)
        return INVALID_SET_FILE_POINTER;
    int64_t distance = lpDistanceToMoveHigh
                           ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                                  static_cast<uint32_t>(lDistanceToMove))
                           : lDistanceToMove;
    bool ok = true;
    int64_t origin = 0;
    if (dwMoveMethod == FILE_CURRENT)
        origin = static_cast<int64_t>(file->position);
    else if (dwMoveMethod == FILE_END)
        origin = static_cast<int64_t>(SizeOf(*file, ok));
    else if (dwMoveMethod != FILE_BEGIN)
        ok = false, SetLastError(ERROR_INVALID_PARAMETER);
    if (!ok)
        return INVALID_SET_FILE_POINTER;
    if ((distance < 0 && origin + distance < 0)) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (distance > 0 && origin > INT64_MAX - distance) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    uint64_t target = static_cast<uint64_t>(origin + distance);
    if (!lpDistanceToMoveHigh && target > 0xFFFFFFFFull) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the caller could not be told the position
        return INVALID_SET_FILE_POINTER;
    }
    file->position = target;
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
    DWORD low = static_cast<DWORD>(target);
    if (low == INVALID_SET_FILE_POINTER)
        SetLastError(ERROR_SUCCESS);
    return low;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    if (auto key = HandleAs<KeyFile>(hFile))
        return KeyFileSize(*key, lpFileSizeHigh);
    auto file = FileOf(hFile);
    if (!file)
        return INVALID_FILE_SIZE;
    bool ok = true;
    uint64_t size = SizeOf(*file, ok);
    if (!ok)
        return INVALID_FILE_SIZE;
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    DWORD low = static_cast<DWORD>(size);
    if (low == INVALID_FILE_SIZE)
        SetLastError(ERROR_SUCCESS);
    return low;
}

BOOL SetEndOfFile(HANDLE hFile)
{
    if (auto key = HandleAs<KeyFile>(hFile))
        return SetKeyFileEnd(*key);
    auto file = HandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (file->bounded || !file->canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);  // a disk or volume keeps its size
        return FALSE;
    }
    if (::ftruncate(file->fd, static_cast<off_t>(file->position)) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile)
{
    if (auto key = HandleAs<KeyFile>(hFile))
        return key->Flush() ? TRUE : FALSE;
    auto file = HandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::fsync(file->fd) != 0) {
        // A write the device refused shows here, after the writes themselves returned.
        SetLastError(errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno));
        return FALSE;
    }
    if (file->bounded) {
        // What the system holds of the device in memory goes, so that the next read comes
        // from the device: reading a key back then shows what it really kept.
        Trace("flush disk %d: bytes %llu+%llu written out and dropped from memory", file->disk,
              static_cast<unsigned long long>(file->base), static_cast<unsigned long long>(file->length));
        ::posix_fadvise(file->fd, static_cast<off_t>(file->base), static_cast<off_t>(file->length), POSIX_FADV_DONTNEED);
        file->behindCount = 0;
    }
    return TRUE;
}
