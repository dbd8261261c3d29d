// Blanking, boot code and partition table, checked byte by byte in the key's image.
#include <gtest/gtest.h>

#include <filesystem>

#include "Sandbox.h"
#include "keydrive/KeyDrive.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kCylinder = 255 * 63 * 512;

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t to)
{
    return std::vector<uint8_t>(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

// disk 0 the system disk, disk 1 (D:) a key of the given size; the sandbox folder is the
// working folder, so "syslinux\mbr.bin" is read from it.
class PreparationTest : public ::testing::Test {
protected:
    void MakeMachine(uint64_t keySize, const std::vector<std::string>& extra = {})
    {
        sandbox.AddDisk("IDE", 16 * kMiB);
        key = sandbox.AddDisk("USBSTOR", keySize);
        for (const std::string& line : extra)
            sandbox.AddLine(line);
        sandbox.Use();
        drive.FindKeys();
        ASSERT_TRUE(drive.OpenKey('D'));
    }

    void PutMbrBin(const std::vector<uint8_t>& bytes) { MakeFile(sandbox.Path() + "/syslinux/mbr.bin", bytes); }

    std::vector<uint8_t> Sector0() { return ReadBytes(key, 0, 512); }

    Sandbox sandbox;
    WorkingFolder folder{sandbox.Path()};
    std::string key;
    CKeyDrive drive;
};

}  // namespace

TEST_F(PreparationTest, FullPreparationWritesBootCodeAndOneBootablePartition)
{
    MakeMachine(123 * kCylinder + 4096);
    std::vector<uint8_t> mbr = ReadBytes("/usr/lib/syslinux/mbr/mbr.bin", 0, 4096);
    ASSERT_EQ(mbr.size(), 440u);
    PutMbrBin(mbr);
    // An old table with a volume at sector 63, old boot code and an old boot sector.
    std::vector<uint8_t> old(512, 0);
    std::fill(old.begin(), old.begin() + 446, 0xAB);
    old[446] = 0x80;
    old[450] = 6;
    old[454] = 63;
    old[458] = 0x10;
    old[510] = 0x55;
    old[511] = 0xAA;
    WriteBytes(key, 0, old);
    WriteBytes(key, 63 * 512, std::vector<uint8_t>(512, 0xCD));

    ASSERT_TRUE(drive.RefreshKey());
    EXPECT_EQ(drive.m_geometry.Cylinders.QuadPart, 123);
    EXPECT_TRUE(drive.BlankKey());
    EXPECT_EQ(ReadBytes(key, 63 * 512, 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(Sector0(), std::vector<uint8_t>(512, 0));
    drive.RefreshKey();
    EXPECT_TRUE(drive.LandMbr());
    drive.RefreshKey();
    EXPECT_TRUE(drive.WritePartitionTable());

    std::vector<uint8_t> sector = Sector0();
    EXPECT_EQ(Slice(sector, 0, 440), mbr);
    EXPECT_EQ(Slice(sector, 440, 446), std::vector<uint8_t>(6, 0));   // signature 0, then blank
    std::vector<uint8_t> entry = Slice(sector, 446, 462);
    EXPECT_EQ(Slice(entry, 0, 8), (std::vector<uint8_t>{0x80, 0x01, 0x01, 0x00, 0x06, 0xFE, 0x3F, 0x7A}));
    EXPECT_EQ(Le32(entry, 8), 63u);
    EXPECT_EQ(Le32(entry, 12), 1975932u);
    EXPECT_EQ(Slice(sector, 462, 510), std::vector<uint8_t>(48, 0));
    EXPECT_EQ(sector[510], 0x55);
    EXPECT_EQ(sector[511], 0xAA);

    drive.RefreshKey();
    ASSERT_TRUE(drive.QueryLayout());
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].StartingOffset.QuadPart, 32256);
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].PartitionLength.QuadPart, 1011677184);
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].HiddenSectors, 63u);
    EXPECT_TRUE(drive.HasPartitionTable());
}

TEST_F(PreparationTest, BootCodeReplacesOnlyWhatTheFileHoldsUpTo446Bytes)
{
    MakeMachine(64 * kMiB);
    WriteBytes(key, 0, std::vector<uint8_t>(512, 0xEE));

    PutMbrBin(std::vector<uint8_t>(440, 0x11));
    drive.RefreshKey();
    EXPECT_TRUE(drive.LandMbr());
    std::vector<uint8_t> expected(512, 0xEE);
    std::fill(expected.begin(), expected.begin() + 440, 0x11);
    EXPECT_EQ(Sector0(), expected);

    PutMbrBin(std::vector<uint8_t>(600, 0x22));
    drive.RefreshKey();
    EXPECT_TRUE(drive.LandMbr());
    std::fill(expected.begin(), expected.begin() + 446, 0x22);
    EXPECT_EQ(Sector0(), expected);

    std::filesystem::remove(sandbox.Path() + "/syslinux/mbr.bin");
    drive.RefreshKey();
    EXPECT_FALSE(drive.LandMbr());
    EXPECT_EQ(Sector0(), expected);
}

TEST_F(PreparationTest, NothingIsWrittenWhenSectorZeroCannotBeRead)
{
    MakeMachine(64 * kMiB, {"fault 1 read 0"});
    WriteBytes(key, 0, std::vector<uint8_t>(512, 0xEE));
    PutMbrBin(std::vector<uint8_t>(440, 0x11));
    drive.RefreshKey();
    EXPECT_FALSE(drive.LandMbr());
    EXPECT_EQ(Sector0(), std::vector<uint8_t>(512, 0xEE));
    EXPECT_FALSE(drive.HasPartitionTable());
}

TEST_F(PreparationTest, BlankingStopsBeforeTheDiskWhenTheVolumeCannotBeWritten)
{
    // The key carries a table, so its volume starts at sector 63; writing that sector fails.
    MakeMachine(64 * kMiB, {"fault 1 write 63"});
    std::vector<uint8_t> table(512, 0);
    table[446] = 0x80;
    table[450] = 6;
    table[454] = 63;
    table[458] = 0x10;
    table[510] = 0x55;
    table[511] = 0xAA;
    WriteBytes(key, 0, table);
    drive.RefreshKey();
    EXPECT_FALSE(drive.BlankKey());
    EXPECT_EQ(Sector0(), table);
}

TEST_F(PreparationTest, PartitionTableIsSeenOnlyWhenThereIsOne)
{
    MakeMachine(64 * kMiB);
    drive.RefreshKey();
    EXPECT_FALSE(drive.HasPartitionTable());   // blank: one whole-device entry
    EXPECT_TRUE(drive.WritePartitionTable());
    drive.RefreshKey();
    EXPECT_TRUE(drive.HasPartitionTable());
    EXPECT_EQ(drive.m_layout.PartitionCount, 4u);

    drive.CloseKey();
    ASSERT_EQ(Shell("mkfs.fat -I " + key), 0);   // a key formatted as one whole-device volume
    drive.RefreshKey();
    EXPECT_FALSE(drive.HasPartitionTable());
    EXPECT_EQ(drive.m_layout.PartitionCount, 1u);
}

// Below 4 GiB the values are those of the 32-bit arithmetic and the type is FAT16; from
// the first cylinder past it the partition is FAT32 (LBA) with 64-bit values, and an MBR
// cannot address more than 2 TiB.
struct LargeKey {
    uint64_t cylinders;
    uint8_t type;
    uint32_t count;
};

class LargeKeyTest : public PreparationTest, public ::testing::WithParamInterface<LargeKey> {};

TEST_P(LargeKeyTest, PartitionValuesAreFormedWithoutWrapping)
{
    const LargeKey& param = GetParam();
    MakeMachine(param.cylinders * kCylinder + 4096);
    ASSERT_EQ(static_cast<uint64_t>(drive.m_geometry.Cylinders.QuadPart), param.cylinders);
    EXPECT_TRUE(drive.WritePartitionTable());
    std::vector<uint8_t> sector = Sector0();
    EXPECT_EQ(sector[446], 0x80);
    EXPECT_EQ(sector[450], param.type);
    EXPECT_EQ(Le32(sector, 454), 63u);
    EXPECT_EQ(Le32(sector, 458), param.count);
    drive.RefreshKey();
    ASSERT_TRUE(drive.QueryLayout());
    EXPECT_EQ(drive.m_layout.PartitionEntry[0].PartitionLength.QuadPart,
              static_cast<LONGLONG>(param.count) * 512);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LargeKeyTest,
                         ::testing::Values(LargeKey{522, 0x06, 522 * 16065 - 63},        // just below 4 GiB
                                           LargeKey{523, 0x0C, 523 * 16065 - 63},        // just above
                                           LargeKey{1044, 0x0C, 1044 * 16065 - 63},      // 8 GiB
                                           LargeKey{401024, 0x0C, 0xFFFFFFFFu - 62}));   // 3 TiB: capped
