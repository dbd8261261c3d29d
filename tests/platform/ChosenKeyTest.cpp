// Which disks the platform writes at all: through a drive letter only the chosen key; never a
// loop device that stands on another disk's image; never a disk this computer uses.
#include "platform/Win32.h"
#include "platform/OwnCalls.h"
#include "platform/formatter/FormatEx.h"
#include "platform/guard/SystemDisks.h"
#include "platform/machines/SandboxMachine.h"
#include "platform/machines/SysfsMachine.h"
#include "tests/support/Devices.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/KeyImage.h"
#include "tests/support/Sandbox.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string Detail()
{
    char text[512] = "";
    GetLastErrorDetail(text, sizeof text);
    return text;
}

HANDLE Open(const std::string& path, DWORD access, DWORD disposition = OPEN_EXISTING)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, 0, nullptr);
}

BOOLEAN Quiet(CALLBACKCOMMAND, DWORD, LPVOID) { return TRUE; }

// Every way of writing through a letter reaches only the volume of the disk the program
// opened for writing: not another disk's, not the floppy's, and none before a key is chosen.
TEST(ChosenKeyTest, ThroughALetterOnlyTheChosenKeysVolumeIsWritten)
{
    Sandbox sandbox;
    std::string system = sandbox.AddDisk("IDE", 16 * kMiB, "System");
    std::string key = sandbox.AddDisk("USBSTOR", 16 * kMiB, "Kivra");
    std::string floppy = sandbox.AddFloppy('A');
    MakeFatKey(system);
    MakeFatKey(key);
    ASSERT_EQ(Shell("mkfs.fat " + floppy + " >/dev/null"), 0);
    PutKeyFileText(system, "kept.txt", "the system's");
    std::string source = sandbox / "source.txt";
    WriteText(source, "data");
    sandbox.Use();
    std::vector<uint8_t> systemBefore = ReadBytes(system, 0, 16 * kMiB), floppyBefore = ReadBytes(floppy, 0, 1474560);

    EXPECT_EQ(Open("D:\\early.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE) << "no key is chosen yet";
    EXPECT_NE(Detail().find("D: is not the key chosen in the program"), std::string::npos) << Detail();
    ChooseDisk(1);
    for (const char* path : {"C:\\bk.img", "A:\\bk.img", "\\\\.\\C:", "\\\\.\\A:"}) {
        EXPECT_EQ(Open(path, GENERIC_READ | GENERIC_WRITE, path[1] == ':' ? CREATE_ALWAYS : OPEN_EXISTING),
                  INVALID_HANDLE_VALUE)
            << path;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << path;
        EXPECT_NE(Detail().find(std::string(1, path[1] == ':' ? path[0] : path[4]) + ": is not the key chosen"),
                  std::string::npos)
            << Detail();
    }
    EXPECT_FALSE(CreateDirectoryA("C:\\folder", nullptr));
    EXPECT_FALSE(CopyFileA(source.c_str(), "A:\\copy.txt", FALSE));
    EXPECT_FALSE(DeleteFileA("C:\\kept.txt"));
    std::u16string root = u"C:\\", fat = u"FAT", label;
    platform::FormatEx(root.data(), 12, fat.data(), label.data(), TRUE, 0, Quiet);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE read = Open("C:\\kept.txt", GENERIC_READ);  // reading another volume writes nothing
    EXPECT_NE(read, INVALID_HANDLE_VALUE);
    CloseHandle(read);

    EXPECT_TRUE(CopyFileA(source.c_str(), "D:\\copy.txt", FALSE));
    EXPECT_EQ(KeyFileText(key, "copy.txt"), "data");
    EXPECT_EQ(ReadBytes(system, 0, 16 * kMiB), systemBefore);
    EXPECT_EQ(ReadBytes(floppy, 0, 1474560), floppyBefore);
}

// A loop device over another disk's image is that disk: machine.conf naming one is refused
// whichever comes first, and a key's loop device bound to the system image after discovery
// is refused by the guard.
TEST(ChosenKeyTest, ALoopDeviceOverAnotherDisksImageIsThatDisk)
{
    Sandbox sandbox;
    std::string system = sandbox / "system.img", key = sandbox / "key.img";
    MakeImage(system, 8 * kMiB);
    MakeImage(key, 8 * kMiB);
    std::string systemLoop = AttachLoop(system), keyLoop = AttachLoop(key);
    if (systemLoop.empty() || keyLoop.empty())
        GTEST_SKIP() << "no loop device can be made here";
    std::string error;
    WriteText(sandbox / "machine.conf", "disk 0 IDE system.img \"System\"\ndisk 1 USBSTOR " + systemLoop + " \"Key\"\n");
    EXPECT_FALSE(platform::SandboxMachine::Load(sandbox.Path(), error));
    EXPECT_NE(error.find(":2: backing " + systemLoop + " is a loop device over the same file as " + system),
              std::string::npos)
        << error;
    WriteText(sandbox / "machine.conf", "disk 0 IDE " + systemLoop + " \"System\"\ndisk 1 USBSTOR system.img \"Key\"\n");
    EXPECT_FALSE(platform::SandboxMachine::Load(sandbox.Path(), error));
    EXPECT_NE(error.find(":2: backing " + system + " is the same file as " + systemLoop), std::string::npos) << error;

    sandbox.UseConf("disk 0 IDE system.img \"System\"\ndisk 1 USBSTOR " + keyLoop + " \"Key\"\n");
    ChooseDisk(1);
    ASSERT_EQ(Shell("losetup -d " + keyLoop + " && losetup " + keyLoop + " " + system), 0);
    EXPECT_EQ(Open("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Detail(), keyLoop + " stands on the same file as disk 0 (System)");
}

// Besides /, /boot, /usr and swap, this computer uses what is mounted at or below its
// other trees and what /etc/fstab mounts: such disks are never keys and never written. A
// key the desktop mounted, or one mounted by hand, stays a key.
TEST(ChosenKeyTest, DisksThisComputerUsesAreNeverKeys)
{
    TempFolder dir;
    FakeSysfs sys(dir);
    const char* names[] = {"sda", "sdb", "sdc", "sdd", "sde", "sdf", "sdg"};
    for (int i = 0; i < 7; ++i)
        sys.AddDisk(names[i], "pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(i + 1) + "/1-1:1.0/host" +
                                  std::to_string(i + 1) + "/target1:0:0/1:0:0:0",
                    2048, "Kivra", "Key", "240:" + std::to_string(16 * i), 1);
    sys.AddMount("240:1", "/boot/efi", "vfat", "/dev/sda1");
    sys.AddMount("240:17", "/var/lib/images", "ext4", "/dev/sdb1");
    sys.AddMount("240:33", "/data set", "ext4", "/dev/sdc1");
    sys.AddMount("240:49", "/media/me/KIVRA", "vfat", "/dev/sdd1");
    sys.AddMount("240:65", "/run/media/me/STICK", "vfat", "/dev/sde1");
    sys.AddMount("240:81", "/mnt/stick", "vfat", "/dev/sdf1");
    sys.AddMount("240:97", "/media/usb", "vfat", "/dev/sdg1");
    WriteText(sys.paths.fstab, "# <file system> <mount point> <type>\nLABEL=data /data\\040set ext4 defaults 0 2\n"
                               "/dev/sdg1 /media/usb vfat noauto,user 0 0\nUUID=1 none swap sw 0 0\n");

    EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), (std::set<std::string>{"sda", "sdb", "sdc"}));
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>(sys.paths));
    std::vector<std::string> buses;
    for (const platform::Disk& disk : platform::Machine::Current().Disks())
        buses.push_back(disk.bus);
    EXPECT_EQ(buses, (std::vector<std::string>{"SCSI", "SCSI", "SCSI", "USBSTOR", "USBSTOR", "USBSTOR", "USBSTOR"}));
    EXPECT_EQ(Open("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_NE(Detail().find("holds this computer's /var/lib/images on sdb1"), std::string::npos) << Detail();
}

}  // namespace
