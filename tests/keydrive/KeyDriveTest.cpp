// The key device object's handles and shared routines, on a machine whose disk 0 is the
// system disk and whose disk 1 (letter D) is a USB key with one partition one track in.
#include <gtest/gtest.h>

#include <cstring>

#include "Sandbox.h"
#include "keydrive/KeyDrive.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kVolumeOffset = 63 * 512;

// A classic MBR with partition 1 from sector 63 to the end of a disk of the given size.
void WritePartitionedMbr(const std::string& image, uint64_t size)
{
    std::vector<uint8_t> sector(512, 0);
    uint32_t count = static_cast<uint32_t>(size / 512 - 63);
    uint8_t entry[16] = {0x80, 1, 1, 0, 6, 0xFE, 0xFF, 0xFF, 63, 0, 0, 0};
    std::memcpy(entry + 12, &count, 4);
    std::memcpy(sector.data() + 446, entry, 16);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    WriteBytes(image, 0, sector);
}

class KeyDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        systemDisk = sandbox.AddDisk("IDE", 16 * kMiB);
        key = sandbox.AddDisk("USBSTOR", 64 * kMiB);
        WriteBytes(systemDisk, 0, std::vector<uint8_t>(512, 0x5A));
        WritePartitionedMbr(key, 64 * kMiB);
        WriteBytes(key, kVolumeOffset, std::vector<uint8_t>(512, 0x7E));
        sandbox.Use();
        drive.FindKeys();
    }

    std::vector<uint8_t> ReadHandle(HANDLE handle, DWORD count = 512)
    {
        std::vector<uint8_t> bytes(count);
        DWORD read = 0;
        if (!ReadFile(handle, bytes.data(), count, &read, nullptr))
            read = 0;
        bytes.resize(read);
        return bytes;
    }

    Sandbox sandbox;
    std::string systemDisk;
    std::string key;
    CKeyDrive drive;
};

}  // namespace

TEST(KeyDriveConstruction, StartsClosedEmptyAndWithTheFormatter)
{
    CKeyDrive drive;
    for (int i = 0; i < 26; ++i) {
        EXPECT_EQ(drive.m_bIsKey[i], 0);
        EXPECT_EQ(drive.m_nDiskNumber[i], 0);
    }
    const DRIVE_LAYOUT_INFORMATION4 zeroLayout{};
    EXPECT_EQ(std::memcmp(&drive.m_layout, &zeroLayout, sizeof(zeroLayout)), 0);
    const DISK_GEOMETRY zeroGeometry{};
    EXPECT_EQ(std::memcmp(&drive.m_geometry, &zeroGeometry, sizeof(zeroGeometry)), 0);
    EXPECT_NE(drive.m_pfnFormatEx, nullptr);
    EXPECT_EQ(drive.m_chLetter, 0);
    EXPECT_EQ(drive.m_nFormatRetry, 0u);
    EXPECT_EQ(drive.m_hVolume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_EQ(drive.m_bDriveA, 0);
    EXPECT_EQ(drive.m_bDriveB, 0);
}

TEST(KeyDriveConstruction, InvalidHandlesAreRefusedWithoutTouchingState)
{
    CKeyDrive drive;
    EXPECT_TRUE(drive.CloseKey());
    EXPECT_TRUE(drive.CloseKey());
    EXPECT_EQ(drive.m_hVolume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(drive.CloseFile(INVALID_HANDLE_VALUE));
    drive.m_geometry.Cylinders.QuadPart = 77;
    drive.m_geometry.SectorsPerTrack = 9;
    EXPECT_FALSE(drive.QueryGeometry(INVALID_HANDLE_VALUE));
    EXPECT_EQ(drive.m_geometry.Cylinders.QuadPart, 77);
    EXPECT_EQ(drive.m_geometry.SectorsPerTrack, 9u);
}

TEST_F(KeyDriveTest, OpenKeyOpensTheKeysDiskAndVolumeAndReadsTheGeometry)
{
    ASSERT_TRUE(drive.OpenKey('D'));
    EXPECT_EQ(drive.m_chLetter, 'D');
    EXPECT_EQ(drive.m_geometry.Cylinders.QuadPart, static_cast<LONGLONG>(64 * kMiB / (255 * 63 * 512)));
    EXPECT_EQ(drive.m_geometry.TracksPerCylinder, 255u);
    EXPECT_EQ(drive.m_geometry.SectorsPerTrack, 63u);
    EXPECT_EQ(drive.m_geometry.BytesPerSector, 512u);
    EXPECT_EQ(ReadHandle(drive.m_hDisk), ReadBytes(key, 0, 512));
    EXPECT_EQ(ReadHandle(drive.m_hVolume), ReadBytes(key, kVolumeOffset, 512));
}

TEST_F(KeyDriveTest, OpenKeyKeepsALowerCaseLetterAndFindsItsDisk)
{
    ASSERT_TRUE(drive.OpenKey('d'));
    EXPECT_EQ(drive.m_chLetter, 'd');
    EXPECT_EQ(ReadHandle(drive.m_hDisk), ReadBytes(key, 0, 512));
    EXPECT_EQ(ReadHandle(drive.m_hVolume), std::vector<uint8_t>(512, 0x7E));
}

TEST_F(KeyDriveTest, LayoutOfAPartitionedKeyAndOfAnUnpartitionedOne)
{
    ASSERT_TRUE(drive.OpenKey('D'));
    ASSERT_TRUE(drive.QueryLayout());
    EXPECT_EQ(drive.m_layout.PartitionCount, 4u);
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].StartingOffset.QuadPart, static_cast<LONGLONG>(kVolumeOffset));
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].PartitionType, 6);

    WriteBytes(key, 0, std::vector<uint8_t>(512, 0));   // blank: the key is one whole-device volume
    ASSERT_TRUE(drive.RefreshKey());
    ASSERT_TRUE(drive.QueryLayout());
    EXPECT_EQ(drive.m_layout.PartitionCount, 1u);
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].StartingOffset.QuadPart, 0);
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].PartitionLength.QuadPart, static_cast<LONGLONG>(64 * kMiB));
    EXPECT_EQ(ReadHandle(drive.m_hVolume), ReadHandle(drive.m_hDisk));
}

// Every letter but the key's: nothing opens, so no step after it can reach the system disk.
TEST_F(KeyDriveTest, UnmarkedLettersOpenNothingAndNeverReachDiskZero)
{
    uint64_t before = Checksum(systemDisk);
    int descriptors = OpenDescriptorCount();
    ASSERT_TRUE(drive.OpenKey('D'));
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        for (char asGiven : {letter, static_cast<char>(letter - 'A' + 'a')}) {
            if (letter == 'D')
                continue;
            SCOPED_TRACE(asGiven);
            EXPECT_FALSE(drive.OpenKey(asGiven));
            EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
            EXPECT_EQ(drive.m_hVolume, INVALID_HANDLE_VALUE);
            EXPECT_FALSE(drive.BlankKey());
            EXPECT_FALSE(drive.LandMbr());
            EXPECT_FALSE(drive.WritePartitionTable());
        }
    }
    for (char odd : {'\0', '@', '[', '1'})
        EXPECT_FALSE(drive.OpenKey(odd));
    EXPECT_EQ(drive.m_chLetter, 'D');
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(Checksum(systemDisk), before);
}

TEST_F(KeyDriveTest, RepeatedOpensAndRefreshesLeakNoDescriptor)
{
    ASSERT_TRUE(drive.OpenKey('D'));
    drive.CloseKey();
    int descriptors = OpenDescriptorCount();
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(drive.OpenKey('D'));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(drive.RefreshKey());
    drive.CloseKey();
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(KeyDriveTest, RefreshKeyLeavesBothHandlesAtOffsetZero)
{
    ASSERT_TRUE(drive.OpenKey('D'));
    ReadHandle(drive.m_hDisk, 4096);
    ReadHandle(drive.m_hVolume, 4096);
    ASSERT_TRUE(drive.RefreshKey());
    EXPECT_EQ(ReadHandle(drive.m_hDisk), ReadBytes(key, 0, 512));
    EXPECT_EQ(ReadHandle(drive.m_hVolume), ReadBytes(key, kVolumeOffset, 512));
}

TEST_F(KeyDriveTest, RefreshKeyWithoutASelectedKeyFails)
{
    EXPECT_FALSE(drive.RefreshKey());
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
}

TEST_F(KeyDriveTest, CopySectorsCopiesWholeSectorsAndWritesNothingFromAShortSource)
{
    std::vector<uint8_t> data(1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    std::string sourcePath = sandbox.Path() + "/source.bin";
    std::string targetPath = sandbox.Path() + "/target.bin";
    MakeFile(sourcePath, data);
    MakeFile(targetPath, std::vector<uint8_t>(2048, 0xEE));

    HANDLE source = drive.OpenExisting(sourcePath.c_str());
    HANDLE target = drive.OpenExisting(targetPath.c_str());
    ASSERT_NE(source, INVALID_HANDLE_VALUE);
    ASSERT_NE(target, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(drive.CopySectors(source, target, 1));
    EXPECT_FALSE(drive.CopySectors(source, target, 2));   // only 512 bytes left
    drive.CloseFile(source);
    drive.CloseFile(target);

    std::vector<uint8_t> expected(2048, 0xEE);
    std::copy(data.begin(), data.begin() + 512, expected.begin());
    EXPECT_EQ(ReadBytes(targetPath, 0, 4096), expected);
}

TEST_F(KeyDriveTest, CreateAlwaysEmptiesAnExistingFile)
{
    std::string path = sandbox.Path() + "/file.bin";
    MakeFile(path, std::vector<uint8_t>(100, 1));
    HANDLE handle = drive.CreateAlways(path.c_str());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(drive.CloseFile(handle));
    EXPECT_TRUE(ReadBytes(path, 0, 100).empty());
    EXPECT_EQ(drive.OpenExisting((sandbox.Path() + "/missing.bin").c_str()), INVALID_HANDLE_VALUE);
}
