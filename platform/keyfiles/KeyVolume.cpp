#include "platform/keyfiles/KeyVolume.h"

#include "platform/disks/BlockDevices.h"
#include "platform/files/PathForms.h"
#include "platform/win32/LastError.h"
#include "platform/OwnCalls.h"
#include "platform/win32/Trace.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/guard/WriteGuard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {
namespace {

bool Has(const std::string& text, const char* words) { return text.find(words) != std::string::npos; }

// The descriptor the mtools commands work on: the key's backing, checked by the write guard
// (and held, for commands that write) before any command gets it as /proc/self/fd/N. Through a
// drive letter only the chosen key is written; a floppy's image is only ever read.
std::shared_ptr<CheckedDisk> OpenMedium(const KeyPath& at, KeyAccess access)
{
    if (access != KeyAccess::Read && !GuardLetter(at.letter, at.volume))
        return nullptr;
    if (at.volume.disk >= 0)
        return OpenCheckedDiskNumber(at.volume.disk, access);
    int fd = ::open(at.volume.backing.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorWithDetail(ErrorFromErrno(errno), at.volume.backing + ": " + std::strerror(errno));
        return nullptr;
    }
    Trace("open the floppy of %c: %s as descriptor %d, read only", at.letter, at.volume.backing.c_str(), fd);
    return std::make_shared<CheckedDisk>(fd, -1, false);
}

// One mtools command on the volume: no checks of the medium that a partition at an offset
// would fail, none of this computer's mtools settings, names in UTF-8, and never a question
// (standard input is the data or nothing). The names follow "--", each starting with "::".
ToolResult Mtools(const CheckedDisk& medium, const KeyPath& at, const char* tool, const std::vector<std::string>& options,
                  const std::vector<std::string>& names, const std::string* input = nullptr,
                  const FeedProgress& fed = {})
{
    std::vector<std::string> args = {tool, "-i", medium.ToolPath() + "@@" + std::to_string(at.volume.offset)};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--");
    args.insert(args.end(), names.begin(), names.end());
    return RunTool(args, input, fed, {medium.Fd()}, {"MTOOLS_SKIP_CHECK=1", "MTOOLSRC=/dev/null", "LC_ALL=C.UTF-8"});
}

// Sets the last error that a failed command stands for, by what it said.
void FailedTool(const ToolResult& run, DWORD otherwise)
{
    if (!run.started) {
        SetLastErrorWithDetail(ERROR_FILE_NOT_FOUND, std::string("mtools cannot be started: ") + std::strerror(run.startError));
        return;
    }
    if (run.signal) {  // a crash, on a broken file system: not a missing file
        SetLastErrorWithDetail(ERROR_PROCESS_ABORTED, run.LastWords());
        return;
    }
    const std::string& said = run.output;
    DWORD code = otherwise;
    if (Has(said, "No free cluster") || Has(said, "No space left") || Has(said, "Disk full"))
        code = ERROR_DISK_FULL;
    else if (Has(said, "Cannot initialize") || Has(said, "non DOS media"))
        code = ERROR_UNRECOGNIZED_VOLUME;
    // A full volume needs no more words than the system's own; other failures keep the tool's.
    SetLastErrorWithDetail(code, code == ERROR_DISK_FULL ? std::string() : run.LastWords());
}

// On a sandbox machine a "fault ... write" sector inside the volume cannot be written: mtools
// writes the backing itself, so those sectors are kept before a command and, when the command
// changed one, put back, and the write fails as the disk would have failed it.
class FaultWatch {
public:
    FaultWatch(const KeyPath& at, int fd) : m_fd(fd)
    {
        const Disk* disk = Machine::Current().DiskByNumber(at.volume.disk);
        if (disk)
            for (uint64_t sector : FaultedSectors(disk->faults, true, at.volume.offset, at.volume.length))
                m_kept.push_back({sector, Sector(sector)});
    }

    // The first faulted sector that was written, put back as it was; nullopt when none.
    std::optional<uint64_t> Hit() const
    {
        for (const auto& [sector, before] : m_kept) {
            if (Sector(sector) == before)
                continue;
            ssize_t ignored = ::pwrite(m_fd, before.data(), before.size(), static_cast<off_t>(sector * kSector));
            (void)ignored;
            return sector;
        }
        return std::nullopt;
    }

private:
    std::string Sector(uint64_t sector) const
    {
        std::string bytes(kSector, '\0');
        ssize_t n = ::pread(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(sector * kSector));
        bytes.resize(static_cast<size_t>(std::max<ssize_t>(0, n)));
        return bytes;
    }

    int m_fd;
    std::vector<std::pair<uint64_t, std::string>> m_kept;
};

// A command that writes, on the held descriptor, under the fault watch; a key may be pulled
// out as soon as the program is done, so what it wrote to a block device leaves the system's
// buffers now. False with the last error set.
bool RunWriting(const CheckedDisk& medium, const KeyPath& at, const char* tool, const std::vector<std::string>& options,
                const std::vector<std::string>& names, ToolResult& run, const std::string* input = nullptr,
                const FeedProgress& fed = {})
{
    FaultWatch watch(at, medium.Fd());
    run = Mtools(medium, at, tool, options, names, input, fed);
    std::optional<uint64_t> faulted = watch.Hit();
    if (medium.IsBlockDevice())
        ::fsync(medium.Fd());
    if (faulted) {
        Trace("write disk %d: sector %llu failed under %s", at.volume.disk, static_cast<unsigned long long>(*faulted), tool);
        SetLastErrorWithDetail(ERROR_WRITE_FAULT, "sector " + std::to_string(*faulted) + " of disk " +
                                                      std::to_string(at.volume.disk) + " cannot be written");
        return false;
    }
    if (!run.Succeeded()) {
        FailedTool(run, ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

struct FolderEntry {
    std::string name;
    bool folder = false;
};

// The entries of a folder; nullopt with the last error set when it is missing (a file is not a
// folder) or the volume cannot be read.
std::optional<std::vector<FolderEntry>> ListFolder(const CheckedDisk& medium, const KeyPath& folder)
{
    std::string prefix = folder.parts.empty() ? "::/" : folder.ToolPath() + "/";
    ToolResult run = Mtools(medium, folder, "mdir", {"-a", "-b"}, {prefix});
    if (!run.Succeeded()) {
        FailedTool(run, ERROR_PATH_NOT_FOUND);  // "not found"
        return std::nullopt;
    }
    // One line an entry, its whole path; a folder's ends in "/".
    std::vector<FolderEntry> entries;
    size_t start = 0;
    while (start < run.output.size()) {
        size_t end = std::min(run.output.find('\n', start), run.output.size());
        std::string line = run.output.substr(start, end - start);
        start = end + 1;
        if (line.rfind(prefix, 0) != 0 || line.size() == prefix.size())
            continue;
        FolderEntry entry{line.substr(prefix.size())};
        entry.folder = entry.name.back() == '/';
        if (entry.folder)
            entry.name.pop_back();
        entries.push_back(entry);
    }
    return entries;
}

KeyEntry EntryIn(const std::vector<FolderEntry>& entries, const std::string& name)
{
    for (const FolderEntry& entry : entries)
        if (IEquals(entry.name, name))  // FAT names are compared without regard to case
            return entry.folder ? KeyEntry::Folder : KeyEntry::File;
    return KeyEntry::Missing;
}

// A short name that no entry of the folder has: a long one would leave the renamed file
// with an upper-case short name only.
std::string TemporaryName(const std::vector<FolderEntry>& entries)
{
    static unsigned counter = 0;
    std::string name;
    do {
        char text[16];
        std::snprintf(text, sizeof text, "~bw%05u.tmp", ++counter % 100000);
        name = text;
    } while (EntryIn(entries, name) != KeyEntry::Missing);
    return name;
}

std::optional<KeyEntry> FindEntry(const CheckedDisk& medium, const KeyPath& path)
{
    if (path.parts.empty())
        return KeyEntry::Folder;
    std::optional<std::vector<FolderEntry>> entries = ListFolder(medium, path.Parent());
    if (!entries)
        return std::nullopt;
    return EntryIn(*entries, path.parts.back());
}

std::optional<std::string> ReadFile(const CheckedDisk& medium, const KeyPath& path)
{
    // Copied out into a private folder: what mtype prints could mix a warning into the data.
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/bootwright-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        SetLastErrorFromErrno(errno);
        return std::nullopt;
    }
    std::string local = folder + "/data";
    ToolResult run = Mtools(medium, path, "mcopy", {"-n"}, {path.ToolPath(), local});
    std::ifstream in(local, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool read = in.is_open() && !in.bad();
    in.close();
    ::unlink(local.c_str());
    ::rmdir(folder.c_str());
    if (!run.Succeeded() || !read) {
        FailedTool(run, ERROR_READ_FAULT);
        return std::nullopt;
    }
    return data;
}

}  // namespace

std::optional<KeyEntry> FindKeyEntry(const KeyPath& path)
{
    std::shared_ptr<CheckedDisk> medium = OpenMedium(path, KeyAccess::Read);
    return medium ? FindEntry(*medium, path) : std::nullopt;
}

std::optional<std::string> ReadKeyFile(const KeyPath& path)
{
    std::shared_ptr<CheckedDisk> medium = OpenMedium(path, KeyAccess::Read);
    return medium ? ReadFile(*medium, path) : std::nullopt;
}

// Everything from the listing to the rename runs on one held descriptor of the key.
bool WriteKeyFile(const KeyPath& path, const std::string& data, const FeedProgress& fed)
{
    std::shared_ptr<CheckedDisk> medium = OpenMedium(path, KeyAccess::Write);
    if (!medium)
        return false;
    std::optional<std::vector<FolderEntry>> entries = ListFolder(*medium, path.Parent());
    if (!entries)
        return false;
    if (path.parts.empty() || EntryIn(*entries, path.parts.back()) == KeyEntry::Folder) {
        SetLastErrorWithDetail(ERROR_ACCESS_DENIED, path.Text() + " is a folder");
        return false;
    }
    KeyPath temporary = path.Parent().Child(TemporaryName(*entries));
    ToolResult run;
    bool written = RunWriting(*medium, path, "mcopy", {"-D", "o"}, {"-", temporary.ToolPath()}, run, &data, fed);
    bool ran = run.started;
    // mcopy ends with status 0 on a full volume, with the file cut short: what landed is
    // read back before it may take the file's place.
    if (written) {
        std::optional<std::string> back = ReadFile(*medium, temporary);
        if (!back || *back != data) {
            FailedTool(run, ERROR_WRITE_FAULT);
            if (GetLastError() == ERROR_WRITE_FAULT)
                SetLastErrorWithDetail(ERROR_WRITE_FAULT, path.Text() + " does not read back as written");
            written = false;
        }
    }
    if (written)
        written = RunWriting(*medium, path, "mren", {"-D", "o"}, {temporary.ToolPath(), path.ToolPath()}, run);
    if (!written) {
        DWORD error = GetLastError();
        char detail[512] = "";
        GetLastErrorDetail(detail, sizeof detail);
        if (ran)
            RunWriting(*medium, path, "mdel", {}, {temporary.ToolPath()}, run);
        SetLastErrorWithDetail(error, detail);
        return false;
    }
    Trace("write key file %s: %zu bytes", path.Text().c_str(), data.size());
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool DeleteKeyFile(const KeyPath& path)
{
    std::shared_ptr<CheckedDisk> medium = OpenMedium(path, KeyAccess::Write);
    std::optional<KeyEntry> entry = medium ? FindEntry(*medium, path) : std::nullopt;
    if (!entry)
        return false;
    if (*entry != KeyEntry::File) {
        SetLastError(*entry == KeyEntry::Missing ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return false;
    }
    ToolResult run;
    if (!RunWriting(*medium, path, "mdel", {}, {path.ToolPath()}, run))
        return false;
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool MakeKeyFolder(const KeyPath& path)
{
    std::shared_ptr<CheckedDisk> medium = OpenMedium(path, KeyAccess::Write);
    std::optional<KeyEntry> entry = medium ? FindEntry(*medium, path) : std::nullopt;
    if (!entry)
        return false;
    if (*entry != KeyEntry::Missing) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    ToolResult run;
    if (!RunWriting(*medium, path, "mmd", {}, {path.ToolPath()}, run))
        return false;
    SetLastError(ERROR_SUCCESS);
    return true;
}

}  // namespace platform
