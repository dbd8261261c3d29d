// The key device object's handles and shared routines, and discovery of the key letters.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "tests/support/KeyImage.h"
#include "keydrive/KeyDrive.h"
#include "platform/TestHooks.h"

namespace {

std::vector<uint8_t> ReadHandle(HANDLE handle, DWORD count = 512)
{
    std::vector<uint8_t> bytes(count);
    DWORD read = 0;
    ReadFile(handle, bytes.data(), count, &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// Partition 1 of the key from sector 63, its first sector marked.
void PartitionKey(const std::string& image)
{
    WriteMbr(image, {{0x80, 0x06, 63, 256}});
    WriteBytes(image, 63 * 512, std::vector<uint8_t>(512, 0x7E));
}

DWORD MaskOf(const std::vector<std::string>& buses, const std::string& extra = "")
{
    Sandbox sandbox;
    for (const std::string& bus : buses)
        sandbox.AddDisk(bus, kMiB);
    sandbox.AddLine(extra);
    sandbox.Use();
    return CKeyDrive().GetUsbDiskMask();
}

}  // namespace

TEST(KeyDrive, OpenKeyFindsTheKeysDiskAndVolumeForEitherCase)
{
    Sandbox sandbox;
    CKeyDrive drive;
    std::string key = UseKey(sandbox, drive, 64 * kMiB);
    PartitionKey(key);
    for (char letter : {'D', 'd'}) {
        ASSERT_TRUE(drive.OpenKey(letter));
        EXPECT_EQ(drive.m_chLetter, letter);
        EXPECT_EQ(drive.m_geometry.Cylinders.QuadPart, static_cast<LONGLONG>(64 * kMiB / kCylinder));
        EXPECT_EQ(drive.m_geometry.SectorsPerTrack, 63u);
        EXPECT_EQ(ReadHandle(drive.m_hDisk), ReadBytes(key, 0, 512));
        EXPECT_EQ(ReadHandle(drive.m_hVolume), std::vector<uint8_t>(512, 0x7E));
    }
}

// An unmarked letter would name disk 0, the system disk: nothing may open, so no later
// step can write there.
TEST(KeyDrive, UnmarkedLettersOpenNothingAndTheSystemDiskStaysUntouched)
{
    Sandbox sandbox;
    CKeyDrive drive;
    UseKey(sandbox, drive, 64 * kMiB);
    std::string system = sandbox.Path() + "/disk0.img";
    WriteBytes(system, 0, std::vector<uint8_t>(512, 0x5A));
    std::vector<uint8_t> before = ReadBytes(system, 0, 16 * kMiB);
    for (char letter = 'A'; letter <= 'z'; ++letter) {
        if (letter == 'D' || letter == 'd')
            continue;
        SCOPED_TRACE(letter);
        EXPECT_FALSE(drive.OpenKey(letter));
        EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
        EXPECT_EQ(drive.m_hVolume, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(drive.BlankKey() || drive.LandMbr() || drive.WritePartitionTable());
    }
    EXPECT_EQ(drive.m_chLetter, 'D');
    EXPECT_EQ(ReadBytes(system, 0, 16 * kMiB), before);
}

// Opening again closes what was open, refreshing leaves both handles at offset 0, and a key
// drive that goes lets go of its handles; the invalid handle never reaches the platform.
TEST(KeyDrive, HandlesAreNeverLeakedAndRefreshRewindsBoth)
{
    auto descriptors = [] {
        auto entries = std::filesystem::directory_iterator("/proc/self/fd");
        return std::distance(begin(entries), end(entries));
    };
    Sandbox sandbox;
    auto drive = std::make_unique<CKeyDrive>();
    std::string key = UseKey(sandbox, *drive, 64 * kMiB);
    PartitionKey(key);
    drive->CloseKey();
    EXPECT_TRUE(drive->CloseKey()) << "closing a closed key does nothing";
    auto before = descriptors();
    for (int i = 0; i < 200; ++i)
        drive->OpenKey('D');
    ReadHandle(drive->m_hDisk, 4096);
    ReadHandle(drive->m_hVolume, 4096);
    EXPECT_TRUE(drive->RefreshKey());
    EXPECT_EQ(ReadHandle(drive->m_hDisk), ReadBytes(key, 0, 512));
    EXPECT_EQ(ReadHandle(drive->m_hVolume), std::vector<uint8_t>(512, 0x7E));
    drive.reset();
    EXPECT_EQ(descriptors(), before);

    CKeyDrive closed;
    EXPECT_FALSE(closed.CloseFile(INVALID_HANDLE_VALUE));
    closed.m_geometry.SectorsPerTrack = 9;
    EXPECT_FALSE(closed.QueryGeometry(INVALID_HANDLE_VALUE));
    EXPECT_EQ(closed.m_geometry.SectorsPerTrack, 9u) << "a failed query keeps the geometry";
}

TEST(KeyDrive, CopySectorsWritesNothingFromAShortSource)
{
    Sandbox sandbox;
    CKeyDrive drive;
    MakeFile(sandbox.Path() + "/source", std::vector<uint8_t>(1024, 0x11));
    MakeFile(sandbox.Path() + "/target", std::vector<uint8_t>(2048, 0xEE));
    HANDLE source = drive.OpenExisting((sandbox.Path() + "/source").c_str());
    HANDLE target = drive.OpenExisting((sandbox.Path() + "/target").c_str());
    EXPECT_TRUE(drive.CopySectors(source, target, 1));
    EXPECT_FALSE(drive.CopySectors(source, target, 2));   // 512 bytes left
    drive.CloseFile(source);
    drive.CloseFile(target);
    std::vector<uint8_t> expected(2048, 0xEE);
    std::fill(expected.begin(), expected.begin() + 512, 0x11);
    EXPECT_EQ(ReadBytes(sandbox.Path() + "/target", 0, 4096), expected);
}

TEST(Discovery, UsbMaskFromTheDiskList)
{
    EXPECT_EQ(MaskOf({}), 0u);
    EXPECT_EQ(MaskOf({"IDE", "USBSTOR"}), 2u);
    EXPECT_EQ(MaskOf({"IDE", "usbstor", "USBSTOR"}), 4u);   // the prefix is case-sensitive
    // An unreadable entry ends the scan: what came after it is not looked at.
    EXPECT_EQ(MaskOf({"USBSTOR", "USBSTOR", "USBSTOR", "USBSTOR"}, "registry unreadable 2"), 3u);
}

// A key pulled out between two scans stays marked; floppy A: is noted whether a key or not.
TEST(Discovery, MarksUsbFirstPartitionsAndASecondScanOnlyAdds)
{
    CKeyDrive drive;
    {
        Sandbox first;
        first.AddDisk("IDE", 16 * kMiB);       // C:
        first.AddDisk("USBSTOR", 16 * kMiB);   // D:
        first.AddDisk("SCSI", 16 * kMiB);      // E:
        first.AddLine("floppy A floppy.img");
        MakeFile(first.Path() + "/floppy.img", std::vector<uint8_t>(1474560, 0));
        first.Use();
        drive.FindKeys();
    }
    EXPECT_EQ(drive.m_bDriveA, 1);
    EXPECT_EQ(drive.m_bDriveB, 0);
    Sandbox second;
    second.AddDisk("IDE", 16 * kMiB);
    second.AddDisk("IDE", 16 * kMiB);
    second.AddDisk("SCSI", 16 * kMiB);
    second.AddDisk("USBSTOR", 16 * kMiB);   // F:
    second.Use();
    drive.FindKeys();
    for (int n = 0; n < 26; ++n)
        EXPECT_EQ(drive.m_bIsKey[n], n == 3 || n == 5) << static_cast<char>('A' + n);
    EXPECT_EQ(drive.m_nDiskNumber[3], 1);
    EXPECT_EQ(drive.m_nDiskNumber[5], 3);
    EXPECT_EQ(drive.m_bDriveA, 1);
}

TEST(Discovery, LinksAreFollowedToTheirEndAndACycleStops)
{
    Sandbox sandbox;
    sandbox.Use();
    CKeyDrive drive;
    EXPECT_EQ(drive.ResolveSymbolicLink("\\Device\\Nothing"), "\\Device\\Nothing");
    platform::DefineTestLink("\\T\\1", "\\T\\2");
    platform::DefineTestLink("\\T\\2", "\\T\\3");
    EXPECT_EQ(drive.ResolveSymbolicLink("\\T\\1"), "\\T\\3");
    platform::DefineTestLink("\\T\\3", "\\T\\1");
    EXPECT_EQ(drive.ResolveSymbolicLink("\\T\\1").substr(0, 3), "\\T\\");
}
