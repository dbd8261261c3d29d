// The open handles of files, disks, volumes and floppies: what each holds, and the table that
// share modes are checked on. Internal to platform/.
//
// Disk, volume and floppy handles are bounded: positions count from `base` within the
// backing, and nothing past `length` is read or written. A transfer that starts at or past
// the end fails with ERROR_HANDLE_EOF; one that starts inside and runs past the end moves
// the bytes up to the end and reports that shorter count, as a file read at its end does.
#pragma once

#include "platform/machines/Machine.h"
#include "platform/win32/Handles.h"

#include <cstdint>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace platform {

class CheckedDisk;

class FileObject : public HandleObject {
public:
    FileObject(HandleKind kind, int fd) : HandleObject(kind), fd(fd) {}
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int fd;
    bool canRead = false;
    bool canWrite = false;
    DWORD share = 0;
    dev_t device = 0;        // identity of the opened object, for share modes
    ino_t inode = 0;
    uint64_t position = 0;

    bool bounded = false;    // disk, volume or floppy
    uint64_t base = 0;       // bytes into the backing
    uint64_t length = 0;
    int disk = -1;           // the disk behind a disk or volume handle
    // The write guard let this handle write (it runs on the handle's own descriptor before the
    // first write), and the disk is held for this process while the handle lives.
    std::shared_ptr<CheckedDisk> held;
    std::vector<Fault> faults;
    uint64_t keptEnd = UINT64_MAX;   // bytes into the backing from which writes are lost
    uint64_t behindAt = 0;           // the range written and still on its way to the device
    uint64_t behindCount = 0;
};

// The identity share modes are checked on, and the handles open on one.
void Identify(const struct stat& st, dev_t& device, ino_t& inode);
std::vector<std::shared_ptr<FileObject>> OpenObjectsOf(dev_t device, ino_t inode);
bool SharingAllows(const FileObject& opening);
HANDLE RegisterFile(const std::shared_ptr<FileObject>& file);
std::shared_ptr<FileObject> FileOf(HANDLE handle);   // null, with ERROR_INVALID_HANDLE, if none

}  // namespace platform
