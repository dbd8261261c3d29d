// The machine: sandbox folders, drive letters, and this computer seen through a made-up sysfs.
#include "platform/OwnCalls.h"
#include "platform/Win32.h"
#include "platform/machines/Machine.h"
#include "platform/machines/SandboxMachine.h"
#include "platform/machines/SysfsMachine.h"
#include "tests/support/Devices.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/Sandbox.h"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class MachineTest : public SandboxTest {};

TEST_F(MachineTest, SandboxConfigurationIsReadWithCommentsAndQuotes)
{
    MakeImage(dir / "a.img", 1 << 20);
    MakeImage(dir / "b.img", 2 << 20);
    MakeImage(dir / "fd.img", 1474560);
    dir.UseConf("# demo\n\ndisk 0 IDE a.img \"System # disk\"  # trailing\n"
               "disk 1 usbstor b.img \"Kivra 2 MB\"\nfloppy B fd.img\nfault 1 write 7\n");
    auto& disks = platform::Machine::Current().Disks();
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].model, "System # disk");
    EXPECT_EQ(disks[1].bus, "usbstor");
    EXPECT_EQ(disks[1].size, 2u << 20);
    EXPECT_EQ(disks[1].backing, dir / "b.img");
    ASSERT_EQ(disks[1].faults.size(), 1u);
    EXPECT_TRUE(disks[1].faults[0].write);
    EXPECT_EQ(disks[1].faults[0].sector, 7u);
    // B: exists, A: does not; C: and D: for the two disks.
    EXPECT_EQ(GetLogicalDrives(), 0b1110u);
}

TEST_F(MachineTest, MalformedConfigurationsSayWhereAndWhy)
{
    MakeImage(dir / "a.img", 1 << 20);
    struct Case { const char* conf; const char* says; } cases[] = {
        {"disk 0 IDE a.img \"unterminated\n", "machine.conf:1: unterminated"},
        {"disk 0 IDE missing.img \"M\"\n", "missing.img cannot be opened"},
        {"disk 1 IDE a.img \"M\"\n", "without gaps"},
        {"disk 0 IDE a.img \"M\"\ndisk 0 IDE a.img \"M\"\n", "machine.conf:2: disk 0 is defined twice"},
        {"\nfault 3 read 1\n", "machine.conf:2: fault on disk 3"},
        {"disk 0 IDE a.img \"M\"\nfault 0 erase 1\n", "expected: fault"},
        {"floppy C a.img\n", "expected: floppy"},
        {"partition 1\n", "unknown item 'partition'"},
    };
    for (const Case& c : cases) {
        WriteText(dir / "machine.conf", c.conf);
        std::string error;
        EXPECT_EQ(platform::SandboxMachine::Load(dir.Path(), error), nullptr) << c.conf;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// Two disks over one file would let the "key" overwrite the system image; a FIFO would hang
// the program before its window; neither is a disk.
TEST_F(MachineTest, ABackingIsOneDisksOwnFileOrBlockDevice)
{
    MakeImage(dir / "a.img", 1 << 20);
    fs::create_symlink(dir / "a.img", dir / "link.img");
    fs::create_hard_link(dir / "a.img", dir / "hard.img");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const char* second : {"a.img", "link.img", "hard.img"}) {
        WriteText(dir / "machine.conf", std::string("disk 0 IDE a.img \"S\"\ndisk 1 USBSTOR ") + second + " \"K\"\n");
        std::string error;
        EXPECT_EQ(platform::SandboxMachine::Load(dir.Path(), error), nullptr) << second;
        EXPECT_NE(error.find("machine.conf:2: backing"), std::string::npos) << error;
        EXPECT_NE(error.find("is the same file as"), std::string::npos) << error;
    }
    WriteText(dir / "machine.conf", "disk 0 IDE a.img \"S\"\nfloppy A hard.img\n");
    std::string error;
    EXPECT_EQ(platform::SandboxMachine::Load(dir.Path(), error), nullptr);
    for (const char* odd : {"fifo", "."}) {
        WriteText(dir / "machine.conf", std::string("disk 0 IDE ") + odd + " \"S\"\n");
        EXPECT_EQ(platform::SandboxMachine::Load(dir.Path(), error), nullptr) << odd;
        EXPECT_NE(error.find("is neither an image file nor a block device"), std::string::npos) << error;
    }
}

TEST_F(MachineTest, UnusableSandboxGivesAnEmptyMachineAndSaysWhy)
{
    dir.UseThroughEnvironment("\nbogus\n");
    ::testing::internal::CaptureStderr();
    DWORD drives = GetLogicalDrives();
    std::string said = ::testing::internal::GetCapturedStderr();
    char problem[512];
    DWORD length = GetMachineProblem(problem, sizeof problem);
    EXPECT_EQ(drives, 0u);
    EXPECT_NE(said.find("unknown item 'bogus'"), std::string::npos) << said;
    EXPECT_EQ(std::string(problem, length), dir / "machine.conf:2: unknown item 'bogus'");
    EXPECT_TRUE(InitDiskAccess());
    ::unsetenv("BOOTWRIGHT_MACHINE");
    platform::Machine::Replace(nullptr);
    EXPECT_EQ(GetMachineProblem(problem, sizeof problem), 0u) << "this computer is no problem";
}

TEST_F(MachineTest, RemovedLetterIsGoneForTheRestOfTheRun)
{
    MakeImage(dir / "a.img", 1 << 20);
    MakeImage(dir / "b.img", 1 << 20);
    MakeImage(dir / "fd.img", 1474560);
    dir.UseConf("floppy A fd.img\ndisk 0 IDE a.img \"S\"\ndisk 1 USBSTOR b.img \"K\"\n");
    EXPECT_EQ(GetLogicalDrives(), 0b1101u);
    EXPECT_FALSE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "D:", "\\Device\\HarddiskVolume2"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(DefineDosDeviceA(0, "D:", nullptr));
    EXPECT_TRUE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "d:", nullptr));
    EXPECT_EQ(GetLogicalDrives(), 0b0101u);
    EXPECT_EQ(platform::Machine::Current().LetterOfDisk(1), '\0');
    EXPECT_FALSE(platform::Machine::Current().VolumeOf('D'));
    EXPECT_EQ(CreateFileA("\\\\.\\D:", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "D:", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    // The disk itself stays reachable.
    HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(disk, INVALID_HANDLE_VALUE);
    CloseHandle(disk);
}

TEST_F(MachineTest, DiskDescriptionForTheKeyList)
{
    MakeImage(dir / "k.img", 3 << 20);
    dir.UseConf("disk 0 USBSTOR k.img \"Virtual Kivra\"\n");
    char model[64], path[256];
    ULONGLONG size = 0;
    ASSERT_TRUE(GetDiskDescription(0, model, sizeof model, &size, path, sizeof path));
    EXPECT_STREQ(model, "Virtual Kivra");
    EXPECT_EQ(size, 3u << 20);
    EXPECT_EQ(std::string(path), fs::canonical(dir / "k.img").string());
    EXPECT_FALSE(GetDiskDescription(0, model, 13, &size, nullptr, 0));  // no room for the terminator
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(GetDiskDescription(1, model, sizeof model, &size, path, sizeof path));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SysfsMachineTest, UsbDisksAreFoundThroughTheirBusPath)
{
    TempFolder dir;
    FakeSysfs sys(dir);
    struct stat root {};
    ASSERT_EQ(::stat("/", &root), 0);
    sys.AddDisk("sdb", UsbPath(6), 501760, "Kivra", "Key", "240:16", 1);
    sys.AddDisk("sda", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", 1000000, "ATA", "Disk One", "240:0",
                2);
    sys.AddDisk("nvme0n1", "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0", 2000000, "", "Fast NVMe", "241:0");
    sys.AddDisk("sdc", "pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host7/target7:0:0/7:0:0:0", 0, "Card", "Reader",
                "240:32");
    fs::create_directories(sys.root + "/block/loop0");  // not a disk kind the machine looks at
    WriteText(sys.Block("sda/sda2/dev"), MajorMinor(root.st_dev));
    sys.paths.systemMountPoints = {"/"};
    sys.AddMount("240:17", "/media/me/KIVRA", "vfat", "/dev/sdb1");

    platform::SysfsMachine machine(sys.paths);
    const auto& disks = machine.Disks();
    ASSERT_EQ(disks.size(), 3u);  // the empty card reader is left out
    EXPECT_EQ(disks[0].kernelName, "nvme0n1");
    EXPECT_EQ(disks[0].bus, "SCSI");
    EXPECT_EQ(disks[0].model, "Fast NVMe");
    EXPECT_EQ(disks[1].kernelName, "sda");
    EXPECT_EQ(disks[1].bus, "IDE");
    if (major(root.st_dev) != 0) {  // else / lies on no block device here (a container)
        EXPECT_TRUE(disks[1].holdsSystem);
    }
    EXPECT_EQ(disks[2].kernelName, "sdb");
    EXPECT_EQ(disks[2].number, 2);
    EXPECT_EQ(disks[2].bus, "USBSTOR");
    EXPECT_FALSE(disks[2].holdsSystem);  // mounted, but not a system file system: still a key
    EXPECT_EQ(disks[2].model, "Kivra Key");
    EXPECT_EQ(disks[2].size, 501760u * 512);
    EXPECT_EQ(disks[2].backing, sys.dev + "/sdb");
    EXPECT_FALSE(machine.FloppyBacking('A'));
    EXPECT_FALSE(platform::RunsThroughUsb("/sys/devices/virtual/usbmon/x"));  // "usb" and a bus number
}

// A real block device (a loop device) presented as a USB key: opened, read and written.
TEST(SysfsMachineTest, LoopDeviceAsUsbKeyIsReadAndWritten)
{
    TempFolder dir;
    MakeImage(dir / "key.img", 4 << 20);
    WriteMbr(dir / "key.img", {{0x80, 0x0C, 2048, 4096}});
    WriteBytes(dir / "key.img", 2048 * 512, {'L', 'O', 'O', 'P'});
    std::string loop = AttachLoop(dir / "key.img");
    if (loop.empty() || ::access(loop.c_str(), R_OK | W_OK) != 0)
        GTEST_SKIP() << "no loop device can be made here (needs root and /dev/loop-control)";

    // The made-up disk is the loop device itself: its number and size, as the guard checks.
    struct stat st {};
    ASSERT_EQ(::stat(loop.c_str(), &st), 0);
    FakeSysfs sys(dir);
    sys.AddDisk("sdx", UsbPath(6), 8192, "Loop", "Key", MajorMinor(st.st_rdev));
    fs::remove(sys.dev + "/sdx");
    fs::create_symlink(loop, sys.dev + "/sdx");
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>(sys.paths));
    ChooseDisk(0);

    HANDLE volume = CreateFileA("\\\\.\\C:", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(volume, nullptr), 4096u * 512);
    char bytes[512];
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(volume, bytes, 512, &n, nullptr));
    EXPECT_EQ(std::string(bytes, 4), "LOOP");
    SetFilePointer(volume, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(volume, "KEY!", 4, &n, nullptr));
    CloseHandle(volume);
    HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    DISK_GEOMETRY g{};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned, nullptr));
    EXPECT_EQ(g.MediaType, RemovableMedia);
    CloseHandle(disk);

    ReleaseDevicesUnder(dir.Path() + "/");   // detached: the image holds what reached the device
    EXPECT_EQ(ReadBytes(dir / "key.img", 2048 * 512, 4), (std::vector<uint8_t>{'K', 'E', 'Y', '!'}));
}

}  // namespace

TEST(SysfsMachineTest, KeysPluggedInLaterAreFoundAndNumbersNeverMove)
{
    TempFolder dir;
    FakeSysfs sys(dir);
    sys.AddDisk("sda", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", 1000000, "ATA", "Disk", "8:0");
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>(sys.paths));
    EXPECT_EQ(GetLogicalDrives(), 1u << 2);  // C: only

    // A key arrives after the start: the next look finds it as disk 1, D:.
    sys.AddDisk("sdb", UsbPath(1), 501760, "Kivra", "Key", "8:16");
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3));
    auto& machine = platform::Machine::Current();
    ASSERT_EQ(machine.Disks().size(), 2u);
    EXPECT_EQ(machine.Disks()[1].bus, "USBSTOR");

    // It goes, and another device takes the same kernel name: that one is a new disk, and
    // number 1 can no longer be opened.
    fs::remove(sys.root + "/block/sdb");
    fs::remove_all(sys.root + "/devices/" + UsbPath(1));
    sys.AddDisk("sdb", UsbPath(2), 1000, "Other", "Stick", "8:16");
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4));
    ASSERT_EQ(machine.Disks().size(), 3u);
    EXPECT_FALSE(machine.Disks()[1].present);
    EXPECT_EQ(machine.Disks()[2].model, "Other Stick");
    EXPECT_EQ(CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}
