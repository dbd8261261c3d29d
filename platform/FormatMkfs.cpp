#include "platform/FormatMkfs.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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
    const uint64_t offsetSectors = request.offset / 512;
    std::vector<std::string> args{
        "mkfs.fat",
        "-F", std::to_string(static_cast<int>(request.plan.type)),
        "-s", std::to_string(request.plan.sectorsPerCluster),
        "-S", "512",                                  // logical sector size
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
    std::vector<std::string> args = MkfsArguments(request);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    pid_t pid = 0;
    int err = posix_spawnp(&pid, "mkfs.fat", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (err != 0) {
        close(pipeFds[0]);
        output = std::string("mkfs.fat cannot be started: ") + std::strerror(err);
        return false;
    }
    char chunk[4096];
    for (;;) {
        ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        output.append(chunk, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
