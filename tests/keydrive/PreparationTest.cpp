// Blanking, boot code, partition table and the format ladder, checked in the key's image.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/KeyImage.h"
#include "keydrive/KeyDrive.h"
#include "platform/TestHooks.h"

namespace {

std::vector<uint8_t> Bytes(size_t count, uint8_t value) { return std::vector<uint8_t>(count, value); }

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, long from, long to)
{
    return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + to);
}

// The sandbox folder is the working folder: "syslinux\mbr.bin" is read from it.
struct Preparation : ::testing::Test {
    Sandbox sandbox;
    WorkingFolder folder{sandbox.Path()};
    CKeyDrive drive;
};

// A formatter that records its calls, refuses FAT clusters below g_accept (0: every
// size) and checks that the key's handles are closed while it runs.
struct Call {
    std::u16string root, fileSystem;
    DWORD cluster;
};
std::vector<Call> g_calls;
DWORD g_accept = 0;
CKeyDrive* g_drive = nullptr;

void RecordingFormatEx(WCHAR* root, DWORD media, WCHAR* fileSystem, WCHAR*, BOOL quick, DWORD cluster,
                       PFMIFSCALLBACK callback)
{
    EXPECT_EQ(media, 12u);
    EXPECT_FALSE(quick);
    EXPECT_EQ(g_drive->m_hDisk, INVALID_HANDLE_VALUE);
    g_calls.push_back({root, fileSystem, cluster});
    BOOLEAN formatted = TRUE;
    if (std::u16string(fileSystem) == u"FAT" && (g_accept == 0 || cluster < g_accept)) {
        callback(CLUSTERSIZETOOSMALL, 0, nullptr);
        formatted = FALSE;
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    callback(DONE, 0, &formatted);
}

// The ladder's calls; FormatKey succeeds exactly when the last call was accepted.
std::vector<DWORD> Ladder(CKeyDrive& drive, DWORD accept, bool formatted = true)
{
    g_calls.clear();
    g_accept = accept;
    g_drive = &drive;
    drive.m_pfnFormatEx = RecordingFormatEx;
    EXPECT_EQ(drive.FormatKey(), formatted);
    std::vector<DWORD> clusters;
    for (const Call& call : g_calls)
        clusters.push_back(call.cluster);
    return clusters;
}

}  // namespace

TEST_F(Preparation, FullPreparationGivesBootCodeAndOneBootablePartition)
{
    std::string key = UseKey(sandbox, drive, 123 * kCylinder + 4096);
    std::vector<uint8_t> mbr = ReadBytes("/usr/lib/syslinux/mbr/mbr.bin", 0, 512);
    MakeFile("syslinux/mbr.bin", mbr);
    WriteBytes(key, 0, Bytes(446, 0xAB));   // old boot code, a table with a volume at 63
    WriteMbr(key, {{0x80, 0x06, 63, 256}}, 0xABABABAB);
    WriteBytes(key, 63 * 512, Bytes(512, 0xCD));

    drive.RefreshKey();
    EXPECT_TRUE(drive.BlankKey());
    EXPECT_EQ(ReadBytes(key, 0, 512), Bytes(512, 0));
    EXPECT_EQ(ReadBytes(key, 63 * 512, 512), Bytes(512, 0));
    drive.RefreshKey();
    EXPECT_TRUE(drive.LandMbr());
    drive.RefreshKey();
    EXPECT_TRUE(drive.WritePartitionTable());

    std::vector<uint8_t> sector = ReadBytes(key, 0, 512);
    EXPECT_EQ(Slice(sector, 0, 440), mbr);
    EXPECT_EQ(Slice(sector, 440, 446), Bytes(6, 0));   // disk signature 0
    EXPECT_EQ(Slice(sector, 446, 454), (std::vector<uint8_t>{0x80, 1, 1, 0, 6, 0xFE, 0x3F, 0x7A}));
    EXPECT_EQ(Le32(sector, 454), 63u);
    EXPECT_EQ(Le32(sector, 458), 1975932u);
    EXPECT_EQ(Slice(sector, 462, 510), Bytes(48, 0));
    EXPECT_EQ(Slice(sector, 510, 512), (std::vector<uint8_t>{0x55, 0xAA}));
}

TEST_F(Preparation, BootCodeReplacesOnlyWhatTheFileHoldsUpTo446Bytes)
{
    std::string key = UseKey(sandbox, drive, 64 * kMiB);
    WriteBytes(key, 0, Bytes(512, 0xEE));
    std::vector<uint8_t> expected = Bytes(512, 0xEE);
    for (auto [size, value] : {std::pair<size_t, uint8_t>{440, 0x11}, {600, 0x22}}) {
        MakeFile("syslinux/mbr.bin", Bytes(size, value));
        drive.RefreshKey();
        EXPECT_TRUE(drive.LandMbr());
        std::fill(expected.begin(), expected.begin() + static_cast<long>(std::min<size_t>(size, 446)), value);
        EXPECT_EQ(ReadBytes(key, 0, 512), expected);
    }
    // A program folder that cannot be written (an immutable file) still gives its boot code.
    if (Shell("chattr +i syslinux/mbr.bin 2>/dev/null") == 0) {
        drive.RefreshKey();
        EXPECT_TRUE(drive.LandMbr());
        Shell("chattr -i syslinux/mbr.bin");
    }
    std::filesystem::remove("syslinux/mbr.bin");
    EXPECT_FALSE(drive.LandMbr());
    EXPECT_EQ(ReadBytes(key, 0, 512), expected);
}

TEST_F(Preparation, AnUnreadableSectorZeroIsNeverWrittenAndShowsNoTable)
{
    std::string key = UseKey(sandbox, drive, 64 * kMiB, {"fault 1 read 0"});
    WriteBytes(key, 0, Bytes(512, 0xEE));
    MakeFile("syslinux/mbr.bin", Bytes(440, 0x11));
    EXPECT_FALSE(drive.LandMbr());
    EXPECT_EQ(ReadBytes(key, 0, 512), Bytes(512, 0xEE));
    EXPECT_FALSE(drive.HasPartitionTable());
}

TEST_F(Preparation, HasPartitionTableOnlyWithATable)
{
    std::string key = UseKey(sandbox, drive, 64 * kMiB);
    EXPECT_FALSE(drive.HasPartitionTable());   // blank
    drive.WritePartitionTable();
    drive.RefreshKey();
    EXPECT_TRUE(drive.HasPartitionTable());
    drive.CloseKey();
    ASSERT_EQ(Shell("mkfs.fat -I " + key), 0);   // one whole-device volume
    drive.RefreshKey();
    EXPECT_FALSE(drive.HasPartitionTable());
}

// Below 4 GiB the values are those of 32-bit arithmetic, type 6; from the first cylinder
// past it, 64-bit values and FAT32 (LBA); an MBR addresses no more than 2^32 sectors.
TEST_F(Preparation, PartitionValuesOfLargeKeysDoNotWrap)
{
    struct Case { uint64_t cylinders; uint8_t type; uint32_t count; };
    for (Case c : {Case{522, 0x06, 522 * 16065 - 63}, Case{523, 0x0C, 523 * 16065 - 63},
                   Case{1044, 0x0C, 1044 * 16065 - 63}, Case{401024, 0x0C, 0xFFFFFFFFu - 62}}) {
        SCOPED_TRACE(c.cylinders);
        Sandbox machine;
        std::string key = UseKey(machine, drive, c.cylinders * kCylinder + 4096);
        EXPECT_TRUE(drive.WritePartitionTable());
        std::vector<uint8_t> sector = ReadBytes(key, 0, 512);
        EXPECT_EQ(sector[450], c.type);
        EXPECT_EQ(Le32(sector, 458), c.count);
        drive.RefreshKey();
        drive.QueryLayout();
        EXPECT_EQ(drive.m_layout.PartitionEntry[0].PartitionLength.QuadPart, LONGLONG{c.count} * 512);
        drive.CloseKey();
    }
}

TEST_F(Preparation, FormatLadderDoublesTheClusterUntilAccepted)
{
    UseKey(sandbox, drive, 64 * kMiB);
    drive.WritePartitionTable();
    ASSERT_EQ(Ladder(drive, 4096), (std::vector<DWORD>{512, 1024, 2048, 4096}));
    EXPECT_EQ(g_calls[0].root, u"D:\\");
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
    // Refused to the end: a failure, with the formatter's reason left for the message.
    EXPECT_EQ(Ladder(drive, 0, false), (std::vector<DWORD>{512, 1024, 2048, 4096, 8192, 16384, 32768, 65536}));
    EXPECT_EQ(drive.m_nFormatRetry, 16u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Preparation, AVolumeTooBigForFat16IsFormattedFat32AfterTheLadder)
{
    UseKey(sandbox, drive, 1044 * kCylinder);
    ASSERT_EQ(Ladder(drive, 0).size(), 9u);   // whole device
    EXPECT_EQ(g_calls[8].fileSystem, u"FAT32");
    drive.OpenKey('d');
    drive.WritePartitionTable();
    std::vector<DWORD> clusters = Ladder(drive, 0);
    ASSERT_EQ(clusters, (std::vector<DWORD>{512, 1024, 2048, 4096, 8192, 16384, 32768, 65536, 0}));
    EXPECT_EQ(g_calls[8].fileSystem, u"FAT32");
    EXPECT_EQ(g_calls[8].root, u"d:\\");
}

TEST(Format, AMissingFormatterMakesFormatKeyFail)
{
    platform::SetModuleMissingForTest("fmifs.dll", true);
    CKeyDrive drive;
    platform::SetModuleMissingForTest("fmifs.dll", false);
    EXPECT_EQ(drive.m_pfnFormatEx, nullptr);
    EXPECT_FALSE(drive.FormatKey());
}
