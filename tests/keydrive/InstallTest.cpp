// The boot loader installer, and the filesystem page's preparation sequences end to end
// with the real formatter, boot code and installer of the run folder. The 8 GiB key takes
// minutes to format in full: it runs only with BOOTWRIGHT_SLOW_TESTS=1.
#include <gtest/gtest.h>

#include "platform/OwnCalls.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "tests/support/KeyImage.h"
#include "keydrive/KeyDrive.h"

namespace {

int g_boxes = 0;
std::string g_boxText;
int CountingMessageBox(HWND, const char* text, const char* caption, UINT type)
{
    ++g_boxes;
    g_boxText = std::string(caption) + "|" + text + "|" + std::to_string(type);
    return IDOK;
}

struct EndToEnd : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(std::filesystem::exists("syslinux/syslinux.exe")); }
    void TearDown() override
    {
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        std::cout << "[     took ] " << took.count() << " s\n";
    }

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

    // Clean for fsck.fat, of the given FAT type, with SYSLINUX's files (hidden, so -a).
    void ExpectBootableFat(uint64_t offset, uint64_t length, const std::string& type)
    {
        std::string volume = sandbox.Path() + "/volume.img";
        ASSERT_EQ(Shell("dd if=" + key + " of=" + volume + " bs=1M iflag=skip_bytes,count_bytes skip=" +
                        std::to_string(offset) + " count=" + std::to_string(length) + " conv=sparse"), 0);
        std::string output;
        EXPECT_EQ(Shell("fsck.fat -n " + volume, &output), 0) << output;
        std::vector<uint8_t> boot = ReadBytes(volume, type == "FAT32" ? 82 : 54, 5);
        EXPECT_EQ(std::string(boot.begin(), boot.end()), type);
        Shell("MTOOLS_SKIP_CHECK=1 mdir -a -b -i " + volume + " ::/", &output);
        EXPECT_NE(output.find("ldlinux.sys"), std::string::npos) << output;
        EXPECT_NE(output.find("ldlinux.c32"), std::string::npos) << output;
    }

    void ExpectPartition(uint8_t type, uint32_t count)
    {
        std::vector<uint8_t> sector = ReadBytes(key, 0, 512);
        EXPECT_EQ(std::vector<uint8_t>(sector.begin(), sector.begin() + 440), ReadBytes("syslinux/mbr.bin", 0, 440));
        EXPECT_EQ(sector[446], 0x80);
        EXPECT_EQ(sector[450], type);
        EXPECT_EQ(Le32(sector, 458), count);
    }

    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    WorkingFolder folder{BOOTWRIGHT_RUN_DIR};
    Sandbox sandbox;
    CKeyDrive drive;
    std::string key;
};

struct Installer : ::testing::Test {
    void SetUp() override { SetMessageBoxHandler(CountingMessageBox); }
    Sandbox sandbox;
    WorkingFolder folder{sandbox.Path()};
    CKeyDrive drive;
};

}  // namespace

TEST_F(Installer, AMissingInstallerShowsOneErrorBoxAndFails)
{
    std::filesystem::create_directory("syslinux");
    g_boxes = 0;
    drive.m_chLetter = 'D';
    EXPECT_FALSE(drive.InstallBootLoader());
    EXPECT_EQ(g_boxes, 1);
    EXPECT_EQ(g_boxText, "Error|The system cannot find the file specified.\r\n|64");
}

// A stand-in that records its arguments after a pause (the caller must wait) and fails
// with status 3: the failure comes back with the installer's last words, and no box.
TEST_F(Installer, TheInstallerGetsTheLetterAsStoredAndItsFailureIsKept)
{
    MakeFile("syslinux/syslinux.exe", {});
    std::ofstream("syslinux/syslinux.exe")
        << "#!/bin/sh\nsleep 0.3\nprintf '%s\\n' \"$@\" > args\necho 'noise' >&2\necho 'invalid media signature' >&2\nexit 3\n";
    std::filesystem::permissions("syslinux/syslinux.exe", std::filesystem::perms::owner_all);
    drive.m_chLetter = 'e';
    g_boxes = 0;
    EXPECT_FALSE(drive.InstallBootLoader());
    EXPECT_EQ(GetLastError(), ERROR_INSTALL_FAILURE);
    char words[256] = "";
    GetLastErrorDetail(words, sizeof words);
    EXPECT_EQ(std::string(words), "noise\ninvalid media signature");
    EXPECT_EQ(g_boxes, 0);
    EXPECT_FALSE(drive.m_bErrorShown);
    std::vector<uint8_t> args = ReadBytes("args", 0, 100);
    EXPECT_EQ(std::string(args.begin(), args.end()), "-f\ne:\\\n");
}

class PartitionedKey : public EndToEnd, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(PartitionedKey, CreateNewFilesystemMakesABootableFat16Partition)
{
    key = UseKey(sandbox, drive, GetParam());
    PrepareWithPartition();
    uint32_t count = static_cast<uint32_t>(GetParam() / kCylinder * 16065 - 63);
    ExpectPartition(0x06, count);
    ExpectBootableFat(63 * 512, uint64_t{count} * 512, "FAT16");
}

INSTANTIATE_TEST_SUITE_P(Sizes, PartitionedKey, ::testing::Values(64 * kMiB, 256 * kMiB),
                         [](const auto& info) { return std::to_string(info.param / kMiB) + "MiB"; });

TEST_F(EndToEnd, WithoutPartitionTheWholeDeviceBecomesTheBootableVolume)
{
    key = UseKey(sandbox, drive, 64 * kMiB);
    drive.RefreshKey();
    drive.BlankKey();
    drive.RefreshKey();
    drive.CloseKey();
    drive.FormatKey();
    EXPECT_TRUE(drive.InstallBootLoader());
    ExpectBootableFat(0, 64 * kMiB, "FAT16");
}

TEST_F(EndToEnd, AnEightGiBKeyGetsAFat32Partition)
{
    key = UseKey(sandbox, drive, 1044 * kCylinder);
    PrepareWithPartition();
    ExpectPartition(0x0C, 1044 * 16065 - 63);
    ExpectBootableFat(63 * 512, uint64_t{1044 * 16065 - 63} * 512, "FAT32");
}
