// Disks, volumes and floppies opened by their device names ("\\.\PhysicalDriveN",
// "\\.\E:", "\\.\A:"): bounded handles over the machine's backing, the write guard in
// front of their first write, faulted sectors, and writes that go out as they come.
#include "platform/disks/DeviceHandles.h"

#include "platform/files/PathForms.h"
#include "platform/win32/LastError.h"
#include "platform/disks/PartitionTable.h"
#include "platform/win32/Trace.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/guard/WriteGuard.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

struct DeviceTarget {
    std::string name;  // as the caller named it, for the trace
    HandleKind kind;
    std::string backing;
    uint64_t base = 0;
    uint64_t length = 0;
    const Disk* disk = nullptr;
    char letter = 0;  // a volume or floppy named by its letter
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
    // Through a drive letter only the chosen key's volume may be written; never a floppy.
    if (wantWrite && target.letter &&
        !GuardLetter(target.letter, {target.disk ? target.disk->number : -1, target.backing, target.base, target.length}))
        return INVALID_HANDLE_VALUE;
    int fd = ::open(target.backing.c_str(), O_CLOEXEC | (wantWrite ? O_RDWR : O_RDONLY));
    Trace("open %s: %s, bytes %llu+%llu, %s, descriptor %d", target.name.c_str(), target.backing.c_str(),
          static_cast<unsigned long long>(target.base), static_cast<unsigned long long>(target.length),
          wantWrite ? "read/write" : "read only", fd);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    // A handle that may write is refused on a system disk or a changed one at once, by what
    // it opened; its file systems come off only at its first write, so choosing a key
    // unmounts nothing. Opening a whole disk for writing is how the program chooses its key.
    if (wantWrite && target.disk && !GuardDisk(*target.disk, KeyAccess::OpenForWrite, fd)) {
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (wantWrite && target.kind == HandleKind::Disk && Machine::Current().ChosenDisk() != target.disk->number) {
        Machine::Current().ChooseDisk(target.disk->number);
        Trace("choose disk %d: the program opened %s for writing", target.disk->number, target.name.c_str());
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
            file->keptEnd = target.disk->keptSectors * kSector;
    }
    if (!SharingAllows(*file)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = RegisterFile(file);
    if (handle != INVALID_HANDLE_VALUE)
        SetLastError(ERROR_SUCCESS);
    return handle;
}

}  // namespace

namespace {

// The bytes of the device from the handle's base, as the backing holds them now, at most
// the handle's length: a key can be pulled out or shrink while it is worked on (a sandbox
// key's image cut short), and what lies past its end now is neither read nor written.
uint64_t LiveLength(const FileObject& file)
{
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return 0;
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (S_ISBLK(st.st_mode) && ::ioctl(file.fd, BLKGETSIZE64, &size) != 0)
        return 0;
    return size > file.base ? std::min(size - file.base, file.length) : 0;
}

}  // namespace

bool GuardHandle(FileObject& file, KeyAccess access)
{
    if (access == KeyAccess::RawRead && !file.canWrite) {
        // Taking file systems off line changes the disk: a handle that may only read cannot.
        Trace("guard: disk %d refused (raw read): the handle was opened for reading only", file.disk);
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, "a handle opened for reading takes no file system off line");
        return false;
    }
    if (access == KeyAccess::Write && file.held)
        return true;
    if (file.disk < 0)
        return true;  // a floppy: its letter is never opened for writing
    const Disk* disk = Machine::Current().DiskByNumber(file.disk);
    if (!disk) {
        SetLastErrorWithDetail(ERROR_MEDIA_CHANGED, "disk " + std::to_string(file.disk) + " is not known");
        return false;
    }
    std::shared_ptr<CheckedDisk> held = OpenCheckedDisk(*disk, access, file.fd);
    if (!held)
        return false;
    file.held = held;
    return true;
}

HANDLE OpenDevicePath(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    std::string rest = path.substr(4);
    Machine& machine = Machine::Current();
    const std::string prefix = "PhysicalDrive";
    if (rest.size() > prefix.size() && IEquals(rest.substr(0, prefix.size()), prefix)) {
        std::string digits = rest.substr(prefix.size());
        bool numeric = digits.size() <= 3 && std::all_of(digits.begin(), digits.end(), ::isdigit);
        if (const Disk* disk = machine.DiskByNumber(numeric ? std::stoi(digits) : -1))
            return OpenDevice({path, HandleKind::Disk, disk->backing, 0, disk->size, disk}, access, share,
                              disposition);
    } else if (IsDriveLetterPath(rest) && rest.size() == 2) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        if (auto volume = machine.VolumeOf(letter)) {
            DeviceTarget target{path,           volume->disk < 0 ? HandleKind::Floppy : HandleKind::Volume,
                                volume->backing, volume->offset, volume->length, machine.DiskByNumber(volume->disk),
                                letter};
            return OpenDevice(target, access, share, disposition);
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
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


bool StartDeviceTransfer(FileObject& file, uint64_t& wanted, bool write)
{
    uint64_t end = LiveLength(file);
    if (file.position >= end) {
        SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    wanted = std::min<uint64_t>(wanted, end - file.position);
    if (write && !GuardHandle(file, KeyAccess::Write))
        return false;
    if (write)
        Trace("write disk %d: bytes %llu+%llu", file.disk, static_cast<unsigned long long>(file.base + file.position),
              static_cast<unsigned long long>(wanted));
    if (!FaultedSectors(file.faults, write, file.base + file.position, wanted).empty()) {
        SetLastError(write ? ERROR_WRITE_FAULT : ERROR_CRC);
        return false;
    }
    return true;
}

}  // namespace platform
