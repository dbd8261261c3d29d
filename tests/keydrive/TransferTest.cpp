// Raw image transfer on sandbox keys: which sectors move, where a failure stops, and what a
// key that lies about its size is caught at.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/support/Sandbox.h"
#include "keydrive/KeyDrive.h"
#include "platform/OwnCalls.h"

namespace {

constexpr uint64_t kSector = 512;

// A partition table with one entry, first sector `first`, `count` sectors.
void PartitionKey(const std::string& image, uint32_t first, uint32_t count)
{
    std::vector<uint8_t> sector(kSector, 0);
    sector[446] = 0x80;
    sector[450] = 0x06;
    for (int i = 0; i < 4; ++i) {
        sector[454 + i] = static_cast<uint8_t>(first >> (8 * i));
        sector[458 + i] = static_cast<uint8_t>(count >> (8 * i));
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    WriteBytes(image, 0, sector);
}

std::vector<uint8_t> Noise(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

HANDLE Open(const std::string& path, DWORD access = GENERIC_READ)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

struct Transfer : ::testing::Test {
    // A 4 MiB key (disk 1, D:) full of noise after its partition table, whose partition
    // ends at sector `used` - 1; opened as the key selection page opens it.
    void UseKey(uint32_t used, const std::vector<std::string>& extra = {})
    {
        key = sandbox.UseKey(drive, 4 * kMiB, extra);
        WriteBytes(key, 0, Noise(4 * kMiB, 7));
        PartitionKey(key, 63, used - 63);
        drive.OpenKey('D');
    }
    bool Restore(const std::vector<uint8_t>& image)
    {
        MakeFile(sandbox.path + "/image", image);
        HANDLE file = Open(sandbox.path + "/image");
        bool restored = drive.Restore(file);
        error = GetLastError();
        drive.CloseFile(file);
        return restored;
    }
    bool Backup()
    {
        HANDLE file = drive.CreateAlways((sandbox.path + "/backup").c_str());
        bool backedUp = drive.Backup(file);
        error = GetLastError();
        drive.CloseFile(file);
        return backedUp;
    }
    Sandbox sandbox;
    CKeyDrive drive;
    std::string key;
    DWORD error = 0;
};

TEST(TransferCount, UsedSectorsOfPartitionedAndWholeDeviceKeys)
{
    Sandbox sandbox;
    CKeyDrive drive;
    std::string key = sandbox.UseKey(drive, 1024 * kMiB);
    PartitionKey(key, 63, 1975932);   // from 32,256 bytes, 1,011,677,184 bytes long
    EXPECT_EQ(drive.GetUsedSectors(), 1975995u);

    Sandbox whole;
    CKeyDrive wholeDrive;
    whole.UseKey(wholeDrive, 524288000);   // no partition table: one entry over the disk
    EXPECT_EQ(wholeDrive.GetUsedSectors(), 1024000u);

    // The percentage of the last sector of a 24 GiB key: index × 100 needs more than 32 bits.
    EXPECT_EQ(CKeyDrive::TransferPercent(50331647, 50331648), 99);
    EXPECT_EQ(CKeyDrive::TransferPercent(24, 1000), 2);
}

// Restores an image onto a fresh 4 MiB key full of noise.
struct Restored {
    bool result;
    DWORD error;
    std::string detail, failure;
    std::vector<uint8_t> before, after;
    bool released;
};
Restored RestoreOntoFreshKey(const std::vector<uint8_t>& image)
{
    Sandbox sandbox;
    CKeyDrive drive;
    std::string key = sandbox.UseKey(drive, 4 * kMiB);
    WriteBytes(key, 0, Noise(4 * kMiB, 3));
    Restored r{};
    r.before = ReadBytes(key, 0, 4 * kMiB);
    MakeFile(sandbox.path + "/image", image);
    HANDLE file = Open(sandbox.path + "/image");
    r.result = drive.Restore(file);
    r.error = GetLastError();
    char detail[256] = "";
    GetLastErrorDetail(detail, sizeof detail);
    r.detail = detail;
    drive.CloseFile(file);
    r.failure = drive.m_strTransferFailure;
    r.after = ReadBytes(key, 0, 4 * kMiB);
    r.released = drive.m_hDisk == INVALID_HANDLE_VALUE && !drive.OpenKey('D');
    return r;
}

// Only whole sectors are written; an empty image and one larger than the key are refused
// before anything is written. The drive letter goes in every case, for the rest of the run.
TEST(TransferRestore, WritesWholeSectorsAndRefusesWhatDoesNotFit)
{
    std::vector<uint8_t> image = Noise(1000, 1);
    Restored r = RestoreOntoFreshKey(image);
    EXPECT_TRUE(r.result);
    std::copy(image.begin(), image.begin() + kSector, r.before.begin());
    EXPECT_EQ(r.after, r.before) << "bytes 512 to 999 are not written";
    EXPECT_TRUE(r.released);

    r = RestoreOntoFreshKey({});
    EXPECT_FALSE(r.result) << "an empty image is no success";
    EXPECT_EQ(r.error, ERROR_HANDLE_EOF);
    EXPECT_EQ(r.after, r.before);
    EXPECT_TRUE(r.released);

    r = RestoreOntoFreshKey(Noise(4 * kMiB + kSector, 2));
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.error, ERROR_DISK_FULL);
    EXPECT_EQ(r.detail, "The image file holds 4,194,816 bytes; the key holds 4,194,304 bytes.");
    EXPECT_EQ(r.failure, "The image file is larger than the key. Nothing was written to the key.");
    EXPECT_EQ(r.after, r.before);
    EXPECT_TRUE(r.released);
}

// A backup holds the used sectors exactly; restored onto a wiped key they give it back
// byte for byte. The last block is a partial one.
TEST_F(Transfer, BackupThenRestoreOntoAWipedKeyGivesTheKeyBack)
{
    UseKey(6000);
    std::vector<uint8_t> used = ReadBytes(key, 0, 6000 * kSector);
    ASSERT_TRUE(Backup());
    EXPECT_EQ(ReadBytes(sandbox.path + "/backup", 0, 8 * kMiB), used);

    WriteBytes(key, 0, std::vector<uint8_t>(4 * kMiB, 0));
    std::vector<uint8_t> wiped = ReadBytes(key, 0, 4 * kMiB);
    drive.OpenKey('D');
    HANDLE file = Open(sandbox.path + "/backup");
    EXPECT_TRUE(drive.Restore(file));
    drive.CloseFile(file);
    std::copy(used.begin(), used.end(), wiped.begin());
    EXPECT_EQ(ReadBytes(key, 0, 4 * kMiB), wiped);
}

// A read fault in a backup and a write fault in a restore stop the transfer at exactly that
// sector, inside a block, with every sector before it in place.
TEST_F(Transfer, AFaultStopsTheTransferAtItsSectorWithEverythingBeforeInPlace)
{
    UseKey(8000, {"fault 1 read 3000", "fault 1 write 5000"});
    std::vector<uint8_t> before = ReadBytes(key, 0, 4 * kMiB);
    EXPECT_FALSE(Backup());
    EXPECT_EQ(error, ERROR_CRC);
    EXPECT_EQ(drive.m_strTransferFailure, "Reading sector 3000 of the key failed.");
    EXPECT_EQ(ReadBytes(sandbox.path + "/backup", 0, 8 * kMiB), ReadBytes(key, 0, 3000 * kSector));

    drive.OpenKey('D');
    std::vector<uint8_t> image = Noise(7000 * kSector, 5);
    EXPECT_FALSE(Restore(image));
    EXPECT_EQ(error, ERROR_WRITE_FAULT);
    EXPECT_EQ(drive.m_strTransferFailure, "Writing sector 5000 of the key failed.");
    EXPECT_EQ(ReadBytes(key, 0, 5000 * kSector), std::vector<uint8_t>(image.begin(), image.begin() + 5000 * kSector));
    EXPECT_EQ(ReadBytes(key, 5000 * kSector, 4 * kMiB - 5000 * kSector),
              std::vector<uint8_t>(before.begin() + 5000 * kSector, before.end()));
}

// A key that reports 4 MiB but keeps only its first 3 MiB takes every write without an
// error; reading it back finds the first sector it lost.
TEST_F(Transfer, AKeyThatHoldsLessThanItReportsIsCaughtAtItsFirstLostSector)
{
    UseKey(8000, {"fault 1 lose 6144"});
    EXPECT_FALSE(Restore(Noise(7000 * kSector, 9)));
    EXPECT_EQ(error, ERROR_CRC);
    EXPECT_EQ(drive.m_strTransferFailure, "Sector 6144 of the key does not hold what was written to it.");

    // The same key in the floppy role.
    Sandbox floppy;
    CKeyDrive second;
    floppy.UseKey(second, 2 * kMiB, {"fault 1 lose 100"});
    MakeFile(floppy.path + "/floppy.img", Noise(1474560, 4));
    HANDLE source = Open(floppy.path + "/floppy.img");
    EXPECT_FALSE(second.WriteFloppyImage(source));
    second.CloseFile(source);
    EXPECT_EQ(second.m_strTransferFailure, "Sector 100 of the key does not hold what was written to it.");
}

// Whole chunks of 36,864 bytes only; a source that cannot be read writes nothing and says so.
TEST_F(Transfer, FloppyImagesGoInWholeChunksAndAnUnreadableSourceIsReported)
{
    struct Case {
        size_t size, written;
    };
    for (Case c : {Case{737280, 737280}, Case{1228800, 33 * 36864}}) {
        Sandbox sandbox;
        CKeyDrive drive;
        std::string key = sandbox.UseKey(drive, 2 * kMiB);
        WriteBytes(key, 0, Noise(2 * kMiB, 8));
        std::vector<uint8_t> expected = ReadBytes(key, 0, 2 * kMiB);
        std::vector<uint8_t> image = Noise(c.size, 6);
        std::copy(image.begin(), image.begin() + static_cast<long>(c.written), expected.begin());
        MakeFile(sandbox.path + "/floppy.img", image);
        HANDLE source = Open(sandbox.path + "/floppy.img");
        EXPECT_TRUE(drive.WriteFloppyImage(source)) << c.size;
        drive.CloseFile(source);
        EXPECT_EQ(ReadBytes(key, 0, 2 * kMiB), expected) << c.size;
        EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE) << "the letter is released";
    }

    UseKey(2000);
    std::vector<uint8_t> before = ReadBytes(key, 0, 4 * kMiB);
    MakeFile(sandbox.path + "/floppy.img", Noise(1474560, 6));
    HANDLE source = Open(sandbox.path + "/floppy.img", GENERIC_WRITE);
    EXPECT_FALSE(drive.WriteFloppyImage(source));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    drive.CloseFile(source);
    EXPECT_EQ(drive.m_strTransferFailure, "Reading sector 0 of the image failed.");
    EXPECT_EQ(ReadBytes(key, 0, 4 * kMiB), before);
}

}  // namespace

namespace {

// A backup target that names a disk by its device node would be written past the write
// guard: it is refused, and only the disk's own name leads to it.
TEST(TransferTarget, ADiskNodeIsNoImageFile)
{
    if (!std::filesystem::exists("/dev/loop0"))
        GTEST_SKIP() << "no /dev/loop0 here";
    HANDLE file = CKeyDrive().CreateAlways("/dev/loop0");
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

}  // namespace
