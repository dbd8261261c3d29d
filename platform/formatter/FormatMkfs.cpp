#include "platform/formatter/FormatMkfs.h"

#include "platform/OwnCalls.h"
#include "platform/processes/RunTool.h"

#include <cstring>

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
    const uint64_t offsetSectors = request.offset / kSector;
    std::vector<std::string> args{
        "mkfs.fat",
        "-F", std::to_string(static_cast<int>(request.plan.type)),
        "-s", std::to_string(request.plan.sectorsPerCluster),
        "-S", std::to_string(kSector),                // logical sector size
        "-g", "255/" + std::to_string(kSectorsPerTrack),                               // heads/sectors a track, as Windows reports USB disks
        "-h", std::to_string(offsetSectors),          // hidden sectors: where the volume starts
        "-M", "0xF8",                                 // fixed disk
        "--mbr=n",                                    // a partition's boot sector, no fake table in it
        "--offset=" + std::to_string(offsetSectors),
    };
    if (request.plan.type != FatType::Fat32) {
        args.push_back("-r");
        args.push_back("512");  // root entries, fixed so the cluster count is known beforehand
    }
    if (!request.label.empty()) {
        args.push_back("-n");
        args.push_back(request.label);
    }
    if (request.blockDevice)
        args.push_back("-I");  // a whole-disk device written at the partition's offset
    args.push_back(request.backing);
    args.push_back(std::to_string(request.length / 1024));  // size in KiB blocks
    return args;
}

bool RunMkfs(const MkfsRequest& request, std::string& output)
{
    ToolResult result = RunTool(MkfsArguments(request));
    output = result.started ? result.output : std::string("mkfs.fat cannot be started: ") + std::strerror(result.startError);
    return result.Succeeded();
}

}  // namespace platform
