// syslinux.exe: the installer the program runs as "syslinux\syslinux.exe -f E:\".
// It finds the volume behind the drive letter in the drive map that the program hands to its
// children (BOOTWRIGHT_DRIVES): only the chosen key's letter is there, with a descriptor of
// the key's disk that this process inherited. The program's write guard checks that very
// descriptor (not a system disk, still the disk that was chosen, nothing mounted from it)
// and holds the disk, and the system's SYSLINUX installer then works on the held descriptor,
// never on the key's name: syslinux --install --force --offset <bytes> /proc/self/fd/<N>.
#include "platform/helper/HelperClient.h"
#include "platform/machines/DriveMap.h"
#include "platform/OwnCalls.h"
#include "platform/guard/CheckedDisk.h"
#include "platform/processes/ToolPath.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// "E:\", "E:" or "e:" -> 'E'; '\0' otherwise.
char DriveLetter(const std::string& arg)
{
    if (arg.size() < 2 || arg.size() > 3 || !std::isalpha(static_cast<unsigned char>(arg[0])) || arg[1] != ':')
        return '\0';
    if (arg.size() == 3 && arg[2] != '\\' && arg[2] != '/')
        return '\0';
    return static_cast<char>(std::toupper(static_cast<unsigned char>(arg[0])));
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "syslinux.exe: %s\n", message.c_str());
    return 1;
}

// The installer run by the helper on the descriptor the program handed on; its words and
// its exit status are the launcher's.
int InstallThroughHelper(const platform::DriveMapEntry& drive)
{
    std::vector<std::string> args = {"syslinux", "--install", "--force", "--offset",
                                     std::to_string(drive.volume.offset),
                                     "/proc/self/fd/" + std::to_string(drive.descriptor)};
    platform::ToolResult run = platform::RunTool(args, nullptr, {}, {drive.descriptor});
    std::fputs(run.output.c_str(), stderr);
    if (!run.started)
        return Fail(std::string("cannot run syslinux: ") + std::strerror(run.startError));
    return run.status;
}

}  // namespace

int main(int argc, char** argv)
{
    char letter = '\0';
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-f" || arg == "-F")
            continue;  // the installer is always forced: the program checked the key itself
        char candidate = DriveLetter(arg);
        if (!candidate || letter)
            return Fail("usage: syslinux.exe -f <drive>:\\");
        letter = candidate;
    }
    if (!letter)
        return Fail("usage: syslinux.exe -f <drive>:\\");

    const char* map = std::getenv("BOOTWRIGHT_DRIVES");
    std::optional<platform::DriveMapEntry> drive = platform::FindDrive(map ? map : "", letter);
    if (!drive)
        return Fail(std::string(1, letter) + ": is not the key chosen in the program; only the chosen key is written");
    if (drive->descriptor < 0)
        return Fail(std::string(1, letter) + ": the key's disk " + drive->volume.backing + " cannot be opened");
    // In the window of a user who is not root the helper guards the key and runs the installer.
    if (platform::HelperInUse())
        return InstallThroughHelper(*drive);
    // A descriptor the program holds already is checked as it is; any other is held here.
    std::shared_ptr<platform::CheckedDisk> key =
        drive->held ? (platform::GuardDisk(drive->disk, platform::KeyAccess::Write, drive->descriptor)
                           ? std::make_shared<platform::CheckedDisk>(drive->descriptor, drive->disk.number, true)
                           : nullptr)
                    : platform::OpenCheckedDisk(drive->disk, platform::KeyAccess::Write, drive->descriptor);
    if (!key) {
        DWORD code = GetLastError();
        char detail[512] = "";
        GetLastErrorDetail(detail, sizeof detail);
        char* text = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                       nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        std::string reason = text ? text : "";
        LocalFree(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        return Fail(std::string(1, letter) + ": " + reason + " " + detail);
    }
    // The installer inherits the held descriptor, and with it the hold, until it ends.
    if (key->Fd() != drive->descriptor)
        ::close(drive->descriptor);
    ::fcntl(key->Fd(), F_SETFD, 0);

    std::string offset = std::to_string(drive->volume.offset);
    std::string device = key->ToolPath();
    std::vector<char*> args{const_cast<char*>("syslinux"), const_cast<char*>("--install"),
                            const_cast<char*>("--force"),  const_cast<char*>("--offset"),
                            offset.data(),                 device.data(),
                            nullptr};
    const std::string syslinux = platform::FindTool("syslinux");
    if (syslinux.empty())
        return Fail("cannot run syslinux: it is not installed (Debian package syslinux)");
    execv(syslinux.c_str(), args.data());
    return Fail(std::string("cannot run syslinux: ") + std::strerror(errno));
}
