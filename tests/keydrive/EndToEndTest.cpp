// The preparation sequences of the filesystem page on sandbox keys, with the real
// formatter, boot code and installer of the run folder, checked with the FAT tools.
// The 8 GiB key (FAT32) takes minutes to format in full: it runs only with
// BOOTWRIGHT_SLOW_TESTS=1 in the environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "Sandbox.h"
#include "keydrive/KeyDrive.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kCylinder = 255 * 63 * 512;
constexpr uint64_t kPartitionOffset = 63 * 512;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        started = std::chrono::steady_clock::now();
        ASSERT_TRUE(std::filesystem::exists(std::string(BOOTWRIGHT_RUN_DIR) + "/syslinux/syslinux.exe"))
            << "the run folder has no installer; build the whole tree first";
    }

    void TearDown() override
    {
        auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::cout << "[ time     ] " << elapsed << " s\n";
        RecordProperty("seconds", std::to_string(elapsed));
    }

    void MakeMachine(uint64_t keySize)
    {
        sandbox.AddDisk("IDE", 16 * kMiB);
        key = sandbox.AddDisk("USBSTOR", keySize);
        sandbox.Use();
        drive.FindKeys();
        ASSERT_TRUE(drive.OpenKey('D'));
    }

    // "Create New Filesystem": every step on freshly reopened handles.
    void PrepareWithPartition()
    {
        drive.RefreshKey();
        drive.BlankKey();
        drive.RefreshKey();
        drive.LandMbr();
        drive.RefreshKey();
        drive.WritePartitionTable();
        drive.RefreshKey();
        drive.CloseKey();
        drive.FormatKey();
        drive.RefreshKey();
        drive.CloseKey();
        EXPECT_TRUE(drive.InstallBootLoader());
    }

    // The file system at an offset of the key: clean for fsck.fat, with SYSLINUX on it.
    void ExpectBootableFat(uint64_t offset, uint64_t length, const std::string& fatType)
    {
        std::string volume = key;
        if (offset != 0) {
            volume = sandbox.Path() + "/volume.img";
            ASSERT_EQ(Shell("dd if=" + key + " of=" + volume + " bs=1M iflag=skip_bytes,count_bytes skip=" +
                          std::to_string(offset) + " count=" + std::to_string(length) + " conv=sparse status=none"),
                      0);
        }
        std::string output;
        EXPECT_EQ(Shell("fsck.fat -n " + volume, &output), 0) << output;
        // The file-system type text of the boot sector: at 54 on FAT12/16, at 82 on FAT32.
        std::vector<uint8_t> boot = ReadBytes(key, offset, 512);
        size_t at = fatType == "FAT32" ? 82 : 54;
        EXPECT_EQ(std::string(boot.begin() + at, boot.begin() + at + 5), fatType);
        EXPECT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mdir -a -b -i " + key + "@@" + std::to_string(offset) + " ::/", &output), 0)
            << output;
        // SYSLINUX marks its files hidden: -a lists them.
        EXPECT_NE(Lower(output).find("ldlinux.sys"), std::string::npos) << output;
        EXPECT_NE(Lower(output).find("ldlinux.c32"), std::string::npos) << output;
    }

    void ExpectBootRecord(uint8_t type, uint32_t count)
    {
        std::vector<uint8_t> sector = ReadBytes(key, 0, 512);
        std::vector<uint8_t> mbr = ReadBytes(std::string(BOOTWRIGHT_RUN_DIR) + "/syslinux/mbr.bin", 0, 446);
        EXPECT_TRUE(std::equal(mbr.begin(), mbr.end(), sector.begin()));
        EXPECT_EQ(sector[446], 0x80);
        EXPECT_EQ(sector[450], type);
        EXPECT_EQ(Le32(sector, 454), 63u);
        EXPECT_EQ(Le32(sector, 458), count);
        EXPECT_EQ(sector[510], 0x55);
        EXPECT_EQ(sector[511], 0xAA);
    }

    Sandbox sandbox;
    WorkingFolder folder{BOOTWRIGHT_RUN_DIR};
    std::string key;
    CKeyDrive drive;
    std::chrono::steady_clock::time_point started;
};

}  // namespace

class PartitionedKeyTest : public EndToEndTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(PartitionedKeyTest, CreateNewFilesystemMakesABootableFat16Partition)
{
    MakeMachine(GetParam());
    PrepareWithPartition();
    uint32_t count = static_cast<uint32_t>(GetParam() / kCylinder * 16065 - 63);
    ExpectBootRecord(0x06, count);
    ExpectBootableFat(kPartitionOffset, uint64_t{count} * 512, "FAT16");
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PartitionedKeyTest, ::testing::Values(64 * kMiB, 256 * kMiB, 1024 * kMiB),
                         [](const auto& info) { return std::to_string(info.param / kMiB) + "MiB"; });

TEST_F(EndToEndTest, WithoutPartitionTheWholeDeviceBecomesTheBootableVolume)
{
    MakeMachine(64 * kMiB);
    drive.RefreshKey();
    drive.BlankKey();
    drive.RefreshKey();
    drive.CloseKey();
    drive.FormatKey();
    drive.RefreshKey();
    EXPECT_FALSE(drive.HasPartitionTable());
    drive.CloseKey();
    EXPECT_TRUE(drive.InstallBootLoader());
    ExpectBootableFat(0, 64 * kMiB, "FAT16");
}

TEST_F(EndToEndTest, AnEightGiBKeyGetsAFat32Partition)
{
    const char* slow = std::getenv("BOOTWRIGHT_SLOW_TESTS");
    if (slow == nullptr || std::string(slow) != "1")
        GTEST_SKIP() << "formats 8 GiB in full; set BOOTWRIGHT_SLOW_TESTS=1 to run it";
    MakeMachine(1044 * kCylinder);
    PrepareWithPartition();
    uint32_t count = 1044 * 16065 - 63;
    ExpectBootRecord(0x0C, count);
    ExpectBootableFat(kPartitionOffset, uint64_t{count} * 512, "FAT32");
}
