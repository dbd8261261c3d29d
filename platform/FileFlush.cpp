// FlushFileBuffers: what was written through a handle reaches the file or device. On a
// disk, volume or floppy the pages the system holds of the device are dropped as well, so
// that a read after the flush comes from the device and not from memory: reading back what
// was written then shows what the device really kept.
#include "platform/Errors.h"
#include "platform/FileObject.h"
#include "platform/Trace.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace platform;

BOOL FlushFileBuffers(HANDLE hFile)
{
    auto file = HandleAs<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::fdatasync(file->fd) != 0) {
        // A write the device refused shows here, after the writes themselves returned.
        SetLastError(errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno));
        return FALSE;
    }
    if (file->bounded) {
        Trace("flush disk %d: bytes %llu+%llu written out and dropped from memory", file->disk,
              static_cast<unsigned long long>(file->base), static_cast<unsigned long long>(file->length));
        ::posix_fadvise(file->fd, static_cast<off_t>(file->base), static_cast<off_t>(file->length), POSIX_FADV_DONTNEED);
        file->behindCount = 0;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
