#include "platform/formatter/FormatWipe.h"

#include "platform/OwnCalls.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <linux/falloc.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr uint64_t kBlock = 4u << 20;  // large blocks keep the pass at the speed of dd bs=4M

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// The first byte in [start, start + length) of the backing that the machine makes fail for
// this direction, or `start + length` when none does.
uint64_t FirstFault(const std::vector<Fault>& faults, bool write, uint64_t start, uint64_t length)
{
    std::vector<uint64_t> sectors = FaultedSectors(faults, write, start, length);
    return sectors.empty() ? start + length : std::max(sectors.front() * kSector, start);
}

// Moves the whole range with pread or pwrite, going on after short transfers.
template <typename Move, typename Data>
bool MoveAll(Move move, int fd, Data data, uint64_t length, uint64_t at)
{
    while (length > 0) {
        ssize_t n = move(fd, data, length, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<uint64_t>(n);
        at += static_cast<uint64_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const char* data, uint64_t length, uint64_t at) { return MoveAll(pwrite, fd, data, length, at); }

bool ReadAll(int fd, char* data, uint64_t length, uint64_t at) { return MoveAll(pread, fd, data, length, at); }

// Zeros over a range. An image file gets a hole punched over the range: the same bytes as
// written zeros, without filling the page cache with a volume's worth of dirty zeros, and a
// sparse image stays sparse. Where that is not supported the file system zeroes the range,
// and on devices the zeros are written.
bool Zero(int fd, bool blockDevice, const char* zeros, uint64_t length, uint64_t at)
{
    if (!blockDevice) {
        const off_t from = static_cast<off_t>(at), size = static_cast<off_t>(length);
        if (fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, from, size) == 0 ||
            fallocate(fd, FALLOC_FL_ZERO_RANGE, from, size) == 0)
            return true;
    }
    return WriteAll(fd, zeros, length, at);
}

bool AllZero(const char* data, uint64_t length)
{
    // Each byte equals the next and the first is zero: one memcmp instead of a byte loop.
    return length == 0 || (data[0] == 0 && std::memcmp(data, data + 1, length - 1) == 0);
}

// Turns bytes done into whole-percent reports, each percent once.
class Percent {
public:
    Percent(uint64_t total, const std::function<bool(uint32_t)>& report) : total_(total), report_(report) {}
    bool Advance(uint64_t bytes)
    {
        done_ += bytes;
        const uint32_t now = total_ ? static_cast<uint32_t>(done_ * 100 / total_) : 100;
        while (reported_ < now)
            if (!report_(++reported_))
                return false;
        return true;
    }

private:
    uint64_t total_;
    uint64_t done_ = 0;
    uint32_t reported_ = 0;
    const std::function<bool(uint32_t)>& report_;
};

}  // namespace

WipeResult WipeAndVerify(const WipeTarget& target, const std::function<bool(uint32_t percent)>& progress)
{
    std::unique_ptr<char, FreeDeleter> buffer(static_cast<char*>(std::aligned_alloc(4096, kBlock)));
    if (!buffer)
        return WipeResult::WriteFailed;
    Percent percent(target.length * 2, progress);
    const uint64_t end = target.offset + target.length;

    std::memset(buffer.get(), 0, kBlock);
    for (uint64_t at = target.offset; at < end; at += kBlock) {
        const uint64_t n = std::min(kBlock, end - at);
        const uint64_t good = FirstFault(target.faults, true, at, n) - at;
        // What comes before a failing sector stays written, as on a real disk.
        if (!Zero(target.fd, target.blockDevice, buffer.get(), good, at) || good < n)
            return WipeResult::WriteFailed;
        if (!percent.Advance(n))
            return WipeResult::Stopped;
    }
    if (target.blockDevice) {
        // Read back from the device itself, not from what the page cache still holds.
        if (fdatasync(target.fd) != 0)
            return WipeResult::WriteFailed;
        posix_fadvise(target.fd, static_cast<off_t>(target.offset), static_cast<off_t>(target.length),
                      POSIX_FADV_DONTNEED);
    }
    for (uint64_t at = target.offset; at < end; at += kBlock) {
        const uint64_t n = std::min(kBlock, end - at);
        if (FirstFault(target.faults, false, at, n) < at + n || !ReadAll(target.fd, buffer.get(), n, at))
            return WipeResult::ReadFailed;
        if (!AllZero(buffer.get(), n))
            return WipeResult::NotZero;
        if (!percent.Advance(n))
            return WipeResult::Stopped;
    }
    return WipeResult::Done;
}

}  // namespace platform
