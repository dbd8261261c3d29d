// guest-run: what the test guest runs on its own kernel (tests/guest/guest-test). It uses this
// computer's real disks, as the program does without a sandbox machine: it finds the USB
// stick as the only key, is refused the system disk, prepares the stick as the filesystem
// and configuration pages do while a file system of the stick is still mounted, backs the
// stick up and restores it over a spoilt stick as the backup page does.
// One line a step on standard output, "PASS: <step>" or "FAIL: <step>: <reason>"; the first
// failure ends the run. The last line is "guest-run: <n> failed".
//
// Run by a user who is not root, the same run goes through bootwright-helper, which the
// program starts through pkexec; with --not-allowed, the run expects that polkit refuses the
// user the helper and that nothing can be opened. Mounting the stick and reading its first
// bytes are asked of the guest's desktop (tests/guest/start), as only root may do them.
//
// usage: guest-run [--not-allowed] KEY-BYTES SYSTEM-BYTES MOUNT-POINT
//   KEY-BYTES, SYSTEM-BYTES  sizes of the stick and of the system disk, to tell them apart
//   MOUNT-POINT              where the stick's partition was mounted before the run
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "keydrive/KeyDrive.h"
#include "pages/StepFailure.h"
#include "platform/OwnCalls.h"
#include "platform/TestHooks.h"

namespace {

int g_failed = 0;
const bool g_asUser = ::geteuid() != 0;  // the disks are reached through the helper

// The reason is a callable, so that it is formed after the step ran, not before.
template <typename Reason>
bool Step(const std::string& name, bool ok, Reason reason)
{
    if (ok)
        std::printf("PASS: %s\n", name.c_str());
    else
        std::printf("FAIL: %s: %s\n", name.c_str(), std::string(reason()).c_str());
    std::fflush(stdout);
    g_failed += ok ? 0 : 1;
    return ok;
}

// A step of the program's own: its last error says why it failed.
bool Step(const std::string& name, bool ok)
{
    return Step(name, ok, [] { return LastErrorReason(); });
}

int Finish()
{
    std::printf(g_asUser ? "guest-run through the helper: %d failed\n" : "guest-run: %d failed\n", g_failed);
    std::fflush(stdout);
    return g_failed == 0 ? 0 : 1;
}

// The first word of a small file, such as a sysfs attribute; "" when it cannot be read.
std::string ReadLine(const std::string& path)
{
    std::ifstream file(path);
    std::string word;
    file >> word;
    return word;
}

// The first sector of a disk's first partition as the kernel sees it now ("" without one).
std::string KernelPartitionStart(const std::string& devicePath)
{
    std::string name = devicePath.substr(devicePath.rfind('/') + 1);
    return ReadLine("/sys/class/block/" + name + "1/start");
}

// The guest's desktop does what only root may: "mount" mounts the stick's partition again,
// "sum N" gives the checksum of the stick's first N bytes. Its one-line answer.
std::string Desktop(const std::string& request)
{
    std::ofstream("/run/desktop/ask") << request << "\n";
    std::string answer;
    std::ifstream reply("/run/desktop/answer");
    std::getline(reply, answer);
    return answer;
}

std::string FirstBytesSum(size_t bytes)
{
    return Desktop("sum " + std::to_string(bytes));
}

bool Mounted(const std::string& point)
{
    std::ifstream mounts("/proc/self/mounts");
    std::string device, where, rest;
    while (mounts >> device >> where && std::getline(mounts, rest))
        if (where == point)
            return true;
    return false;
}

struct DiskInfo {
    int number;
    std::string model, path;
    ULONGLONG size;
};

std::vector<DiskInfo> Disks()
{
    std::vector<DiskInfo> disks;
    for (int n = 0;; ++n) {
        char model[128] = "", path[256] = "";
        ULONGLONG size = 0;
        if (!GetDiskDescription(n, model, sizeof model, &size, path, sizeof path))
            return disks;
        disks.push_back({n, model, path, size});
    }
}

// A handle for writing, as a tool would take one; true when it was refused for the right reason.
bool RefusedForWriting(const std::string& path, std::string& why)
{
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        why = path + " was opened for writing";
        return false;
    }
    why = LastErrorReason();
    return GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool notAllowed = argc == 5 && std::strcmp(argv[1], "--not-allowed") == 0;
    if (argc != 4 && !notAllowed) {
        std::fprintf(stderr, "usage: guest-run [--not-allowed] KEY-BYTES SYSTEM-BYTES MOUNT-POINT\n");
        return 2;
    }
    argv += notAllowed ? 1 : 0;
    const ULONGLONG keyBytes = std::strtoull(argv[1], nullptr, 10);
    const ULONGLONG systemBytes = std::strtoull(argv[2], nullptr, 10);
    const std::string mountPoint = argv[3];

    // The program's own start: its folder, its outside programs, its right to write disks.
    char missing[256] = "";
    if (!Step("this computer's machine, not a sandbox", std::getenv("BOOTWRIGHT_MACHINE") == nullptr,
              [] { return "BOOTWRIGHT_MACHINE is set"; }) ||
        !Step("the program's folder", EnterProgramFolder() != FALSE) ||
        !Step("the outside programs", FindMissingTools(missing, sizeof missing) != FALSE && missing[0] == '\0',
              [&] { return std::string("missing: ") + missing; }) ||
        !Step("disk access", InitDiskAccess() != FALSE))
        return Finish();

    std::vector<DiskInfo> disks = Disks();
    const DiskInfo* stick = nullptr;
    const DiskInfo* system = nullptr;
    for (const DiskInfo& disk : disks) {
        std::printf("guest: disk %d: %s, \"%s\", %llu bytes\n", disk.number, disk.path.c_str(), disk.model.c_str(),
                    static_cast<unsigned long long>(disk.size));
        stick = disk.size == keyBytes ? &disk : stick;
        system = disk.size == systemBytes ? &disk : system;
    }
    if (!Step("both disks are listed", disks.size() == 2 && stick && system,
              [] { return "see the disk lines above"; }))
        return Finish();

    CKeyDrive key;
    key.FindKeys();
    std::string keys;
    char letter = '\0';
    int count = 0;
    for (int n = 0; n < 26; ++n) {
        if (!key.m_bIsKey[n])
            continue;
        ++count;
        keys += std::string(keys.empty() ? "" : ", ") + static_cast<char>('A' + n) + ": on disk " +
                std::to_string(key.m_nDiskNumber[n]);
        letter = static_cast<char>('A' + n);
    }
    std::printf("guest: keys found: %s\n", keys.empty() ? "none" : keys.c_str());
    if (!Step("the stick is the only key", count == 1 && key.m_nDiskNumber[letter - 'A'] == stick->number,
              [&] { return "keys: " + keys; }))
        return Finish();

    if (g_asUser) {
        int fd = ::open(stick->path.c_str(), O_RDWR);
        int err = errno;
        if (fd >= 0)
            ::close(fd);
        if (!Step("this user cannot open the stick itself", fd < 0 && err == EACCES,
                  [&] { return stick->path + (fd >= 0 ? " opened" : std::string(": ") + std::strerror(err)); }))
            return Finish();
    }
    // A user whom polkit does not allow the helper gets the reason, and nothing opens.
    if (notAllowed) {
        bool opened = key.OpenKey(letter);
        char detail[512] = "";
        GetLastErrorDetail(detail, sizeof detail);
        std::printf("guest: the key refused: %s\n", LastErrorReason().c_str());
        Step("polkit refuses the helper to a user it does not allow",
             !opened && GetLastError() == ERROR_NOT_AUTHENTICATED && std::strstr(detail, "authentication agent"),
             [&] { return opened ? std::string("the key opened") : LastErrorReason(); });
        std::printf("guest-run not allowed: %d failed\n", g_failed);
        return g_failed == 0 ? 0 : 1;
    }

    // The system disk, and every volume but the key's, stays closed to writing.
    std::string why;
    bool refused = RefusedForWriting("\\\\.\\PhysicalDrive" + std::to_string(system->number), why);
    std::printf("guest: opening the system disk for writing: %s\n", why.c_str());
    for (char other = 'C'; refused && other <= 'Z'; ++other) {
        std::string volumeWhy;
        if (other != letter && !RefusedForWriting(std::string("\\\\.\\") + other + ":", volumeWhy) &&
            GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
            refused = false;
            why = volumeWhy;
        }
    }
    if (!Step("the system disk and every other volume are refused for writing", refused, [&] { return why; }))
        return Finish();

    // The filesystem page's sequence, with the stick's partition mounted as a desktop leaves it.
    if (!Step("the stick's partition is mounted at the start", Mounted(mountPoint),
              [&] { return mountPoint + " is not mounted"; }) ||
        !Step(std::string("the key ") + letter + ": opens", key.OpenKey(letter)) ||
        !Step("RefreshKey", key.RefreshKey()) ||
        !Step("still mounted until the first write", Mounted(mountPoint),
              [&] { return mountPoint + " came off before any write"; }))
        return Finish();
    // A file open on the mounted partition keeps it busy: the first write is refused with
    // error 32 and nothing reaches the stick. Once the file is closed the steps go through.
    const size_t blanked = (1 << 20) + 512;  // the disk's sector 0 and the volume's
    std::string before = FirstBytesSum(blanked);
    {
        std::ifstream busy(mountPoint + "/DESKTOP.TXT");
        bool wrote = key.BlankKey();
        DWORD error = GetLastError();
        if (!Step("a busy mount refuses the first write", !wrote && error == ERROR_SHARING_VIOLATION && busy.is_open(),
                  [&] { return wrote ? "BlankKey wrote" : "BlankKey failed otherwise: " + LastErrorReason(); }))
            return Finish();
        std::printf("guest: BlankKey refused: %s\n", LastErrorReason().c_str());
    }
    if (!Step("nothing was written while mounted", FirstBytesSum(blanked) == before && Mounted(mountPoint),
              [] { return "the stick's first sectors changed"; }) ||
        !Step("RefreshKey", key.RefreshKey()) || !Step("BlankKey", key.BlankKey()) ||
        !Step("the write guard unmounted the stick", !Mounted(mountPoint),
              [&] { return mountPoint + " stays mounted"; }) ||
        !Step("RefreshKey", key.RefreshKey()) || !Step("LandMbr", key.LandMbr()) ||
        !Step("RefreshKey", key.RefreshKey()) || !Step("WritePartitionTable", key.WritePartitionTable()) ||
        !Step("the kernel sees the new partition one track in", KernelPartitionStart(stick->path) == "63",
              [&] { return "its first partition starts at sector " + KernelPartitionStart(stick->path); }) ||
        !Step("RefreshKey", key.RefreshKey()))
        return Finish();
    key.CloseKey();
    if (!Step("FormatKey", key.FormatKey()) || !Step("RefreshKey", key.RefreshKey()))
        return Finish();
    key.CloseKey();
    if (!Step("InstallBootLoader", key.InstallBootLoader()))
        return Finish();

    // The configuration page's firmware-flash choice.
    auto failedFile = [&] { return LastErrorReason() + " (" + key.m_failure.strPath + ")"; };
    bool copied = key.CopyFlashPackage();
    if (!Step("CopyFlashPackage", copied || key.m_failure.nStep == 0, failedFile) ||
        !Step("WriteFlashConfiguration", key.WriteFlashConfiguration(), failedFile))
        return Finish();

    // The backup page: the stick's used sectors into an image, taken while its new partition
    // is mounted again; then the stick is spoilt and restored from the image (the boot that
    // follows this run shows that it came back whole).
    const std::string partition = stick->path + "1";
    const std::string image = "/tmp/backup-" + std::to_string(::geteuid()) + ".img";  // one for each run
    auto transferFailure = [&] { return FailureText(key) + ": " + LastErrorReason(); };
    std::string mounted = Desktop("mount");
    if (!Step("the new partition is mounted for the backup", Mounted(mountPoint), [&] { return mounted; }))
        return Finish();
    HANDLE file = key.CreateAlways(image.c_str());
    bool backedUp = file != INVALID_HANDLE_VALUE && key.Backup(file);
    if (!Step("Backup", backedUp, transferFailure))
        return Finish();
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    ULONGLONG imageBytes = (static_cast<ULONGLONG>(high) << 32) | low;
    key.CloseFile(file);
    std::string name = partition.substr(partition.rfind('/') + 1);
    ULONGLONG usedBytes = (std::strtoull(ReadLine("/sys/class/block/" + name + "/start").c_str(), nullptr, 10) +
                           std::strtoull(ReadLine("/sys/class/block/" + name + "/size").c_str(), nullptr, 10)) * 512;
    if (!Step("the backup unmounted the stick first", !Mounted(mountPoint), [&] { return mountPoint + " stays mounted"; }) ||
        !Step("the image ends where the partition ends", imageBytes == usedBytes,
              [&] { return std::to_string(imageBytes) + " bytes, the partition ends at " + std::to_string(usedBytes); }))
        return Finish();
    if (!Step("RefreshKey", key.RefreshKey()) || !Step("BlankKey before the restore", key.BlankKey()))
        return Finish();
    file = CreateFileA(image.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    bool restored = file != INVALID_HANDLE_VALUE && key.Restore(file);
    if (!Step("Restore", restored, transferFailure))
        return Finish();
    key.CloseFile(file);
    key.CloseKey();
    return Finish();
}
