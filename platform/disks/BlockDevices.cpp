#include "platform/disks/BlockDevices.h"

#include "platform/helper/HelperClient.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool IsBlockDevice(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
}

std::optional<uint64_t> DescriptorSize(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    if (S_ISREG(st.st_mode))
        return static_cast<uint64_t>(st.st_size);
    if (S_ISBLK(st.st_mode)) {
        uint64_t size = 0;
        if (::ioctl(fd, BLKGETSIZE64, &size) == 0)
            return size;
    }
    return std::nullopt;
}

std::optional<uint64_t> BackingSize(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    auto size = DescriptorSize(fd);
    ::close(fd);
    return size;
}

void RereadPartitionTable(int fd)
{
    if (!IsBlockDevice(fd))
        return;
    ::fsync(fd);
    // The kernel lets only an administrator ask: the window of a user asks the helper.
    if (::ioctl(fd, BLKRRPART) != 0 && (errno == EACCES || errno == EPERM))
        HelperReread(fd);
}

void RereadPartitionTable(const std::string& path)
{
    int fd = OpenDiskBacking(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    RereadPartitionTable(fd);
    ::close(fd);
}

}  // namespace platform
