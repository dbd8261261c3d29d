// CreateFileA and the calls on the handles it gives: ordinary files, whole disks
// ("\\.\PhysicalDriveN"), volumes and floppies ("\\.\E:", "\\.\A:").
//
// A transfer that fails moves nothing when the failure is known beforehand (a faulted
// sector in the range, the end of a device); a failure of the system call itself reports
// what moved before it in the count and advances the position by that.
#include "platform/BlockDevices.h"
#include "platform/Errors.h"
#include "platform/FileObject.h"
#include "platform/KeyFiles.h"
#include "platform/PartitionTable.h"
#include "platform/Trace.h"
#include "platform/UserFolders.h"
#include "platform/WriteGuard.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileObject::~FileObject()
{
    if (bounded && canWrite && IsBlockDevice(fd))
        ::fsync(fd);  // a key may be pulled out right after the program closes it
    ::close(fd);
}

namespace {

std::mutex openFilesMutex;
std::vector<std::weak_ptr<FileObject>> openFiles;

bool IEquals(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string NativePath(const char* name)
{
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool IsDevicePath(const std::string& path) { return path.rfind("//./", 0) == 0; }

bool IsDriveLetterPath(const std::string& path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// The identity share modes are checked on: the device number for a block device (two
// nodes may name it), the inode otherwise.
void Identify(const struct stat& st, dev_t& device, ino_t& inode)
{
    if (S_ISBLK(st.st_mode)) {
        device = st.st_rdev;
        inode = 0;
    } else {
        device = st.st_dev;
        inode = st.st_ino;
    }
}

std::vector<std::shared_ptr<FileObject>> OpenObjectsOf(dev_t device, ino_t inode)
{
    std::lock_guard lock(openFilesMutex);
    std::erase_if(openFiles, [](const std::weak_ptr<FileObject>& w) { return w.expired(); });
    std::vector<std::shared_ptr<FileObject>> found;
    for (auto& weak : openFiles)
        if (auto file = weak.lock(); file && file->device == device && file->inode == inode)
            found.push_back(file);
    return found;
}

bool SharingAllows(const FileObject& opening)
{
    for (const auto& other : OpenObjectsOf(opening.device, opening.inode)) {
        if ((opening.canRead && !(other->share & FILE_SHARE_READ)) ||
            (opening.canWrite && !(other->share & FILE_SHARE_WRITE)) ||
            (other->canRead && !(opening.share & FILE_SHARE_READ)) ||
            (other->canWrite && !(opening.share & FILE_SHARE_WRITE)))
            return false;
    }
    return true;
}

HANDLE Register(const std::shared_ptr<FileObject>& file)
{
    HANDLE handle = NewHandle(file);
    if (!handle)
        return INVALID_HANDLE_VALUE;
    std::lock_guard lock(openFilesMutex);
    openFiles.push_back(file);
    return handle;
}

DWORD MissingPathError(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st {};
    return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

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
    HANDLE handle = Register(file);
    if (handle != INVALID_HANDLE_VALUE)
        SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                             : ERROR_SUCCESS);
    return handle;
}

struct DeviceTarget {
    std::string name;  // as the caller named it, for the trace
    HandleKind kind;
    std::string backing;
    uint64_t base = 0;
    uint64_t length = 0;
    const Disk* disk = nullptr;
};

HANDLE OpenDevice(const DeviceTarget& target, DWORD access, DWORD share, DWORD disposition)
{
    if (disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);  // a device is never emptied
        return INVALID_HANDLE_VALUE;
    }
    bool wantWrite = access & GENERIC_WRITE;
    // A handle that may write is refused on a system disk or a changed one at once; its file
    // systems come off only at its first write, so choosing a key unmounts nothing.
    if (wantWrite && target.disk && !GuardDisk(*target.disk, KeyAccess::OpenForWrite))
        return INVALID_HANDLE_VALUE;
    Trace("open %s: %s, bytes %llu+%llu, %s", target.name.c_str(), target.backing.c_str(),
          static_cast<unsigned long long>(target.base), static_cast<unsigned long long>(target.length),
          wantWrite ? "read/write" : "read only");
    int fd = ::open(target.backing.c_str(), O_CLOEXEC | (wantWrite ? O_RDWR : O_RDONLY));
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    ::fstat(fd, &st);
    auto file = std::make_shared<FileObject>(target.kind, fd);
    file->canRead = access & GENERIC_READ;
    file->canWrite = wantWrite;
    file->share = share;
    Identify(st, file->device, file->inode);
    file->bounded = true;
    file->base = target.base;
    file->length = target.length;
    if (target.disk) {
        file->disk = target.disk->number;
        file->faults = target.disk->faults;
        if (target.disk->keptSectors)
            file->keptEnd = target.disk->keptSectors * kSectorSize;
    }
    if (!SharingAllows(*file)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = Register(file);
    if (handle != INVALID_HANDLE_VALUE)
        SetLastError(ERROR_SUCCESS);
    return handle;
}

// "\\.\PhysicalDriveN", "\\.\E:" or "\\.\A:" (already with forward slashes).
HANDLE OpenDevicePath(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    std::string rest = path.substr(4);
    Machine& machine = Machine::Current();
    const std::string prefix = "PhysicalDrive";
    if (rest.size() > prefix.size() && IEquals(rest.substr(0, prefix.size()), prefix)) {
        std::string digits = rest.substr(prefix.size());
        bool numeric = digits.size() <= 3 && std::all_of(digits.begin(), digits.end(), ::isdigit);
        int number = numeric ? std::stoi(digits) : -1;
        for (const Disk& disk : machine.Disks())
            if (disk.number == number)
                return OpenDevice({path, HandleKind::Disk, disk.backing, 0, disk.size, &disk}, access, share,
                                  disposition);
    } else if (IsDriveLetterPath(rest) && rest.size() == 2) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        if (auto volume = machine.VolumeOf(letter)) {
            DeviceTarget target{path, volume->disk < 0 ? HandleKind::Floppy : HandleKind::Volume, volume->backing,
                                volume->offset, volume->length};
            for (const Disk& disk : machine.Disks())
                if (disk.number == volume->disk)
                    target.disk = &disk;
            return OpenDevice(target, access, share, disposition);
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

std::shared_ptr<FileObject> FileOf(HANDLE handle)
{
    auto file = HandleAs<FileObject>(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

// Whether a faulted sector of the given direction lies in [start, start + count) bytes of the disk.
bool HitsFault(const FileObject& file, uint64_t start, uint64_t count, bool write)
{
    for (const Fault& fault : file.faults) {
        uint64_t at = fault.sector * kSectorSize;
        if (fault.write == write && at < start + count && at + kSectorSize > start)
            return true;
    }
    return false;
}

// The first write through a disk or volume handle passes the write guard, which unmounts
// the disk's file systems; a later write through the same handle goes straight on.
bool GuardWrite(FileObject& file)
{
    if (file.guarded || file.disk < 0)
        return true;
    if (!GuardDiskNumber(file.disk, KeyAccess::Write))
        return false;
    file.guarded = true;
    return true;
}

// Writes to a disk, volume or floppy go out to the device as they come, as they do on
// Windows, where such a handle is not cached: the system starts writing each range at once,
// and a write that leaves more than kBehind bytes on their way waits until the oldest of
// them are on the device. So the device always has work queued, little waits in memory, a
// write takes about as long as the device needs for it (the progress a program shows is the
// device's own), and a flush at the end is short. A failure to write back shows at the flush.
constexpr uint64_t kBehind = 8u << 20;

void WriteBehind(FileObject& file, uint64_t at, uint64_t count)
{
    auto wait = [&file](uint64_t bytes) {
        ::sync_file_range(file.fd, static_cast<off_t>(file.behindAt), static_cast<off_t>(bytes),
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        file.behindAt += bytes;
        file.behindCount -= bytes;
    };
    ::sync_file_range(file.fd, static_cast<off_t>(at), static_cast<off_t>(count), SYNC_FILE_RANGE_WRITE);
    if (file.behindCount && at != file.behindAt + file.behindCount)
        wait(file.behindCount);  // elsewhere on the device: what came before goes out first
    if (!file.behindCount)
        file.behindAt = at;
    file.behindCount += count;
    if (file.behindCount > kBehind)
        wait(file.behindCount - kBehind);
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
    if (file->bounded && count) {
        if (file->position >= file->length) {
            SetLastError(ERROR_HANDLE_EOF);
            return FALSE;
        }
        wanted = std::min<uint64_t>(wanted, file->length - file->position);
        if (write && !GuardWrite(*file))
            return FALSE;
        if (write)
            Trace("write disk %d: bytes %llu+%llu", file->disk, static_cast<unsigned long long>(file->base + file->position),
                  static_cast<unsigned long long>(wanted));
        if (HitsFault(*file, file->base + file->position, wanted, write)) {
            SetLastError(write ? ERROR_WRITE_FAULT : ERROR_CRC);
            return FALSE;
        }
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    const uint64_t start = file->base + file->position;
    // A key that holds less than it reports takes what is written past its real end and
    // loses it: only the part before that end reaches the backing.
    uint64_t stored = wanted;
    if (write && start + wanted > file->keptEnd)
        stored = file->keptEnd > start ? file->keptEnd - start : 0;
    uint64_t done = 0;
    int err = 0;
    while (done < stored) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(stored - done, 1u << 30));
        off_t at = static_cast<off_t>(start + done);
        ssize_t n = write ? ::pwrite(file->fd, bytes + done, chunk, at) : ::pread(file->fd, bytes + done, chunk, at);
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
