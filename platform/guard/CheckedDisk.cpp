#include "platform/guard/CheckedDisk.h"

#include "platform/disks/BlockDevices.h"
#include "platform/guard/KernelTables.h"
#include "platform/win32/LastError.h"
#include "platform/win32/Trace.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::mutex holdsMutex;
std::map<int, std::weak_ptr<CheckedDisk>> holds;  // disk number -> this process's hold

// Why another program has the disk: the kernel's holders (device-mapper, RAID) where sysfs
// names them, else an exclusive opener such as a mount, a partitioner or another Bootwright.
std::string BusyReason(const Disk& disk, int fd, bool block)
{
    if (!block)
        return disk.backing + " is held for writing by another program (another Bootwright?)";
    struct stat st {};
    ::fstat(fd, &st);
    std::string holders;
    for (const std::string& name : ListFolder(Machine::Current().HostPaths().sysRoot + "/dev/block/" + Numbers(st.st_rdev) + "/holders"))
        holders += (holders.empty() ? "" : ", ") + name;
    return disk.backing + (holders.empty() ? " is in use by another program (a mount, a partitioner, another Bootwright)"
                                           : " is in use by the system (held by " + holders + ")");
}

// A second descriptor of the very object `fd` is open on, for this process alone: opened
// through /proc/self/fd (never by the path again) with O_EXCL on a block device, and
// write-locked (an OFD lock, which the tools' own locks do not meet) on an image file.
int Claim(const Disk& disk, int fd, std::string& why)
{
    bool block = IsBlockDevice(fd);
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    int held = ::open(self.c_str(), O_RDWR | O_CLOEXEC | (block ? O_EXCL : 0));
    if (held < 0) {
        why = errno == EBUSY ? BusyReason(disk, fd, block) : disk.backing + ": " + std::strerror(errno);
        return -1;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (!SameObject(fd, held) || (!block && ::fcntl(held, F_OFD_SETLK, &lock) != 0)) {
        why = SameObject(fd, held) ? BusyReason(disk, fd, block) : disk.backing + " changed while it was opened";
        ::close(held);
        return -1;
    }
    Trace("hold disk %d: %s as descriptor %d, %s", disk.number, disk.backing.c_str(), held,
          block ? "exclusive (O_EXCL)" : "write-locked");
    return held;
}

std::shared_ptr<CheckedDisk> Refused(int own)
{
    if (own >= 0)
        ::close(own);
    return nullptr;
}

}  // namespace

CheckedDisk::~CheckedDisk()
{
    if (held_)
        Trace("let go of disk %d (descriptor %d)", disk_, fd_);
    ::close(fd_);
}

bool CheckedDisk::IsBlockDevice() const { return platform::IsBlockDevice(fd_); }

std::optional<uint64_t> CheckedDisk::Size() const { return DescriptorSize(fd_); }

bool SameObject(int a, int b)
{
    struct stat x {}, y {};
    if (::fstat(a, &x) != 0 || ::fstat(b, &y) != 0 || (x.st_mode & S_IFMT) != (y.st_mode & S_IFMT))
        return false;
    return S_ISBLK(x.st_mode) ? x.st_rdev == y.st_rdev : x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

std::shared_ptr<CheckedDisk> OpenCheckedDisk(const Disk& disk, KeyAccess access, int fd)
{
    bool held = access == KeyAccess::Write || access == KeyAccess::RawRead;
    int own = -1;
    if (fd < 0) {
        own = ::open(disk.backing.c_str(), (access == KeyAccess::Read ? O_RDONLY : O_RDWR) | O_CLOEXEC);
        if (own < 0) {
            SetLastErrorWithDetail(ErrorFromErrno(errno), disk.backing + ": " + std::strerror(errno));
            return nullptr;
        }
        Trace("open disk %d: %s as descriptor %d", disk.number, disk.backing.c_str(), own);
        fd = own;
    }
    std::lock_guard lock(holdsMutex);
    if (!GuardDisk(disk, access, fd))
        return Refused(own);
    if (!held)
        return std::make_shared<CheckedDisk>(own >= 0 ? own : ::fcntl(fd, F_DUPFD_CLOEXEC, 0), disk.number, false);
    if (auto existing = holds[disk.number].lock()) {
        if (SameObject(existing->Fd(), fd)) {
            Refused(own);
            return existing;
        }
        SetLastErrorWithDetail(ERROR_MEDIA_CHANGED, "The key changed since it was chosen: " + disk.backing +
                                                        " is not the disk this program holds");
        return Refused(own);
    }
    std::string why;
    int claimed = Claim(disk, fd, why);
    Refused(own);
    if (claimed < 0) {
        Trace("guard: disk %d refused: %s", disk.number, why.c_str());
        SetLastErrorWithDetail(ERROR_SHARING_VIOLATION, why);
        return nullptr;
    }
    auto checked = std::make_shared<CheckedDisk>(claimed, disk.number, true);
    holds[disk.number] = checked;
    return checked;
}

std::shared_ptr<CheckedDisk> HeldDisk(int diskNumber)
{
    std::lock_guard lock(holdsMutex);
    auto it = holds.find(diskNumber);
    return it == holds.end() ? nullptr : it->second.lock();
}

std::shared_ptr<CheckedDisk> OpenCheckedDiskNumber(int diskNumber, KeyAccess access)
{
    if (const Disk* disk = Machine::Current().DiskByNumber(diskNumber))
        return OpenCheckedDisk(*disk, access);
    SetLastErrorWithDetail(ERROR_MEDIA_CHANGED, "disk " + std::to_string(diskNumber) + " is not known");
    return nullptr;
}

}  // namespace platform
