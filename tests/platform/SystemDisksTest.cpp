// System disks and the mount points on a disk, decided by device numbers: made-up sysfs trees
// whose devices carry the numbers of real file systems, and a real loop device.
#include "platform/Win32.h"
#include "platform/guard/SystemDisks.h"
#include "platform/guard/WriteGuard.h"
#include "platform/machines/Machine.h"
#include "tests/support/Devices.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/Sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Names = std::set<std::string>;

namespace {

dev_t DeviceOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(SystemDisksTest, UsbDiskUnderRootNamedDevRootIsNeverAKey)
{
    dev_t root = DeviceOf("/");
    if (major(root) == 0)
        GTEST_SKIP() << "/ lies on no block device here";
    TempFolder dir;
    FakeSysfs sys(dir);
    sys.AddDisk("sda", UsbPath(1), 2048, "A", "Root", "240:0", 2);
    sys.AddDisk("sdb", UsbPath(2), 2048, "B", "Key", "240:16", 1);
    WriteText(sys.Block("sda/sda2/dev"), MajorMinor(root) + "\n");
    WriteText(sys.Block("sdb/diskseq"), "17\n");
    sys.paths.systemMountPoints = {"/", "/boot", "/usr"};
    sys.AddMount(MajorMinor(root), "/", "ext4", "/dev/root");  // booted with root= and no initramfs
    WriteText(sys.paths.mounts, "/dev/root / ext4 rw 0 0\n");

    EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), Names{"sda"});
    EXPECT_EQ(platform::SystemDevices(sys.paths).count(makedev(240, 0)), 1u) << "the disk under the partition";
    ::setenv("BOOTWRIGHT_TRACE", "1", 1);
    ::testing::internal::CaptureStderr();
    platform::Machine::Replace(std::make_unique<platform::SysfsMachine>(sys.paths));
    const auto& disks = platform::Machine::Current().Disks();
    std::string trace = ::testing::internal::GetCapturedStderr();
    ::unsetenv("BOOTWRIGHT_TRACE");
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_TRUE(disks[0].holdsSystem);
    EXPECT_EQ(disks[0].bus, "SCSI");
    EXPECT_EQ(disks[1].bus, "USBSTOR");
    EXPECT_EQ(disks[1].deviceNumber, makedev(240, 16));
    EXPECT_EQ(disks[1].diskSequence, 17u);
    EXPECT_NE(trace.find("sda (240:0, SCSI, \"A Root\") kept as a system disk, never a key: / on sda2"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("sdb (240:16, USBSTOR, \"B Key\") kept: a USB disk"), std::string::npos) << trace;

    EXPECT_EQ(CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE key = CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    EXPECT_NE(key, INVALID_HANDLE_VALUE);
    CloseHandle(key);

    // This computer's own disk under / is one too, whatever its partitions are called.
    std::string node = fs::canonical("/sys/dev/block/" + MajorMinor(root)).string();
    if (fs::exists(node + "/partition"))
        node = fs::path(node).parent_path().string();
    EXPECT_EQ(platform::DisksHoldingSystem({}).count(fs::path(node).filename().string()), 1u) << node;
}

TEST(SystemDisksTest, ZfsOrBtrfsRootProtectsEveryDiskCarryingItsSignature)
{
    dev_t shm = DeviceOf("/dev/shm");
    if (shm == 0 || major(shm) != 0)
        GTEST_SKIP() << "no anonymous-device mount at /dev/shm here";
    TempFolder dir;
    FakeSysfs sys(dir);
    sys.AddDisk("sda", UsbPath(1), 2048, "A", "Pool", "240:0", 1);
    sys.AddDisk("sdb", UsbPath(2), 2048, "B", "Key", "240:16", 1);
    sys.AddDisk("sdc", UsbPath(3), 2048, "C", "Whole", "240:32");
    sys.AddDisk("sdd", UsbPath(4), 2048, "D", "Unreadable", "240:48", 1);
    // sda1: uberblock magic in label 0, little-endian; the whole of sdc: big-endian, in the
    // last label only; sdb1: a btrfs superblock; sdd1 cannot be read, so it may hold anything.
    WriteBytes(sys.dev + "/sda1", 128 * 1024 + 3 * 1024, {0x0c, 0xb1, 0xba, 0, 0, 0, 0, 0});
    WriteBytes(sys.dev + "/sdc", (768 + 128 + 5) * 1024, {0, 0, 0, 0, 0, 0xba, 0xb1, 0x0c});
    WriteBytes(sys.dev + "/sdb1", 0x10040, Bytes("_BHRfS_M"));
    fs::remove(sys.dev + "/sdd1");
    sys.paths.systemMountPoints = {"/dev/shm"};

    sys.AddMount(MajorMinor(shm), "/dev/shm", "zfs", "rpool/ROOT/debian");
    EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), (Names{"sda", "sdc", "sdd"}));
    EXPECT_FALSE(platform::IsSystemDisk(sys.paths, makedev(240, 16)));

    WriteText(sys.paths.mountinfo, "");  // btrfs whose members sysfs does not list
    sys.AddMount(MajorMinor(shm), "/dev/shm", "btrfs", "/dev/sdb1");
    EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), (Names{"sdb", "sdd"}));

    WriteText(sys.paths.mountinfo, "");
    sys.AddMount(MajorMinor(shm), "/dev/shm", "tmpfs", "tmpfs");  // lies on no disk
    EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), Names{});

    // A live system's overlay: its layers lie on the disks beneath (here the real root's).
    dev_t root = DeviceOf("/");
    if (major(root) == 0)
        return;
    sys.AddDisk("sde", UsbPath(5), 2048, "E", "Live", "240:64", 1);
    WriteText(sys.Block("sde/sde1/dev"), MajorMinor(root) + "\n");
    WriteText(sys.paths.mountinfo, "");
    sys.AddMount(MajorMinor(shm), "/dev/shm", "overlay", "overlay",
                 "rw,lowerdir=/nowhere:/,upperdir=/dev/shm/upper,workdir=/dev/shm/work");
    EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), (Names{"sde"}));
}

TEST(SystemDisksTest, RootOnLvmAndOnRaid1AcrossTwoDisks)
{
    dev_t root = DeviceOf("/");
    if (major(root) == 0)
        GTEST_SKIP() << "/ lies on no block device here";
    for (bool raid : {false, true}) {
        TempFolder dir;
        FakeSysfs sys(dir);
        sys.AddDisk("sda", UsbPath(1), 2048, "A", "One", "240:0", 2);
        sys.AddDisk("sdb", UsbPath(2), 2048, "B", "Two", "240:16", 2);
        sys.AddDisk("sdc", UsbPath(3), 2048, "C", "Three", "240:32", 2);
        if (raid) {
            sys.AddStacked("md0", "241:0", {"sda/sda1", "sdb/sdb1"}, 1);
            WriteText(sys.Block("md0/md0p1/dev"), MajorMinor(root) + "\n");
        } else {
            sys.AddStacked("dm-0", MajorMinor(root), {"sdc/sdc2"});
        }
        sys.paths.systemMountPoints = {"/"};
        EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), (raid ? Names{"md0", "sda", "sdb"} : Names{"dm-0", "sdc"}));
    }
}

TEST(SystemDisksTest, SwapOnAPartitionAndInAFile)
{
    TempFolder dir;
    FakeSysfs sys(dir);
    sys.AddDisk("sda", UsbPath(1), 2048, "A", "Key", "240:0", 1);
    sys.AddDisk("sdb", UsbPath(2), 2048, "B", "Swap", "240:16", 2);
    sys.AddDisk("sdc", UsbPath(3), 2048, "C", "Files", "240:32", 1);
    // The swap table names a node; its device number, not its name, decides.
    std::string node = dir / "swap part";
    if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(240, 18)) != 0)
        GTEST_SKIP() << "block device nodes cannot be made here (needs root)";
    std::string file = dir / "swapfile";
    WriteText(file, "");
    bool fileOnDisk = major(DeviceOf(file)) != 0;  // not where /tmp is a tmpfs
    WriteText(sys.Block("sdc/sdc1/dev"), MajorMinor(DeviceOf(file)) + "\n");
    WriteText(sys.paths.swaps, "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n" + dir / "swap\\040part" +
                                   "                               partition\t1048572\t\t0\t\t-2\n" + file +
                                   "       file\t\t1048572\t\t0\t\t-3\n");
    EXPECT_EQ(platform::DisksHoldingSystem(sys.paths), (fileOnDisk ? Names{"sdb", "sdc"} : Names{"sdb"}));
}

TEST(SystemDisksTest, MountPointsOnADiskGoByNumberNotByName)
{
    TempFolder dir;
    FakeSysfs sys(dir);
    sys.AddDisk("sdb", UsbPath(1), 2048, "K", "Key", "240:16", 1);
    sys.AddDisk("sdc", UsbPath(2), 2048, "O", "Other", "240:32", 1);
    sys.AddStacked("dm-1", "241:1", {"sdb/sdb1"});  // an encrypted volume on the key's partition
    sys.AddMount("240:17", "/media/me/KIVRA KEY", "vfat", "/dev/sdb1");
    sys.AddMount("240:33", "/srv/other", "vfat", "/dev/sdb1");  // names the key, lies on sdc1
    sys.AddMount("241:1", "/media/me/secret", "ext4", "/dev/mapper/secret");
    sys.AddMount("240:16", "/mnt/whole", "vfat", "/dev/sdc");  // the key's whole disk, named otherwise
    EXPECT_EQ(platform::MountPointsOnDisk(sys.paths, makedev(240, 16)),
              (std::vector<std::string>{"/media/me/KIVRA KEY", "/media/me/secret", "/mnt/whole"}));
    EXPECT_EQ(platform::MountPointsOnDisk(sys.paths, makedev(240, 32)), std::vector<std::string>{"/srv/other"});
    EXPECT_TRUE(platform::MountPointsOnDisk(sys.paths, makedev(240, 48)).empty());
}

TEST(SystemDisksTest, APartitionOfARealLoopDiskIsFoundAndUnmounted)
{
    TempFolder dir;
    std::string image = dir / "key.img";
    MakeImage(image, 128 << 20);
    WriteMbr(image, {{0x80, 0x0C, 2048, 250000}});
    std::string loop = AttachLoop(image, true);
    if (loop.empty())
        GTEST_SKIP() << "no loop device can be made here (needs root and /dev/loop-control)";
    std::string part = loop + "p1";
    for (int i = 0; i < 50 && ::access(part.c_str(), F_OK) != 0; ++i)
        ::usleep(20000);
    if (::access(part.c_str(), F_OK) != 0)  // a kernel without the MBR partition reader
        Shell("partx -a " + loop);
    std::string folder = dir / "mnt";
    fs::create_directory(folder);
    if (!FormatAndMount(part, folder, "vfat") && !FormatAndMount(part, folder, "ext4"))
        GTEST_SKIP() << "the loop device's partition cannot be formatted and mounted here";

    struct stat st {};
    ASSERT_EQ(::stat(loop.c_str(), &st), 0);
    platform::SysfsPaths real;  // this computer's sysfs and mount table
    platform::Disk disk;
    disk.deviceNumber = st.st_rdev;
    disk.backing = loop;
    EXPECT_EQ(platform::MountPointsOnDisk(real, st.st_rdev), std::vector<std::string>{folder});
    EXPECT_FALSE(platform::IsSystemDisk(real, st.st_rdev));
    {
        // A file open on it keeps it busy: it stays mounted, and the guard names where.
        std::FILE* busy = std::fopen((folder + "/busy").c_str(), "w");
        ASSERT_NE(busy, nullptr);
        EXPECT_EQ(platform::ReleaseDisk(disk), std::optional<std::string>(folder));
        std::fclose(busy);
    }
    EXPECT_EQ(platform::ReleaseDisk(disk), std::nullopt);
    EXPECT_TRUE(platform::MountPointsOnDisk(real, st.st_rdev).empty());

    // btrfs shows an anonymous number in the mount table: its members in sysfs tell.
    if (!FormatAndMount(part, folder, "btrfs")) {
        std::printf("btrfs cannot be made or mounted here: its members are not tried on a real disk\n");
        return;
    }
    EXPECT_EQ(platform::MountPointsOnDisk(real, st.st_rdev), std::vector<std::string>{folder});
    platform::SysfsPaths btrfsRoot = real;
    btrfsRoot.systemMountPoints = {folder};
    btrfsRoot.swaps = "/dev/null";
    EXPECT_EQ(platform::SystemDevices(btrfsRoot).count(st.st_rdev), 1u);
    EXPECT_EQ(platform::ReleaseDisk(disk), std::nullopt);
}

}  // namespace
