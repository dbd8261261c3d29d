#include "platform/formatter/FormatMkfs.h"

#include "platform/OwnCalls.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/processes/RunTool.h"
#include "platform/win32/LastError.h"
#include "platform/win32/Trace.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

namespace platform {

namespace {
constexpr uint64_t kSectorsPerTrack = 63;
}  // namespace

uint64_t MkfsSectors(uint64_t length)
{
    return length / 1024 * 2 / kSectorsPerTrack * kSectorsPerTrack;
}

std::vector<std::string> MkfsArguments(const MkfsRequest& request)
{
    std::vector<std::string> args{
        "mkfs.fat",
        "-F", std::to_string(static_cast<int>(request.plan.type)),
        "-s", std::to_string(request.plan.sectorsPerCluster),
        "-S", std::to_string(kSector),                // logical sector size
        "-g", "255/" + std::to_string(kSectorsPerTrack),                               // heads/sectors a track, as Windows reports USB disks
        "-h", std::to_string(request.offset / kSector),  // hidden sectors: where the volume starts
        "-M", "0xF8",                                 // fixed disk
        "--mbr=n",                                    // a partition's boot sector, no fake table in it
    };
    if (request.plan.type != FatType::Fat32) {
        args.push_back("-r");
        args.push_back("512");  // root entries, fixed so the cluster count is known beforehand
    }
    if (!request.label.empty()) {
        args.push_back("-n");
        args.push_back(request.label);
    }
    args.push_back(request.backing);
    args.push_back(std::to_string(request.length / 1024));  // size in KiB blocks
    return args;
}

bool RunMkfs(const MkfsRequest& request, std::string& output)
{
    ToolResult result = RunTool(MkfsArguments(request), nullptr, {}, {request.descriptor});
    output = result.started ? result.output + result.HowItEnded()
                            : std::string("mkfs.fat cannot be started: ") + std::strerror(result.startError);
    return result.Succeeded();
}

namespace {

bool Fail(DWORD code, const std::string& detail)
{
    SetLastErrorWithDetail(code, detail);
    return false;
}

// Copies what the memory file holds (its data, not its holes) to the volume's place on the key.
bool CopyWritten(int scratch, const Volume& volume, const CheckedDisk& key)
{
    const Disk* disk = Machine::Current().DiskByNumber(volume.disk);
    std::unique_ptr<char[]> buffer(new char[1 << 20]);
    for (off_t at = ::lseek(scratch, 0, SEEK_DATA); at >= 0 && static_cast<uint64_t>(at) < volume.length;) {
        off_t end = ::lseek(scratch, at, SEEK_HOLE);
        if (end < 0)
            return Fail(ErrorFromErrno(errno), "the laid-out file system cannot be read");
        uint64_t length = static_cast<uint64_t>(end - at);
        Trace("write disk %d: bytes %llu+%llu (the file system mkfs.fat laid out), descriptor %d", volume.disk,
              static_cast<unsigned long long>(volume.offset + at), static_cast<unsigned long long>(length), key.Fd());
        std::vector<uint64_t> faulted = disk ? FaultedSectors(disk->faults, true, volume.offset + at, length)
                                             : std::vector<uint64_t>{};
        if (!faulted.empty())
            return Fail(ERROR_WRITE_FAULT, "sector " + std::to_string(faulted.front()) + " cannot be written");
        for (off_t piece = at; piece < end;) {
            ssize_t n = ::pread(scratch, buffer.get(), std::min<off_t>(end - piece, 1 << 20), piece);
            if (n <= 0 || ::pwrite(key.Fd(), buffer.get(), static_cast<size_t>(n),
                                   static_cast<off_t>(volume.offset) + piece) != n)
                return Fail(n < 0 ? ErrorFromErrno(errno) : ERROR_WRITE_FAULT, "writing the file system failed");
            piece += n;
        }
        at = ::lseek(scratch, end, SEEK_DATA);
    }
    return true;
}

}  // namespace

bool LayOutFat(const Volume& volume, const CheckedDisk& key, const FatPlan& plan, const std::string& label)
{
    int scratch = ::memfd_create("bootwright-fat", MFD_CLOEXEC);
    if (scratch < 0 || ::ftruncate(scratch, static_cast<off_t>(volume.length)) != 0) {
        int err = errno;
        if (scratch >= 0)
            ::close(scratch);
        return Fail(ErrorFromErrno(err), std::string("no room to lay the file system out: ") + std::strerror(err));
    }
    MkfsRequest request;
    request.backing = "/proc/self/fd/" + std::to_string(scratch);
    request.descriptor = scratch;
    request.offset = volume.offset;
    request.length = volume.length;
    request.plan = plan;
    request.label = label;
    std::string output;
    bool ok = RunMkfs(request, output);
    if (!ok)
        Fail(ERROR_GEN_FAILURE, "mkfs.fat: " + LastLines(output, 400));
    ok = ok && CopyWritten(scratch, volume, key);
    ::close(scratch);
    return ok;
}

}  // namespace platform
