// The write guard's question "is it still the chosen disk?" asked directly, and the two ways
// a handle meets the guard: its first write, whatever it writes, and the dismount a backup asks for.
#include "platform/OwnCalls.h"
#include "platform/guard/WriteGuard.h"
#include "platform/machines/BasicMachine.h"
#include "platform/machines/SysfsMachine.h"
#include "tests/support/Devices.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/Sandbox.h"
#include "tests/support/Shell.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace {

std::string Changed(const platform::Disk& disk) { return platform::ChangedDiskReason(disk).value_or("unchanged"); }

std::string Detail()
{
    char text[512] = "";
    GetLastErrorDetail(text, sizeof text);
    return text;
}

HANDLE Open(const char* path, DWORD access)
{
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL Dismount(HANDLE volume)
{
    DWORD returned = 0;
    return DeviceIoControl(volume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
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

    // Another block device under the name of the one discovery saw.
    platform::Disk node;
    node.number = 2;
    node.backing = dir / "sdz";
    node.deviceNumber = makedev(7, 250);
    if (::mknod(node.backing.c_str(), S_IFBLK | 0600, makedev(7, 251)) == 0) {
        EXPECT_EQ(Changed(node), node.backing + " now names another device");
    }

    // On this computer: the key was pulled and another (or the same) put in under its name.
    FakeSysfs sys(dir);
    sys.AddDisk("sdb", "pci0000:00/usb1/1-1/1-1:1.0/host1/target1:0:0/1:0:0:0", 2048, "Kivra", "Key", "8:16");
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

// One place takes a disk or volume handle through the guard at its first write: a key swapped
// after the handle was opened gets neither sectors nor a partition table.
TEST(WriteGuardTest, AHandleMeetsTheGuardAtItsFirstWriteWhateverItWrites)
{
    Sandbox sandbox;
    std::string key = sandbox.AddDisk("USBSTOR", 4 * kMiB, "Kivra");
    sandbox.Use();
    HANDLE disk = Open("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(disk, INVALID_HANDLE_VALUE);
    MakeImage(sandbox / "other.img", 4 * kMiB);
    fs::rename(sandbox / "other.img", key);

    std::vector<uint8_t> ones(512, 0x11);
    DWORD moved = 0;
    EXPECT_FALSE(WriteFile(disk, ones.data(), 512, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_MEDIA_CHANGED);
    DRIVE_LAYOUT_INFORMATION4 layout{};
    layout.PartitionCount = 4;
    layout.PartitionEntry[0].StartingOffset.QuadPart = 63 * 512;
    layout.PartitionEntry[0].PartitionLength.QuadPart = 1024 * 512;
    EXPECT_FALSE(DeviceIoControl(disk, IOCTL_DISK_SET_DRIVE_LAYOUT, &layout, sizeof layout, nullptr, 0, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_MEDIA_CHANGED);
    CloseHandle(disk);
    EXPECT_EQ(ReadBytes(key, 0, 512), std::vector<uint8_t>(512, 0));
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
    use(false);
    ChooseDisk(0);
    HANDLE reader = Open("\\\\.\\C:", GENERIC_READ);
    HANDLE writer = Open("\\\\.\\C:", GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(Dismount(reader));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(stillMounted());
    use(true);  // the disk came to hold the system after the handle was opened
    EXPECT_FALSE(Dismount(writer));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_NE(Detail().find("holds a file system or swap of this computer"), std::string::npos) << Detail();
    EXPECT_TRUE(stillMounted());
    use(false);
    EXPECT_TRUE(Dismount(writer));
    if (!mounted)
        GTEST_SKIP() << "no loop device can be formatted and mounted here: nothing mounted was taken off";
    EXPECT_FALSE(stillMounted());
    CloseHandle(reader);
    CloseHandle(writer);
}

}  // namespace
