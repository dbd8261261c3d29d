// Raw image transfer on sandbox keys: which sectors move, where a failure stops, and what a
// key that lies about its size is caught at.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/KeyImage.h"
#include "keydrive/KeyDrive.h"
#include "pages/StepFailure.h"
#include "platform/OwnCalls.h"

namespace {


// A fresh sandbox whose disk 1 (D:) is a key of `size` bytes full of a pattern, opened as the
// key selection page opens it: one whole-device volume, or with `used` its one partition
// ends at sector used - 1.
struct Key {
    Key(uint64_t bytes, uint32_t used = 0, const std::vector<std::string>& extra = {}) : size(bytes)
    {
        path = UseKey(sandbox, drive, size, extra);
        WriteBytes(path, 0, Pattern(size, 7));
        if (used)
            WriteMbr(path, {{0x80, 0x06, 63, static_cast<uint32_t>(used - 63)}});
        else
            WriteBytes(path, 510, {0, 0});
        drive.OpenKey('D');
        before = Bytes();
    }
    std::vector<uint8_t> Bytes() const { return ReadBytes(path, 0, size); }
    std::vector<uint8_t> Image() const { return ReadBytes(sandbox.Path() + "/image", 0, 64 * kMiB); }
    // One transfer with the sandbox's file "image": written from `image` and opened with
    // `access` for a restore or a floppy, created for a backup (no image).
    bool Run(bool (CKeyDrive::*transfer)(HANDLE), const std::vector<uint8_t>* image = nullptr,
             DWORD access = GENERIC_READ)
    {
        std::string file = sandbox.Path() + "/image";
        if (image)
            MakeFile(file, *image);
        HANDLE handle = image ? CreateFileA(file.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                              : drive.CreateAlways(file.c_str());
        bool done = (drive.*transfer)(handle);
        CLastError last = CLastError::Now();
        error = last.dwCode;
        detail = last.strDetail;
        drive.CloseFile(handle);
        released = drive.m_hDisk == INVALID_HANDLE_VALUE;
        return done;
    }
    // What the key held before, with `bytes` written over its start.
    std::vector<uint8_t> BeforeWith(const std::vector<uint8_t>& bytes, size_t count) const
    {
        std::vector<uint8_t> expected = before;
        std::copy(bytes.begin(), bytes.begin() + static_cast<long>(count), expected.begin());
        return expected;
    }

    Sandbox sandbox;
    CKeyDrive drive;
    uint64_t size;
    std::string path, detail;
    std::vector<uint8_t> before;
    DWORD error = 0;
    bool released = false;
};

TEST(TransferCount, UsedSectorsOfPartitionedAndWholeDeviceKeys)
{
    Sandbox sandbox;
    CKeyDrive drive;
    std::string key = UseKey(sandbox, drive, 1024 * kMiB);
    WriteMbr(key, {{0x80, 0x06, 63, static_cast<uint32_t>(1975932)}});   // from 32,256 bytes, 1,011,677,184 bytes long
    EXPECT_EQ(drive.GetUsedSectors(), 1975995u);

    Sandbox whole;
    CKeyDrive wholeDrive;
    UseKey(whole, wholeDrive, 524288000);   // no partition table: one entry over the disk
    EXPECT_EQ(wholeDrive.GetUsedSectors(), 1024000u);

    // The percentage of the last sector of a 24 GiB key: index × 100 needs more than 32 bits.
    EXPECT_EQ(CKeyDrive::TransferPercent(50331647, 50331648), 99);
    EXPECT_EQ(CKeyDrive::TransferPercent(24, 1000), 2);
}

// An image is written whole or not at all: one that is not whole sectors, an empty one and
// one larger than the key are refused before anything is written, and the key keeps its
// letter, so that a good image restores next. After a write, the letter goes for the run.
TEST(TransferRestore, AnImageIsWrittenWholeOrRefusedAndARefusalKeepsTheKey)
{
    struct Case {
        size_t size;
        DWORD error;
        const char* detail;
    };
    for (Case c : {Case{1000, ERROR_INVALID_DATA, "The image file holds 1,000 bytes, 488 more than a whole number of sectors."},
                   Case{4 * kMiB + 100, ERROR_INVALID_DATA,
                        "The image file holds 4,194,404 bytes, 100 more than a whole number of sectors."},
                   Case{4 * kMiB + kSector, ERROR_DISK_FULL,
                        "The image file holds 4,194,816 bytes; the key holds 4,194,304 bytes."},
                   Case{0, ERROR_HANDLE_EOF, ""}}) {
        Key key(4 * kMiB);
        std::vector<uint8_t> image = Pattern(c.size, 2);
        EXPECT_FALSE(key.Run(&CKeyDrive::Restore, &image)) << c.size;
        EXPECT_EQ(key.error, c.error) << c.size;
        EXPECT_EQ(key.detail, c.detail) << c.size;
        EXPECT_EQ(key.Bytes(), key.before) << c.size;
        EXPECT_FALSE(key.released) << c.size;
        image = Pattern(4 * kMiB, 3);
        EXPECT_TRUE(key.Run(&CKeyDrive::Restore, &image)) << c.size;
        EXPECT_EQ(key.Bytes(), image) << c.size;
        EXPECT_TRUE(key.released && !key.drive.OpenKey('D')) << c.size;
    }
}

// A backup holds the used sectors exactly; restored onto a wiped key they give it back
// byte for byte.
TEST(TransferRoundTrip, BackupThenRestoreOntoAWipedKeyGivesTheKeyBack)
{
    Key key(4 * kMiB, 6000);
    ASSERT_TRUE(key.Run(&CKeyDrive::Backup));
    std::vector<uint8_t> image = key.Image();
    EXPECT_EQ(image, std::vector<uint8_t>(key.before.begin(), key.before.begin() + 6000 * kSector));

    WriteBytes(key.path, 0, std::vector<uint8_t>(4 * kMiB, 0));
    key.before = key.Bytes();
    key.drive.OpenKey('D');
    EXPECT_TRUE(key.Run(&CKeyDrive::Restore, &image));
    EXPECT_EQ(key.Bytes(), key.BeforeWith(image, image.size()));
}

// A read fault in a backup and a write fault in a restore stop the transfer at exactly that
// sector, inside a block, with every sector before it in place.
TEST(TransferFaults, AFaultStopsTheTransferAtItsSectorWithEverythingBeforeInPlace)
{
    Key key(4 * kMiB, 8000, {"fault 1 read 3000", "fault 1 write 5000"});
    EXPECT_FALSE(key.Run(&CKeyDrive::Backup));
    EXPECT_EQ(key.error, ERROR_CRC);
    EXPECT_EQ(FailureText(key.drive), "Reading sector 3000 of the key failed.");
    EXPECT_EQ(key.Image(), std::vector<uint8_t>(key.before.begin(), key.before.begin() + 3000 * kSector));

    key.drive.OpenKey('D');
    std::vector<uint8_t> image = Pattern(7000 * kSector, 5);
    EXPECT_FALSE(key.Run(&CKeyDrive::Restore, &image));
    EXPECT_EQ(key.error, ERROR_WRITE_FAULT);
    EXPECT_EQ(FailureText(key.drive), "Writing sector 5000 of the key failed.");
    EXPECT_EQ(key.Bytes(), key.BeforeWith(image, 5000 * kSector));
}

// A key that reports 4 MiB but keeps only its first 3 MiB takes every write without an
// error; reading it back finds the first sector it lost, in both roles.
TEST(TransferFaults, AKeyThatHoldsLessThanItReportsIsCaughtAtItsFirstLostSector)
{
    Key key(4 * kMiB, 8000, {"fault 1 lose 6144"});
    std::vector<uint8_t> image = Pattern(7000 * kSector, 9);
    EXPECT_FALSE(key.Run(&CKeyDrive::Restore, &image));
    EXPECT_EQ(key.error, ERROR_CRC);
    EXPECT_EQ(FailureText(key.drive), "Sector 6144 of the key does not hold what was written to it.");

    Key floppy(2 * kMiB, 0, {"fault 1 lose 100"});
    image = Pattern(1474560, 4);
    EXPECT_FALSE(floppy.Run(&CKeyDrive::WriteFloppyImage, &image));
    EXPECT_EQ(FailureText(floppy.drive), "Sector 100 of the key does not hold what was written to it.");
}

// A floppy image goes whole, in chunks of 36,864 bytes and a shorter last one: 720 KB and
// 1.2 MB images alike. One that is not whole sectors, or larger than 2,880 chunks, is
// refused before writing; a source that cannot be read writes nothing and says so.
TEST(TransferFloppy, FloppyImagesGoWholeOrAreRefused)
{
    for (size_t size : {size_t(737280), size_t(1228800)}) {
        Key key(2 * kMiB);
        std::vector<uint8_t> image = Pattern(size, 6);
        EXPECT_TRUE(key.Run(&CKeyDrive::WriteFloppyImage, &image)) << size;
        EXPECT_EQ(key.Bytes(), key.BeforeWith(image, size)) << size;
        EXPECT_TRUE(key.released) << size;
    }
    Key key(2 * kMiB);
    std::vector<uint8_t> image = Pattern(100000, 6);
    EXPECT_FALSE(key.Run(&CKeyDrive::WriteFloppyImage, &image));
    EXPECT_EQ(key.detail, "The image file holds 100,000 bytes, 160 more than a whole number of sectors.");
    EXPECT_FALSE(key.released);
    image = Pattern(1474560, 6);
    EXPECT_FALSE(key.Run(&CKeyDrive::WriteFloppyImage, &image, GENERIC_WRITE));
    EXPECT_EQ(key.error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(FailureText(key.drive), "Reading sector 0 of the image failed.");
    EXPECT_EQ(key.Bytes(), key.before);

    Sandbox sandbox;
    CKeyDrive drive;
    UseKey(sandbox, drive, 128 * kMiB);
    std::string large = sandbox.Path() + "/large.img";
    MakeFile(large, {});
    std::filesystem::resize_file(large, 2880 * 36864 + kSector);
    HANDLE source = CreateFileA(large.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(drive.WriteFloppyImage(source));
    drive.CloseFile(source);
    EXPECT_EQ(FailureText(drive), "The floppy image is larger than 106,168,320 bytes, the most that the floppy role "
                                  "writes. Nothing was written to the key.");
    EXPECT_NE(drive.m_hDisk, INVALID_HANDLE_VALUE) << "nothing written, the key kept";
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
