// The table of open file, disk, volume and floppy handles, for share modes.
#include "platform/files/FileTable.h"

#include "platform/disks/BlockDevices.h"
#include "platform/win32/LastError.h"

#include <algorithm>
#include <mutex>
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

}  // namespace

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

HANDLE RegisterFile(const std::shared_ptr<FileObject>& file)
{
    HANDLE handle = NewHandle(file);
    if (!handle)
        return INVALID_HANDLE_VALUE;
    std::lock_guard lock(openFilesMutex);
    openFiles.push_back(file);
    return handle;
}

std::shared_ptr<FileObject> FileOf(HANDLE handle)
{
    auto file = HandleAs<FileObject>(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

}  // namespace platform
