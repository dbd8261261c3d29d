// A disk's backing opened once and checked by the write guard through that descriptor: what
// the guard checked is what is then read or written, by this process or by an outside tool
// that inherits it (/proc/self/fd/N). Opened for Write or RawRead it is also held: O_EXCL on a
// block device, an OFD write lock on an image file, so that no other program that asks (a
// second Bootwright, a mount, mkfs) gets the disk until the last holder in this process lets
// go. Internal to platform/ (and the installer launcher).
#pragma once

#include "platform/guard/WriteGuard.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class CheckedDisk {
public:
    CheckedDisk(int fd, int disk, bool held) : fd_(fd), disk_(disk), held_(held) {}
    ~CheckedDisk();
    CheckedDisk(const CheckedDisk&) = delete;
    CheckedDisk& operator=(const CheckedDisk&) = delete;

    int Fd() const { return fd_; }
    int Disk() const { return disk_; }
    bool Held() const { return held_; }
    // The name an outside tool opens it by, when it inherits the descriptor.
    std::string ToolPath() const { return "/proc/self/fd/" + std::to_string(fd_); }
    bool IsBlockDevice() const;
    std::optional<uint64_t> Size() const;

private:
    int fd_;
    int disk_;
    bool held_;
};

// The one way to a disk's backing for reading and writing: opens it (or takes `fd`, a
// descriptor of it that a handle or the program opened earlier), runs the guard on that
// descriptor and, for Write and RawRead, takes the disk's file systems off and holds it; a
// hold this process already has on the disk is shared. nullptr with the last error and its
// detail set: a refusal of the guard, or ERROR_SHARING_VIOLATION when another program holds
// the disk.
std::shared_ptr<CheckedDisk> OpenCheckedDisk(const Disk& disk, KeyAccess access, int fd = -1);
// The same for a disk of the current machine by number.
std::shared_ptr<CheckedDisk> OpenCheckedDiskNumber(int diskNumber, KeyAccess access);

// The hold this process has on a disk now; nullptr when it has none.
std::shared_ptr<CheckedDisk> HeldDisk(int diskNumber);

// Whether two descriptors are one disk or file: the same block device, or the same file.
bool SameObject(int a, int b);

}  // namespace platform
