// Which letters are keys: the disk list's USB entries, the letters that lead to the same
// device as a USB disk's first partition, the floppy flags, and the link resolution.
#include <gtest/gtest.h>

#include "Sandbox.h"
#include "keydrive/KeyDrive.h"
#include "platform/TestHooks.h"

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

DWORD MaskOf(const std::vector<std::string>& buses, const std::vector<std::string>& extra = {})
{
    Sandbox sandbox;
    for (const std::string& bus : buses)
        sandbox.AddDisk(bus, kMiB);
    for (const std::string& line : extra)
        sandbox.AddLine(line);
    sandbox.Use();
    CKeyDrive drive;
    return drive.GetUsbDiskMask();
}

struct LinkCleanup {
    ~LinkCleanup() { platform::ClearTestLinks(); }
};

}  // namespace

TEST(Discovery, UsbMaskHasABitForEachUsbEntryOfTheDiskList)
{
    EXPECT_EQ(MaskOf({}), 0u);
    EXPECT_EQ(MaskOf({"IDE", "USBSTOR"}), 2u);
    EXPECT_EQ(MaskOf({"USBSTOR", "SCSI", "USBSTOR"}), 5u);
    // The prefix is compared exactly: lower case is another bus.
    EXPECT_EQ(MaskOf({"IDE", "usbstor", "USBSTOR"}), 4u);
}

TEST(Discovery, AnUnreadableEntryEndsTheScan)
{
    EXPECT_EQ(MaskOf({"USBSTOR", "USBSTOR", "USBSTOR", "USBSTOR"}, {"registry unreadable 2"}), 3u);
    EXPECT_EQ(MaskOf({"USBSTOR", "USBSTOR"}, {"registry unreadable 0"}), 0u);
}

TEST(Discovery, MarksOnlyLettersOnAUsbDisksFirstPartition)
{
    Sandbox sandbox;
    sandbox.AddDisk("IDE", 16 * kMiB);       // C: the system disk
    sandbox.AddDisk("USBSTOR", 16 * kMiB);   // D:
    sandbox.AddDisk("SCSI", 16 * kMiB);      // E:
    sandbox.AddDisk("USBSTOR", 16 * kMiB);   // F:
    sandbox.AddLine("floppy A floppy.img");
    MakeFile(sandbox.Path() + "/floppy.img", std::vector<uint8_t>(1474560, 0));
    sandbox.Use();

    CKeyDrive drive;
    EXPECT_TRUE(drive.FindKeys());
    for (int n = 0; n < 26; ++n) {
        SCOPED_TRACE(static_cast<char>('A' + n));
        bool key = n == 'D' - 'A' || n == 'F' - 'A';
        EXPECT_EQ(drive.m_bIsKey[n], key ? 1 : 0);
    }
    EXPECT_EQ(drive.m_nDiskNumber['D' - 'A'], 1);
    EXPECT_EQ(drive.m_nDiskNumber['F' - 'A'], 3);
    EXPECT_EQ(drive.m_nDiskNumber['C' - 'A'], 0);
    EXPECT_EQ(drive.m_bDriveA, 1);
    EXPECT_EQ(drive.m_bDriveB, 0);
}

// A key pulled out between two scans stays marked; a key that came stays added.
TEST(Discovery, ASecondScanAddsAndNeverClears)
{
    CKeyDrive drive;
    {
        Sandbox first;
        first.AddDisk("IDE", 16 * kMiB);
        first.AddDisk("USBSTOR", 16 * kMiB);
        first.AddLine("floppy B floppy.img");
        MakeFile(first.Path() + "/floppy.img", std::vector<uint8_t>(1474560, 0));
        first.Use();
        drive.FindKeys();
    }
    Sandbox second;
    second.AddDisk("IDE", 16 * kMiB);
    second.AddDisk("IDE", 16 * kMiB);
    second.AddDisk("USBSTOR", 16 * kMiB);
    second.Use();
    drive.FindKeys();
    EXPECT_EQ(drive.m_bIsKey['D' - 'A'], 1);
    EXPECT_EQ(drive.m_nDiskNumber['D' - 'A'], 1);
    EXPECT_EQ(drive.m_bIsKey['E' - 'A'], 1);
    EXPECT_EQ(drive.m_nDiskNumber['E' - 'A'], 2);
    EXPECT_EQ(drive.m_bDriveB, 1);
}

TEST(Discovery, LinksAreFollowedToTheirEndAndACycleEnds)
{
    Sandbox sandbox;
    sandbox.AddDisk("USBSTOR", 16 * kMiB);
    sandbox.Use();
    LinkCleanup cleanup;
    CKeyDrive drive;

    EXPECT_EQ(drive.QuerySymbolicLink("\\Device\\NoSuchDevice"), "");
    EXPECT_EQ(drive.ResolveSymbolicLink("\\Device\\NoSuchDevice"), "\\Device\\NoSuchDevice");
    std::string end = drive.ResolveSymbolicLink("\\??\\C:");
    EXPECT_NE(end, "\\??\\C:");
    EXPECT_EQ(drive.ResolveSymbolicLink("\\Device\\Harddisk0\\Partition1"), end);

    platform::DefineTestLink("\\Test\\One", "\\Test\\Two");
    platform::DefineTestLink("\\Test\\Two", "\\Test\\Three");
    EXPECT_EQ(drive.QuerySymbolicLink("\\Test\\One"), "\\Test\\Two");
    EXPECT_EQ(drive.ResolveSymbolicLink("\\Test\\One"), "\\Test\\Three");

    platform::DefineTestLink("\\Test\\Three", "\\Test\\One");
    std::string stopped = drive.ResolveSymbolicLink("\\Test\\One");
    EXPECT_TRUE(stopped == "\\Test\\One" || stopped == "\\Test\\Two" || stopped == "\\Test\\Three") << stopped;
}

TEST(Discovery, ATargetTooLongForTheBufferGivesNoTarget)
{
    Sandbox sandbox;
    sandbox.Use();
    LinkCleanup cleanup;
    CKeyDrive drive;
    platform::DefineTestLink("\\Test\\Fits", "\\" + std::string(254, 'x'));
    platform::DefineTestLink("\\Test\\Long", "\\" + std::string(255, 'x'));
    EXPECT_EQ(drive.QuerySymbolicLink("\\Test\\Fits"), "\\" + std::string(254, 'x'));
    EXPECT_EQ(drive.QuerySymbolicLink("\\Test\\Long"), "");
}

TEST(Discovery, ReleaseDriveLetterClosesTheKeyAndDropsItsLetter)
{
    Sandbox sandbox;
    sandbox.AddDisk("IDE", 16 * kMiB);
    sandbox.AddDisk("USBSTOR", 16 * kMiB);
    sandbox.Use();
    CKeyDrive drive;
    drive.FindKeys();
    ASSERT_TRUE(drive.OpenKey('D'));
    ASSERT_NE(GetLogicalDrives() & (1u << 3), 0u);
    EXPECT_TRUE(drive.ReleaseDriveLetter());
    EXPECT_EQ(drive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_EQ(drive.m_hVolume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLogicalDrives() & (1u << 3), 0u);
}
