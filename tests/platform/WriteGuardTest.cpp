// The write guard's question "is it still the chosen disk?" asked directly, and the two ways
// a handle meets the guard: its first write, whatever it writes, and the dismount a backup asks for.
#include "platform/OwnCalls.h"
#include "platform/guard/WriteGuard.h"
#include "platform/machines/BasicMachine.h"
#include "platform/machines/SysfsMachine.h"
#include "tests/support/Devices.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/Sandbox.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string Changed(const platform::Disk& disk) { return platform::ChangedDiskReason(disk).value_or("unchanged"); }

HANDLE Open(const char* path, DWORD access)
{
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(WriteGuardTest, ChangedDiskReasonNamesEachWayADiskChanges)
{
    TempFolder dir;
    platform::Disk disk;
    disk.number = 1;
    disk.backing = dir / "key.img";
    disk.size = 4 * kMiB;
    MakeImage(disk.backing, disk.size);
    platform::RecordIdentity(disk);
    EXPECT_EQ(Changed(disk), "unchanged");
    fs::resize_file(disk.backing, 8 * kMiB);
    EXPECT_EQ(Changed(disk), disk.backing + " has another size now (8388608 bytes, was 4194304)");
    MakeImage(dir / "other.img", disk.size);
    fs::rename(dir / "other.img", disk.backing);  // another file of the same size under the name
    EXPECT_EQ(Changed(disk), disk.backing + " now names another device");
    fs::remove(disk.backing);
    EXPECT_EQ(Changed(disk), disk.backing + " is gone");
    disk.present = false;
    EXPECT_EQ(Changed(disk), "disk 1 is no longer attached");

    // On this computer: the key was pulled and put in again, or another took its name.
    FakeSysfs sys(dir);
    sys.AddDisk("sdb", UsbPath(1), 2048, "Kivra", "Key", "8:16");
    WriteText(sys.Block("sdb/diskseq"), "17\n");
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>(sys.paths));
    const platform::Disk& key = platform::Machine::Current().Disks().at(0);
    EXPECT_EQ(Changed(key), "unchanged");
    WriteText(sys.Block("sdb/diskseq"), "18\n");
    EXPECT_EQ(Changed(key), "/dev/sdb was attached again (disk sequence 18, was 17)");
    WriteText(sys.Block("sdb/diskseq"), "17\n");
    WriteText(sys.Block("sdb/device/model"), "Stick\n");
    EXPECT_EQ(Changed(key), "/dev/sdb is now \"Kivra Stick\", was \"Kivra Key\"");
}

// Sectors and a partition table through a new handle; the error each write ends with.
std::pair<DWORD, DWORD> FirstWrites()
{
    HANDLE disk = Open("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE);
    EXPECT_NE(disk, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> ones(512, 0x11);
    DWORD moved = 0;
    DWORD sectors = WriteFile(disk, ones.data(), 512, &moved, nullptr) ? ERROR_SUCCESS : GetLastError();
    DRIVE_LAYOUT_INFORMATION4 layout{};
    layout.PartitionCount = 4;
    layout.PartitionEntry[0].StartingOffset.QuadPart = 63 * 512;
    layout.PartitionEntry[0].PartitionLength.QuadPart = 1024 * 512;
    DWORD table = DeviceIoControl(disk, IOCTL_DISK_SET_DRIVE_LAYOUT, &layout, sizeof layout, nullptr, 0, &moved, nullptr)
                      ? ERROR_SUCCESS
                      : GetLastError();
    CloseHandle(disk);
    return {sectors, table};
}

// One place takes a disk handle through the guard at its first write, whatever it writes:
// opening it (choosing the key) unmounts nothing, and nothing is written while a file system
// of the key stays mounted or after another disk took the key's name.
TEST(WriteGuardTest, AHandleMeetsTheGuardAtItsFirstWriteWhateverItWrites)
{
    TempFolder dir;
    FakeSysfs sys(dir);
    sys.AddDisk("sdb", UsbPath(1), 2048, "Kivra", "Key", "8:16", 1);
    // The key's partition is "mounted" where nothing is: the unmount fails, as it does for a
    // busy file system. Mounted by the desktop it is no system disk.
    sys.AddMount("8:17", "/media/me/KIVRA KEY", "vfat", "/dev/sdb1");
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>(sys.paths));
    const std::string key = sys.dev + "/sdb";
    using Errors = std::pair<DWORD, DWORD>;
    EXPECT_EQ(FirstWrites(), Errors(ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadBytes(key, 0, 512), std::vector<uint8_t>(512, 0));

    WriteText(sys.paths.mountinfo, "");  // unmounted; then swapped after the handle was opened
    HANDLE early = Open("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE);
    fs::rename(key, key + ".chosen");
    MakeImage(key, kMiB);
    DWORD moved = 0;
    EXPECT_FALSE(WriteFile(early, "x", 1, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_MEDIA_CHANGED);
    CloseHandle(early);
    fs::rename(key + ".chosen", key);

    EXPECT_EQ(FirstWrites(), Errors(ERROR_SUCCESS, ERROR_SUCCESS));
    std::vector<uint8_t> sector = ReadBytes(key, 0, 512);
    EXPECT_EQ(sector[0], 0x11);
    EXPECT_EQ(sector[446 + 8], 63);  // the first entry of the table starts at sector 63
}

// A backup asks for the key's file systems to come off before it reads: only through a handle
// that may write, and never on a disk that holds the system.
TEST(WriteGuardTest, DismountNeedsAWritableHandleOfADiskThatIsNotTheSystems)
{
    TempFolder dir;
    platform::Disk key;
    key.bus = "USBSTOR";
    key.backing = dir / "key.img";
    key.size = 64 * kMiB;
    MakeImage(key.backing, key.size);
    auto use = [&](bool holdsSystem) {
        key.holdsSystem = holdsSystem;
        platform::Machine::Replace(
            std::make_unique<platform::BasicMachine>(std::vector<platform::Disk>{key}, std::nullopt, std::nullopt));
    };
    std::string loop = AttachLoop(key.backing);
    std::string point = dir / "KIVRA KEY";
    fs::create_directory(point);
    bool mounted = !loop.empty() && (FormatAndMount(loop, point, "vfat") || FormatAndMount(loop, point, "ext4"));
    auto stillMounted = [&] {
        std::string targets;
        Shell("findmnt -n -o TARGET " + loop, &targets);
        return !mounted || targets.find(point) != std::string::npos;
    };
    auto dismount = [](HANDLE volume) {
        DWORD returned = 0;
        return DeviceIoControl(volume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    };
    use(false);
    ChooseDisk(0);
    HANDLE reader = Open("\\\\.\\C:", GENERIC_READ);
    HANDLE writer = Open("\\\\.\\C:", GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(dismount(reader));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(stillMounted());
    use(true);  // the disk came to hold the system after the handle was opened
    EXPECT_FALSE(dismount(writer));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(stillMounted());
    use(false);
    EXPECT_TRUE(dismount(writer));
    CloseHandle(reader);
    CloseHandle(writer);
    if (!mounted)
        GTEST_SKIP() << "no loop device can be formatted and mounted here: nothing mounted was taken off";
    EXPECT_FALSE(stillMounted());
}

}  // namespace
