#include "platform/helper/HelperServer.h"

#include "platform/disks/BlockDevices.h"
#include "platform/disks/PartitionTable.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/helper/HelperSocket.h"
#include "platform/helper/HelperTools.h"
#include "platform/processes/RunTool.h"
#include "platform/win32/LastError.h"
#include "platform/win32/Trace.h"
#include "platform/OwnCalls.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

const Disk* FindBacking(const std::string& backing)
{
    for (const Disk& disk : Machine::Current().Disks())
        if (disk.backing == backing)
            return &disk;
    return nullptr;
}

struct Reply {
    std::vector<std::string> fields;
    int descriptor = -1;  // sent with an "ok", then closed here
};

Reply Refused(DWORD code, const std::string& why)
{
    Trace("refused: %s", why.c_str());
    return {{"refused", std::to_string(code), why}};
}

// The refusal the last error of a platform call stands for.
Reply RefusedByLastError()
{
    char detail[512] = "";
    GetLastErrorDetail(detail, sizeof detail);
    return Refused(GetLastError(), *detail ? detail : "refused by the write guard");
}

KeyAccess AccessOf(const std::string& name)
{
    if (name == "write" || name == "guard-write")
        return KeyAccess::Write;
    if (name == "rawread" || name == "guard-rawread")
        return KeyAccess::RawRead;
    return name == "openforwrite" ? KeyAccess::OpenForWrite : KeyAccess::Read;
}

Reply Open(const Disk& disk, const HelperRequest& request)
{
    bool write = request.access == "write";
    int fd = ::open(disk.backing.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return Refused(ErrorFromErrno(errno), disk.backing + ": " + std::strerror(errno));
    Trace("open disk %d: %s as descriptor %d, %s", disk.number, disk.backing.c_str(), fd,
          write ? "read/write" : "read only");
    if (!GuardDisk(disk, write ? KeyAccess::OpenForWrite : KeyAccess::Read, fd)) {
        ::close(fd);
        return RefusedByLastError();
    }
    return {{"ok"}, fd};
}

// The window's descriptor is checked as what it is (the guard looks at it, not at the path);
// for write and rawread it is then held: the held descriptor goes back and holds the disk in
// the window. "guard-..." only runs the guard, for a descriptor the window holds already.
Reply Hold(const Disk& disk, const HelperRequest& request, int fd)
{
    bool claim = request.access == "write" || request.access == "rawread";
    if (!claim) {
        if (!GuardDisk(disk, AccessOf(request.access), fd))
            return RefusedByLastError();
        return {{"ok"}, ::fcntl(fd, F_DUPFD_CLOEXEC, 0)};
    }
    std::shared_ptr<CheckedDisk> held = OpenCheckedDisk(disk, AccessOf(request.access), fd);
    if (!held)
        return RefusedByLastError();
    return {{"ok"}, ::fcntl(held->Fd(), F_DUPFD_CLOEXEC, 0)};
}

Reply Run(const Disk& disk, const HelperRequest& request, const std::vector<int>& fds)
{
    Volume volume = DiskVolume(disk);
    if (auto why = ToolRunReason(request, volume.offset))
        return Refused(ERROR_ACCESS_DENIED, *why);
    if (!GuardDisk(disk, ToolWritesKey(request) ? KeyAccess::Write : KeyAccess::Read, fds[0]))
        return RefusedByLastError();
    int in = request.stream == "input" ? fds[1] : -1, out = request.stream == "output" ? fds[1] : -1;
    if (out >= 0 && (IsBlockDevice(out) || (::fcntl(out, F_GETFL) & O_ACCMODE) == O_RDONLY))
        return Refused(ERROR_ACCESS_DENIED, "the file a tool writes to is not one the window opened for writing");
    std::vector<std::string> environment = {"MTOOLS_SKIP_CHECK=1", "MTOOLSRC=/dev/null", "LC_ALL=C.UTF-8"};
    ToolResult result = RunToolWithStreams(HelperToolArguments(request, fds[0]), in, out, {fds[0]}, environment);
    return {{"ok", result.started ? "1" : "0", std::to_string(result.startError), std::to_string(result.status),
             std::to_string(result.signal), result.output}};
}

Reply Reread(const Disk& disk)
{
    int fd = ::open(disk.backing.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ChangedDiskReason(disk, fd)) {
        if (fd >= 0)
            ::close(fd);
        return Refused(ERROR_MEDIA_CHANGED, disk.backing + " is not the key that was discovered");
    }
    RereadPartitionTable(fd);
    ::close(fd);
    return {{"ok"}};
}

Reply Answer(const HelperMessage& message)
{
    std::string why;
    std::optional<HelperRequest> request = ParseRequest(message.fields, message.descriptors.size(), why);
    if (!request)
        return Refused(ERROR_INVALID_PARAMETER, why);
    if (request->verb == HelperVerb::Hello)
        return {{"ok", std::to_string(kHelperVersion)}};
    const Disk* disk = KeyByBacking(request->backing, why);
    if (!disk)
        return Refused(ERROR_ACCESS_DENIED, why);
    Trace("%s %s on disk %d (%s)", message.fields[0].c_str(), request->access.c_str(), disk->number,
          disk->backing.c_str());
    switch (request->verb) {
    case HelperVerb::Open:
        return Open(*disk, *request);
    case HelperVerb::Hold:
        return Hold(*disk, *request, message.descriptors[0]);
    case HelperVerb::Run:
        return Run(*disk, *request, message.descriptors);
    default:
        return Reread(*disk);
    }
}

}  // namespace

const Disk* KeyByBacking(const std::string& backing, std::string& why)
{
    const Disk* disk = FindBacking(backing);
    if (!disk) {
        Machine::Current().Rescan();  // a key plugged in since the last look
        disk = FindBacking(backing);
    }
    if (!disk)
        why = backing + " is not a disk of this computer";
    else if (disk->bus != "USBSTOR")
        why = backing + " is not a USB key (its bus is " + disk->bus + ")";
    else if (disk->holdsSystem)
        why = backing + " holds a file system or swap of this computer";
    else if (!disk->present)
        why = backing + " is no longer attached";
    else
        return disk;
    return nullptr;
}

int ServeWindow(int socket)
{
    for (;;) {
        HelperMessage message;
        std::string why;
        Received received = ReceiveMessage(socket, kMostRequestBytes, message, why);
        if (received == Received::Closed)
            return 0;
        if (received == Received::Malformed) {
            Trace("refused: %s", why.c_str());
            if (!SendMessage(socket, {"refused", std::to_string(ERROR_INVALID_PARAMETER), why}))
                return 1;
            continue;
        }
        if (received == Received::Refused) {
            Trace("refused: %s; no more requests are read", why.c_str());
            SendMessage(socket, {"refused", std::to_string(ERROR_INVALID_PARAMETER), why});
            return 1;
        }
        Reply reply = Answer(message);
        CloseDescriptors(message);
        std::vector<int> sent;
        if (reply.descriptor >= 0)
            sent.push_back(reply.descriptor);
        bool delivered = SendMessage(socket, reply.fields, sent);
        if (reply.descriptor >= 0)
            ::close(reply.descriptor);
        if (!delivered)
            return 1;
    }
}

}  // namespace platform
