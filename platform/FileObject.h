// What a file, disk, volume or floppy handle holds. Internal to platform/.
//
// Disk, volume and floppy handles are bounded: positions count from `base` within the
// backing, and nothing past `length` is read or written. A transfer that starts at or past
// the end fails with ERROR_HANDLE_EOF; one that starts inside and runs past the end moves
// the bytes up to the end and reports that shorter count, as a file read at its end does.
#pragma once

#include "platform/Handles.h"
#include "platform/Machine.h"

#include <cstdint>
#include <sys/types.h>
#include <vector>

namespace platform {

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
    bool guarded = false;    // the write guard let this handle write (it runs before the first write)
    std::vector<Fault> faults;
    uint64_t keptEnd = UINT64_MAX;   // bytes into the backing from which writes are lost
    uint64_t behindAt = 0;           // the range written and still on its way to the device
    uint64_t behindCount = 0;
};

}  // namespace platform
