// The test-support library itself: what every other test relies on without checking.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/machines/Machine.h"
#include "platform/OwnCalls.h"
#include "platform/TestHooks.h"
#include "platform/Win32.h"
#include "tests/support/CleanSlate.h"
#include "tests/support/Devices.h"
#include "tests/support/KeyImage.h"
#include "tests/support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

int g_boxes = 0;
int CountBox(HWND, const char*, const char*, UINT)
{
    ++g_boxes;
    return IDOK;
}

bool Mounted(const std::string& prefix)
{
    std::ifstream mounts("/proc/self/mounts");
    for (std::string line; std::getline(mounts, line);)
        if (line.find(prefix) != std::string::npos)
            return true;
    return false;
}

}  // namespace

// A test never starts on this computer's own disks, whatever the test before it did.
TEST(CleanSlate, EveryTestStartsOnAnEmptyMachine)
{
    EXPECT_TRUE(platform::Machine::Current().Disks().empty());
    EXPECT_EQ(GetLogicalDrives(), 0u);
}

// What a test changed is undone after it: variables set, changed and unset, the working
// folder, the machine and the hooks.
TEST(CleanSlate, UndoesWhatATestChanged)
{
    ::setenv("BW_SLATE_CHANGED", "before", 1);
    ::setenv("BW_SLATE_UNSET", "before", 1);
    ::unsetenv("BW_SLATE_NEW");
    const std::string folder = fs::current_path();
    CleanSlate slate;
    const ::testing::TestInfo& info = *::testing::UnitTest::GetInstance()->current_test_info();
    slate.OnTestStart(info);

    ::setenv("BW_SLATE_CHANGED", "after", 1);
    ::unsetenv("BW_SLATE_UNSET");
    ::setenv("BW_SLATE_NEW", "after", 1);
    Sandbox sandbox;
    sandbox.AddDisk("USBSTOR", kMiB);
    sandbox.Use();
    fs::current_path(sandbox.Path());
    SetMessageBoxHandler(CountBox);
    platform::SetModuleMissingForTest("fmifs.dll", true);
    slate.OnTestEnd(info);

    EXPECT_STREQ(std::getenv("BW_SLATE_CHANGED"), "before");
    EXPECT_STREQ(std::getenv("BW_SLATE_UNSET"), "before");
    EXPECT_EQ(std::getenv("BW_SLATE_NEW"), nullptr);
    EXPECT_EQ(fs::current_path(), folder);
    EXPECT_TRUE(platform::Machine::Current().Disks().empty());
    g_boxes = 0;
    ::testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "text", "caption", MB_OK);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_boxes, 0);
    HMODULE formatter = LoadLibraryA("fmifs.dll");
    EXPECT_NE(formatter, nullptr);
    FreeLibrary(formatter);
}

// A folder that goes takes its mounts and loop devices with it, and nothing else.
TEST(Devices, ATempFolderUnmountsAndDetachesWhatLiesInIt)
{
    std::string image, loop;
    {
        TempFolder dir;
        image = dir / "key.img";
        MakeImage(image, 8 * kMiB);
        loop = AttachLoop(image);
        if (loop.empty())
            GTEST_SKIP() << "no loop device can be made here (needs root and /dev/loop-control)";
        fs::create_directory(dir / "mnt");
        if (Shell("mkfs.ext4 -q -F " + loop + " && mount " + loop + " " + (dir / "mnt")) != 0)
            GTEST_SKIP() << "the loop device cannot be formatted and mounted here";
        // A mount inside that mount: the inner one goes first.
        fs::create_directory(dir / "mnt/inner");
        ASSERT_EQ(Shell("mount -t tmpfs none " + (dir / "mnt/inner")), 0);
        ASSERT_TRUE(Mounted(dir.Path()));
    }
    EXPECT_FALSE(Mounted(fs::path(image).parent_path()));
    std::string attached;
    Shell("losetup -j " + image, &attached);
    EXPECT_EQ(attached, "");
    EXPECT_FALSE(fs::exists(fs::path(image).parent_path()));
}

// One convention for every outside command: its exit status, -1 when it was killed, and
// standard output and standard error together.
TEST(Shell, ExitStatusAndBothOutputs)
{
    std::string output;
    EXPECT_EQ(Shell("echo out; echo err >&2; exit 3", &output), 3);
    EXPECT_EQ(output, "out\nerr\n");
    EXPECT_EQ(Shell("kill -9 $$"), -1);
}

// The partition table goes into sector 0 around the boot code, which stays.
TEST(Mbr, TheTableAndSignatureAroundTheBootCode)
{
    TempFolder dir;
    MakeImage(dir / "disk.img", kMiB);
    WriteBytes(dir / "disk.img", 0, std::vector<uint8_t>(512, 0xEE));
    WriteMbr(dir / "disk.img", {{0x80, 0x0C, 2048, 0x01020304}}, 0xCAFEF00D);
    std::vector<uint8_t> sector = ReadBytes(dir / "disk.img", 0, 512);
    EXPECT_EQ(std::vector<uint8_t>(sector.begin(), sector.begin() + 440), std::vector<uint8_t>(440, 0xEE));
    EXPECT_EQ(Le32(sector, 440), 0xCAFEF00Du);
    EXPECT_EQ(sector[446], 0x80);
    EXPECT_EQ(sector[450], 0x0C);
    EXPECT_EQ(Le32(sector, 454), 2048u);
    EXPECT_EQ(Le32(sector, 458), 0x01020304u);
    EXPECT_EQ(std::vector<uint8_t>(sector.begin() + 462, sector.begin() + 510), std::vector<uint8_t>(48, 0));
    EXPECT_EQ(sector[510], 0x55);
    EXPECT_EQ(sector[511], 0xAA);
    EXPECT_EQ(ReadBytes(dir / "disk.img", kMiB - 2, 10).size(), 2u) << "fewer bytes at the end of the file";
}

// The one sandbox builder: disks numbered as added, with their bus, model and size, the
// floppy, and the fault lines.
TEST(Sandbox, DisksFloppiesAndFaultsReachTheMachine)
{
    Sandbox sandbox;
    sandbox.AddDisk("IDE", 2 * kMiB, "System disk");
    std::string key = sandbox.AddDisk("USBSTOR", 4 * kMiB, "Kivra");
    std::string floppy = sandbox.AddFloppy('A');
    sandbox.AddLine("fault 1 read 2048");
    sandbox.Use();
    const auto& disks = platform::Machine::Current().Disks();
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].bus + " " + disks[0].model, "IDE System disk");
    EXPECT_EQ(disks[1].bus + " " + disks[1].model, "USBSTOR Kivra");
    EXPECT_EQ(disks[1].backing, key);
    EXPECT_EQ(disks[1].size, 4 * kMiB);
    ASSERT_EQ(disks[1].faults.size(), 1u);
    EXPECT_EQ(disks[1].faults[0].sector, 2048u);
    EXPECT_FALSE(disks[1].faults[0].write);
    EXPECT_EQ(platform::Machine::Current().FloppyBacking('A'), floppy);
    EXPECT_EQ(fs::file_size(floppy), 1474560u);
}

// The key helpers the route tests trust: a missing file reads as "", a written one reads
// back and is listed, and the partition MakeFatKey lays out is clean.
TEST(KeyImage, FilesOnAFreshFatKey)
{
    TempFolder dir;
    std::string key = dir / "key.img";
    MakeImage(key, 32 * kMiB);
    MakeFatKey(key);
    EXPECT_EQ(KeyFileText(key, "missing.txt"), "");
    PutKeyFileText(key, "note.txt", "text\n");
    EXPECT_EQ(KeyFileText(key, "note.txt"), "text\n");
    EXPECT_NE(KeyListing(key).find("note.txt"), std::string::npos);
    ExtractRange(key, kPartitionOffset, 32 * kMiB - kPartitionOffset, dir / "volume.img");
    std::string fsck;
    EXPECT_EQ(Shell("fsck.fat -n " + (dir / "volume.img"), &fsck), 0) << fsck;
}

// A volume cut out of an image holds its bytes, and its holes stay holes: an 8 GiB key is
// checked in a moment.
TEST(Bytes, ARangeCopyHoldsItsBytesAndKeepsItsHoles)
{
    TempFolder dir;
    MakeImage(dir / "disk.img", 16 * kMiB);
    WriteBytes(dir / "disk.img", 1 * kMiB, Pattern(4096, 1));
    WriteBytes(dir / "disk.img", 10 * kMiB, Pattern(4096, 2));
    ExtractRange(dir / "disk.img", kMiB / 2, 12 * kMiB, dir / "range.img");
    EXPECT_EQ(fs::file_size(dir / "range.img"), 12 * kMiB);
    EXPECT_EQ(ReadBytes(dir / "range.img", 0, 12 * kMiB), ReadBytes(dir / "disk.img", kMiB / 2, 12 * kMiB));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "range.img").c_str(), &st), 0);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, 2 * kMiB) << "the holes were written out";
}
