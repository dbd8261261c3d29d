#include "platform/helper/HelperClient.h"

#include "platform/helper/HelperSocket.h"
#include "platform/machines/SysfsMachine.h"
#include "platform/win32/LastError.h"
#include "platform/win32/Trace.h"
#include "platform/OwnCalls.h"
#include "platform/TestHooks.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

int link = -1;              // the socket to the helper
pid_t helperPid = -1;
const char* testProgram = nullptr;  // SetHelperForTest

}  // namespace

std::string HelperProgramPath()
{
    if (testProgram)
        return testProgram;
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("/usr/lib/bootwright/x");
    return folder.substr(0, folder.rfind('/')) + "/bootwright-helper";
}

namespace {

// Why the helper did not answer, by how pkexec ended.
std::string WhyNotStarted(int status)
{
    if (WIFEXITED(status) && WEXITSTATUS(status) == 126)
        return "the administrator password was refused or the request was cancelled";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        return "no authentication agent answered (pkexec could not ask for the password)";
    return "the helper ended at its start (status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
}

bool NotStarted(const std::string& why)
{
    Trace("helper: cannot start: %s", why.c_str());
    SetLastErrorWithDetail(ERROR_NOT_AUTHENTICATED, why);
    return false;
}

// Starts `pkexec <helper>` with one end of a socket pair as its standard input (pkexec closes
// every other descriptor) and waits for its greeting.
bool Start()
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return NotStarted(std::string("no socket: ") + std::strerror(errno));
    std::vector<std::string> args = {"pkexec", HelperProgramPath()};
    if (TraceOn())
        args.push_back("--trace");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    int err = ::posix_spawnp(&helperPid, "pkexec", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    Trace("helper: start pkexec %s: %s", args[1].c_str(), err ? std::strerror(err) : "started");
    if (err != 0) {
        ::close(pair[0]);
        return NotStarted(err == ENOENT ? "pkexec is not installed (Debian package pkexec)"
                                        : std::string("pkexec cannot be started: ") + std::strerror(err));
    }
    link = pair[0];
    HelperMessage reply;
    std::string why;
    if (SendMessage(link, RequestFields({})) &&
        ReceiveMessage(link, kMostReplyBytes, reply, why) == Received::Message && reply.fields[0] == "ok")
        return true;
    ::close(link);
    link = -1;
    int status = 0;
    while (::waitpid(helperPid, &status, 0) < 0 && errno == EINTR) {
    }
    return NotStarted(why.empty() ? WhyNotStarted(status) : why);
}

bool Connect()
{
    if (link >= 0)
        return true;
    if (const char* inherited = std::getenv(kHelperSocketVariable)) {
        link = std::atoi(inherited);
        return true;
    }
    return Start();
}

// The reply to a request, or nullopt with the last error set: the helper's refusal with
// its reason, or a helper that went away (it is started again at the next request).
std::optional<HelperMessage> Ask(const HelperRequest& request, const std::vector<int>& descriptors,
                                 const std::function<void()>& whileWaiting = {})
{
    if (!Connect())
        return std::nullopt;
    HelperMessage reply;
    std::string why;
    bool sent = SendMessage(link, RequestFields(request), descriptors);
    if (sent && whileWaiting)
        whileWaiting();
    if (!sent || ReceiveMessage(link, kMostReplyBytes, reply, why) != Received::Message) {
        ::close(link);
        link = -1;
        // Not "not authenticated": it started once, so the advice about passwords and agents
        // does not fit; the next request starts it again.
        SetLastErrorWithDetail(ERROR_PROCESS_ABORTED, "the disk helper (bootwright-helper) ended" +
                                                          (why.empty() ? "" : ": " + why));
        return std::nullopt;
    }
    if (reply.fields[0] == "ok")
        return reply;
    CloseDescriptors(reply);
    DWORD code = reply.fields.size() == 3 ? static_cast<DWORD>(std::strtoul(reply.fields[1].c_str(), nullptr, 10)) : 0;
    SetLastErrorWithDetail(code ? code : ERROR_ACCESS_DENIED, reply.fields.size() == 3 ? reply.fields[2] : "refused");
    return std::nullopt;
}

// The one descriptor an "ok" brought, or -1 with the last error set.
int DescriptorOf(std::optional<HelperMessage> reply)
{
    if (!reply)
        return -1;
    if (reply->descriptors.size() == 1)
        return reply->descriptors[0];
    CloseDescriptors(*reply);
    SetLastErrorWithDetail(ERROR_GEN_FAILURE, "the helper sent no descriptor");
    return -1;
}

// The disk of the machine that a descriptor is open on: a block device by its number, an
// image file (a sandbox in the tests) by its identity; nullptr for anything else.
const Disk* DiskOfDescriptor(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISREG(st.st_mode)))
        return nullptr;
    for (const Disk& disk : Machine::Current().Disks())
        if (S_ISBLK(st.st_mode) ? disk.deviceNumber == st.st_rdev
                                : disk.fileInode == st.st_ino && disk.fileDevice == st.st_dev)
            return &disk;
    return nullptr;
}

const char* AccessName(KeyAccess access, bool held)
{
    switch (access) {
    case KeyAccess::Write:
        return held ? "guard-write" : "write";
    case KeyAccess::RawRead:
        return held ? "guard-rawread" : "rawread";
    case KeyAccess::OpenForWrite:
        return "openforwrite";
    default:
        return "read";
    }
}

// Feeds the tool's input into the pipe until all is fed or the helper answers (the tool ended).
void FeedUntilAnswer(int pipe, const std::string& input, const FeedProgress& fed)
{
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    size_t done = 0;
    while (pipe >= 0) {
        pollfd fds[2] = {{link, POLLIN, 0}, {pipe, POLLOUT, 0}};
        if (::poll(fds, 2, -1) < 0 && errno == EINTR)
            continue;
        if (fds[0].revents)
            break;
        ssize_t n = ::write(pipe, input.data() + done, std::min<size_t>(input.size() - done, 65536));
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
        done += n > 0 ? static_cast<size_t>(n) : 0;
        if (done == input.size() || (n > 0 && fed && !fed(done)))
            break;
    }
    ::close(pipe);
    ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace

std::optional<ToolResult> HelperRunTool(const std::vector<std::string>& args, const std::string* input,
                                        const FeedProgress& fed, const std::vector<int>& inherit, int standardOutput)
{
    const Disk* disk = nullptr;
    for (size_t i = 0; i < inherit.size() && !disk && HelperInUse(); ++i)
        disk = inherit[i] >= 0 ? DiskOfDescriptor(inherit[i]) : nullptr;
    if (!disk)
        return std::nullopt;
    int diskFd = *std::find_if(inherit.begin(), inherit.end(), [&](int fd) { return fd >= 0 && DiskOfDescriptor(fd) == disk; });
    HelperRequest request{HelperVerb::Run, disk->backing, "write", diskFd, "none", args};
    std::vector<int> fds = {diskFd};
    int pipeFds[2] = {-1, -1};
    if (input && ::pipe2(pipeFds, O_CLOEXEC) == 0) {
        request.stream = "input";
        fds.push_back(pipeFds[0]);
    } else if (standardOutput >= 0) {
        request.stream = "output";
        fds.push_back(standardOutput);
    }
    std::optional<HelperMessage> reply = Ask(request, fds, [&] {
        if (pipeFds[0] >= 0) {
            ::close(pipeFds[0]);
            pipeFds[0] = -1;
            FeedUntilAnswer(pipeFds[1], *input, fed);
            pipeFds[1] = -1;
        }
    });
    for (int fd : pipeFds)
        if (fd >= 0)
            ::close(fd);
    ToolResult result;
    result.tool = args.empty() ? "" : args[0];
    result.started = true;
    result.status = 1;
    if (!reply || reply->fields.size() != 6) {
        char detail[512] = "";
        GetLastErrorDetail(detail, sizeof detail);
        result.output = std::string("the helper did not run it: ") + detail;
        return result;
    }
    result.started = reply->fields[1] == "1";
    result.startError = std::atoi(reply->fields[2].c_str());
    result.status = std::atoi(reply->fields[3].c_str());
    result.signal = std::atoi(reply->fields[4].c_str());
    result.output = reply->fields[5];
    return result;
}

void SetHelperForTest(const char* program)
{
    testProgram = program;
    if (link >= 0) {  // the helper of the test before ends with its socket
        ::close(link);
        link = -1;
        while (::waitpid(helperPid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

bool HelperInUse()
{
    if (testProgram || std::getenv(kHelperSocketVariable))
        return true;
    return ::geteuid() != 0 && dynamic_cast<SysfsMachine*>(&Machine::Current()) != nullptr;
}

int OpenDiskBacking(const std::string& path, int flags, bool start)
{
    bool disk = false;
    for (const Disk& each : Machine::Current().Disks())
        disk = disk || each.backing == path;
    if (!disk || !HelperInUse() || (!start && link < 0 && !std::getenv(kHelperSocketVariable)))
        return ::open(path.c_str(), flags);
    HelperRequest request;
    request.verb = HelperVerb::Open;
    request.backing = path;
    request.access = (flags & O_ACCMODE) == O_RDONLY ? "read" : "write";
    int fd = DescriptorOf(Ask(request, {}));
    if (fd < 0)
        errno = EACCES;
    return fd;
}

int HelperGuard(const Disk& disk, KeyAccess access, int fd, bool held)
{
    HelperRequest request;
    request.verb = HelperVerb::Hold;
    request.backing = disk.backing;
    request.access = AccessName(access, held);
    return DescriptorOf(Ask(request, {fd}));
}

bool HelperReread(int fd)
{
    const Disk* disk = DiskOfDescriptor(fd);
    if (!disk || !HelperInUse())
        return false;
    HelperRequest request;
    request.verb = HelperVerb::Reread;
    request.backing = disk->backing;
    return Ask(request, {fd}).has_value();
}

int HelperSocketForChild() { return HelperInUse() && Connect() ? link : -1; }

}  // namespace platform
