#include "BootSector.h"
#include "platform/Win32.h"
#include "platform/formatter/FormatEx.h"
#include "tests/support/Sandbox.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <numeric>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr uint64_t kStart = 63;  // the partition starts one track into the disk

// What the formatter reported, in order.
struct Reports {
    std::vector<CALLBACKCOMMAND> commands;
    std::vector<DWORD> percents;
    int done = 0;
    bool doneResult = false;
    int stopAtPercent = -1;  // answer FALSE to this progress report
};
Reports* g_reports = nullptr;

BOOLEAN Record(CALLBACKCOMMAND command, DWORD, LPVOID info)
{
    g_reports->commands.push_back(command);
    if (command == PROGRESS) {
        DWORD percent = *static_cast<DWORD*>(info);
        g_reports->percents.push_back(percent);
        if (static_cast<int>(percent) == g_reports->stopAtPercent)
            return FALSE;
    }
    if (command == DONE) {
        ++g_reports->done;
        g_reports->doneResult = *static_cast<BOOLEAN*>(info) != 0;
    }
    return TRUE;
}

bool Contains(const std::vector<CALLBACKCOMMAND>& commands, CALLBACKCOMMAND command)
{
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

class FormatterTest : public ::testing::Test {
protected:
    // A key image with one partition of `volumeBytes` at sector 63 and 1 MiB after it.
    void MakeKey(uint64_t volumeBytes, const std::string& extraConf = "")
    {
        volumeBytes_ = volumeBytes;
        image_ = folder_.Path() + "/key.img";
        MakeImage(image_, kStart * 512 + volumeBytes + kMiB);
        WriteMbr(image_, {{0x80, 0x06, kStart, static_cast<uint32_t>(volumeBytes / 512)}});
        // Patterns around the volume, so that stray writes show.
        WriteBytes(image_, 512, std::vector<uint8_t>(kStart * 512 - 512, 0x5A));
        WriteBytes(image_, kStart * 512 + volumeBytes, std::vector<uint8_t>(kMiB, 0xA5));
        folder_.UseThroughEnvironment("disk 0 USBSTOR key.img \"Test key\"\n" + extraConf);
        ChooseDisk(0);
    }

    Reports Format(DWORD cluster, bool quick = false, const char16_t* fs = u"FAT", int stopAt = -1,
                   const char16_t* root = u"C:\\")
    {
        Reports reports;
        reports.stopAtPercent = stopAt;
        g_reports = &reports;
        std::u16string rootText = root, fsText = fs, label;
        platform::FormatEx(rootText.data(), 12, fsText.data(), label.data(), quick ? TRUE : FALSE, cluster, Record);
        g_reports = nullptr;
        return reports;
    }

    std::vector<uint8_t> Outside() const
    {
        std::vector<uint8_t> bytes = ReadBytes(image_, 0, kStart * 512);
        std::vector<uint8_t> after = ReadBytes(image_, kStart * 512 + volumeBytes_, kMiB);
        bytes.insert(bytes.end(), after.begin(), after.end());
        return bytes;
    }

    // fsck.fat -n on a copy of the volume; its exit status (0 = clean).
    int Fsck(std::string* output = nullptr)
    {
        const std::string copy = folder_.Path() + "/volume.img";
        ExtractRange(image_, kStart * 512, volumeBytes_, copy);
        return Shell("fsck.fat -n " + copy, output);
    }

    Sandbox folder_;
    std::string image_;
    uint64_t volumeBytes_ = 0;
};

TEST_F(FormatterTest, TooSmallClustersAreRefusedBeforeAnythingIsWritten)
{
    MakeKey(256 * kMiB);
    const std::vector<uint8_t> before = ReadBytes(image_, 0, kStart * 512 + 2 * kMiB);
    // The program's ladder: 512, 1024, 2048 are too small for FAT16 on 256 MiB, 4096 fits.
    for (DWORD cluster : {512u, 1024u, 2048u}) {
        Reports r = Format(cluster);
        EXPECT_EQ(r.commands, (std::vector<CALLBACKCOMMAND>{CLUSTERSIZETOOSMALL, DONE})) << cluster;
        EXPECT_FALSE(r.doneResult);
    }
    EXPECT_EQ(ReadBytes(image_, 0, kStart * 512 + 2 * kMiB), before);

    Reports r = Format(4096);
    EXPECT_FALSE(Contains(r.commands, CLUSTERSIZETOOSMALL));
    EXPECT_EQ(r.done, 1);
    EXPECT_TRUE(r.doneResult);
    BootSector boot = ReadBootSector(image_, kStart * 512);
    EXPECT_EQ(boot.fsType, "FAT16");
    EXPECT_EQ(boot.sectorsPerCluster, 8u);
    std::string fsck;
    EXPECT_EQ(Fsck(&fsck), 0) << fsck;
}

TEST_F(FormatterTest, FullFormatGivesACleanFat16InsideTheVolumeOnly)
{
    MakeKey(64 * kMiB);
    // Old contents in the volume must not survive a full format.
    const std::vector<uint8_t> junk(3 * kMiB, 0x77);
    WriteBytes(image_, kStart * 512 + 40 * kMiB, junk);
    const std::vector<uint8_t> outside = Outside();

    Reports r = Format(2048);
    ASSERT_TRUE(r.doneResult);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.commands.back(), DONE);
    // One report per percent, in order: the program's status line counts on about a hundred.
    std::vector<DWORD> expected(100);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(r.percents, expected);

    BootSector boot = ReadBootSector(image_, kStart * 512);
    EXPECT_EQ(boot.fsType, "FAT16");
    EXPECT_EQ(boot.bytesPerSector, 512u);
    EXPECT_EQ(boot.sectorsPerCluster, 4u);
    EXPECT_EQ(boot.hiddenSectors, kStart);
    // Whole tracks of the volume (mkfs.fat keeps to the geometry), never more.
    EXPECT_LE(boot.totalSectors, 64 * kMiB / 512);
    EXPECT_GT(boot.totalSectors, 64 * kMiB / 512 - 63);
    EXPECT_EQ(boot.media, 0xF8u);
    EXPECT_EQ(boot.heads, 255u);
    EXPECT_EQ(boot.sectorsPerTrack, 63u);
    EXPECT_EQ(Outside(), outside);
    EXPECT_EQ(ReadBytes(image_, kStart * 512 + 40 * kMiB, junk.size()), std::vector<uint8_t>(junk.size(), 0));
    std::string fsck;
    EXPECT_EQ(Fsck(&fsck), 0) << fsck;
    // The file system is usable: mtools sees an empty root at the volume's offset.
    EXPECT_EQ(Shell("mdir -i " + image_ + "@@" + std::to_string(kStart * 512) + " ::/"), 0);
    // The zeroed volume stays sparse: a 64 MiB format holds a few hundred KiB of FAT, not 64 MiB.
    struct stat st {};
    ASSERT_EQ(stat(image_.c_str(), &st), 0);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, 8 * kMiB);
}

TEST_F(FormatterTest, DiskFaultsEndTheFormatAsFailed)
{
    // Sector 63 + 20000 lies inside the volume; the write pass gets there first.
    MakeKey(32 * kMiB, "fault 0 read 20063\n");
    Reports r = Format(512);
    EXPECT_EQ(r.done, 1);
    EXPECT_FALSE(r.doneResult);
    EXPECT_GT(r.percents.size(), 50u);  // stopped in the read pass
    EXPECT_LT(r.percents.size(), 100u);
    EXPECT_NE(ReadBootSector(image_, kStart * 512).fsType.substr(0, 3), "FAT");  // no file system laid out

    MakeKey(32 * kMiB, "fault 0 write 20063\n");
    const std::vector<uint8_t> outside = Outside();
    r = Format(512);
    EXPECT_FALSE(r.doneResult);
    EXPECT_LT(r.percents.size(), 50u);
    EXPECT_EQ(Outside(), outside);
}

TEST_F(FormatterTest, CallbackCanStopTheFormat)
{
    MakeKey(16 * kMiB);
    Reports r = Format(512, false, u"FAT", 30);
    EXPECT_EQ(r.percents.size(), 30u);
    EXPECT_EQ(r.done, 1);
    EXPECT_FALSE(r.doneResult);
    EXPECT_NE(ReadBootSector(image_, kStart * 512).fsType.substr(0, 3), "FAT");
}

TEST_F(FormatterTest, RefusesWhatItCannotFormat)
{
    MakeKey(16 * kMiB);
    const std::vector<uint8_t> before = ReadBytes(image_, 0, kStart * 512 + 17 * kMiB);
    struct Case {
        const char16_t* root;
        const char16_t* fs;
        DWORD cluster;
    } cases[] = {
        {u"Q:\\", u"FAT", 512},     // no such drive
        {u"C", u"FAT", 512},        // not a drive root
        {u"C:\\", u"FAT", 3000},    // not a power of two
        {u"C:\\", u"FAT", 131072},  // larger than FAT allows
        {u"C:\\", u"NTFS", 4096},
        {u"C:\\", u"FAT32", 512},   // 16 MiB is too small for FAT32
    };
    for (const Case& c : cases) {
        Reports r = Format(c.cluster, false, c.fs, -1, c.root);
        EXPECT_EQ(r.done, 1);
        EXPECT_FALSE(r.doneResult);
        EXPECT_FALSE(Contains(r.commands, CLUSTERSIZETOOSMALL));
        EXPECT_TRUE(r.percents.empty());
    }
    EXPECT_EQ(ReadBytes(image_, 0, kStart * 512 + 17 * kMiB), before);
}

TEST_F(FormatterTest, LowerCaseRootAndTinyVolumeGiveFat12)
{
    MakeKey(1536 * 1024);
    Reports r = Format(512, false, u"FAT", -1, u"c:\\");
    ASSERT_TRUE(r.doneResult);
    EXPECT_EQ(ReadBootSector(image_, kStart * 512).fsType, "FAT12");
    EXPECT_EQ(Fsck(), 0);
}

TEST_F(FormatterTest, LargeVolumeGetsFat32)
{
    MakeKey(8ull << 30);
    // FAT16 cannot hold 8 GiB with any cluster, as the program's ladder finds out.
    EXPECT_TRUE(Contains(Format(65536, true).commands, CLUSTERSIZETOOSMALL));
    const std::vector<uint8_t> outside = Outside();
    Reports r = Format(0, true, u"FAT32");  // quick: the pass over 8 GiB is not what is tested here
    ASSERT_TRUE(r.doneResult);
    EXPECT_TRUE(r.percents.empty());
    BootSector boot = ReadBootSector(image_, kStart * 512);
    EXPECT_EQ(boot.fsType, "FAT32");
    EXPECT_EQ(boot.sectorsPerCluster, 8u);  // 4 KiB, Windows' default up to 8 GiB
    EXPECT_EQ(boot.hiddenSectors, kStart);
    EXPECT_EQ(Outside(), outside);
    std::string fsck;
    EXPECT_EQ(Fsck(&fsck), 0) << fsck;
}

}  // namespace
