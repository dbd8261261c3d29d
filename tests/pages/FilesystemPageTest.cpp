// The filesystem page through the real wizard, on sandbox keys with the real formatter,
// boot code and SYSLINUX installer of the build's run folder.
#include "WizardFixture.h"
#include "tests/support/MessageBoxes.h"
#include "platform/OwnCalls.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include "framework/TestSeam.h"

namespace fs = std::filesystem;

namespace {


class FilesystemPageTest : public WizardFixture {
protected:
    // Disk 0 the system disk (C:), disk 1 the key (D:); the wizard stands on page 112.
    void StartOnFilesystemPage(uint64_t keySize)
    {
        sandbox.AddDisk("IDE", 16 * kMiB, "System disk");
        key = sandbox.AddDisk("USBSTOR", keySize, "Kivra");
        Start();
        driver->Next();
        driver->Next();
        driver->Next();
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    }

    std::string key;
};

// Keys from small to 8 GiB: a partition FAT16 can hold gets type 0x06, a larger one type 0x0C
// and FAT32. The 8 GiB key takes about half a minute to format in full.
struct KeySize {
    uint64_t bytes;
    uint8_t type;
    std::string fat;
};

void PrintTo(const KeySize& size, std::ostream* out) { *out << size.bytes / kMiB << " MiB, " << size.fat; }

class FreshKeyTest : public FilesystemPageTest, public ::testing::WithParamInterface<KeySize> {};

// The key's sector 0 holds old boot code before: what the page leaves there is all its own.
TEST_P(FreshKeyTest, CreateNewFilesystemMakesABootablePartitionAndGoesOnToConfiguration)
{
    const KeySize& size = GetParam();
    StartOnFilesystemPage(size.bytes);
    WriteBytes(key, 0, std::vector<uint8_t>(446, 0xEE));
    EXPECT_TRUE(driver->IsChecked(IDC_CREATE_FILESYSTEM));
    EXPECT_EQ(driver->Text(IDC_FILESYSTEM_STATUS), "");
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_EQ(History(), (std::vector<int>{IDD_WELCOME, IDD_FINDKEY, IDD_TASK, IDD_ROLE, IDD_FILESYSTEM}));
    EXPECT_EQ(WaitCursorDepth(), 0);
    EXPECT_EQ(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE) << "the sequence ends with the key closed";
    ExpectPreparedBootRecord(key, size.type);
    EXPECT_EQ(Text(ReadBytes(key, 63 * kSector + (size.fat == "FAT32" ? 82 : 54), 5)), size.fat);
    ExpectSyslinuxFileSystem(key);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FreshKeyTest,
                         ::testing::Values(KeySize{64 * kMiB, 0x06, "FAT16"}, KeySize{256 * kMiB, 0x06, "FAT16"},
                                           KeySize{1044 * kCylinder, 0x0C, "FAT32"}),
                         [](const auto& info) { return std::to_string(info.param.bytes / kMiB) + "MiB"; });

TEST_F(FilesystemPageTest, LeaveCurrentFilesystemRenewsOnlyTheBootCodeOfAPartitionedKey)
{
    StartOnFilesystemPage(64 * kMiB);
    driver->Next();   // a full preparation first
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    driver->Back();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);

    // Boot code spoiled, a mark in the first track: both tell what the second run writes.
    WriteBytes(key, 0, std::vector<uint8_t>(440, 0xEE));
    WriteBytes(key, 5 * kSector, std::vector<uint8_t>(kSector, 0x5A));
    std::vector<uint8_t> tableBefore = ReadBytes(key, 440, 72);
    driver->Click(IDC_LEAVE_FILESYSTEM);
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_EQ(History(), (std::vector<int>{IDD_WELCOME, IDD_FINDKEY, IDD_TASK, IDD_ROLE, IDD_FILESYSTEM}))
        << "the page is on the history once";
    EXPECT_EQ(ReadBytes(key, 0, 440), ReadBytes("syslinux/mbr.bin", 0, 440));
    EXPECT_EQ(ReadBytes(key, 440, 72), tableBefore) << "signature, entries and 0x55AA stay";
    EXPECT_EQ(ReadBytes(key, 5 * kSector, kSector), std::vector<uint8_t>(kSector, 0x5A));
}

TEST_F(FilesystemPageTest, LeaveCurrentFilesystemWritesNothingToAWholeDeviceKey)
{
    StartOnFilesystemPage(16 * kMiB);
    ASSERT_EQ(Shell("mkfs.fat -F 16 " + key + " > /dev/null"), 0);
    std::vector<uint8_t> bootSector = ReadBytes(key, 0, kSector);
    driver->Click(IDC_LEAVE_FILESYSTEM);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    std::vector<uint8_t> after = ReadBytes(key, 0, kSector);
    // Only SYSLINUX touches the boot sector of a whole-device volume: its boot code, not
    // the file system's description in bytes 11 to 61.
    EXPECT_EQ(std::vector<uint8_t>(after.begin() + 11, after.begin() + 62),
              std::vector<uint8_t>(bootSector.begin() + 11, bootSector.begin() + 62));
    EXPECT_EQ(after[510], 0x55);
    std::string fsck;
    EXPECT_EQ(Shell("fsck.fat -n " + key, &fsck), 0) << fsck;
}

TEST_F(FilesystemPageTest, AMissingInstallerShowsOneErrorAndThePageStays)
{
    StartOnFilesystemPage(16 * kMiB);
    // A working folder with the boot code but without the installer.
    std::string folder = sandbox.Path() + "/run";
    fs::create_directories(folder + "/syslinux");
    fs::copy_file("syslinux/mbr.bin", folder + "/syslinux/mbr.bin");
    WorkingFolder working(folder);
    RecordMessageBoxes();
    setenv("LANG", "ja_JP.UTF-8", 1);
    driver->Next();

    ASSERT_EQ(Boxes().texts.size(), 1u);
    EXPECT_EQ(Boxes().texts[0], "指定されたファイルが見つかりません。\r\n");
    EXPECT_EQ(Boxes().captions[0], LoadResString(IDS_ERROR));
    EXPECT_EQ(Boxes().types[0], UINT(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    EXPECT_EQ(driver->Text(IDC_FILESYSTEM_STATUS), "SysLinuxのインストール中");
}

// The formatter, wrapped so that the test sees the status line at every report.
PFORMATEX g_realFormatEx = nullptr;
PFMIFSCALLBACK g_pageCallback = nullptr;
CSheetDriver* g_driver = nullptr;
std::vector<std::string> g_texts;

BOOLEAN Watch(CALLBACKCOMMAND command, DWORD subAction, LPVOID info)
{
    BOOLEAN go = g_pageCallback(command, subAction, info);
    g_texts.push_back(g_driver->Text(IDC_FILESYSTEM_STATUS));
    return go;
}

void WatchedFormatEx(WCHAR* root, DWORD media, WCHAR* format, WCHAR* label, BOOL quick, DWORD cluster,
                     PFMIFSCALLBACK callback)
{
    g_pageCallback = callback;
    g_realFormatEx(root, media, format, label, quick, cluster, Watch);
}

TEST_F(FilesystemPageTest, TheStatusLineMovesDuringTheFormatOfALargeKey)
{
    StartOnFilesystemPage(1024 * kMiB);
    g_realFormatEx = wizard->m_keyDrive.m_pfnFormatEx;
    ASSERT_NE(g_realFormatEx, nullptr);
    wizard->m_keyDrive.m_pfnFormatEx = WatchedFormatEx;
    g_driver = driver.get();
    g_texts.clear();
    driver->Next();
    wizard->m_keyDrive.m_pfnFormatEx = g_realFormatEx;

    std::set<std::string> shown(g_texts.begin(), g_texts.end());
    EXPECT_GE(g_texts.size(), 100u) << "about one report a percent";
    EXPECT_GE(shown.size(), 4u) << "the row of dots grows while the volume is written";
    for (const std::string& text : shown)
        EXPECT_EQ(text.rfind("Formatting", 0), 0u) << text;
    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
}

}  // namespace

namespace {

// No route leads to the geometry page; the test shows it the way the sheet would.
class GeometryPageTest : public FilesystemPageTest {
protected:
    void StartOnGeometryPage(uint64_t keySize)
    {
        StartOnFilesystemPage(keySize);
        ASSERT_TRUE(wizard->SetActivePage(5));
        driver->ProcessEvents();
        ASSERT_EQ(driver->CurrentPageId(), IDD_GEOMETRY);
    }
};

// The key had a partition table: only blanking makes the formatter take the whole device.
TEST_F(GeometryPageTest, WithoutPartitionLeavesAWholeDeviceFatVolumeWithSyslinux)
{
    StartOnGeometryPage(32 * kMiB);
    MakeFatKey(key);
    EXPECT_TRUE(driver->IsChecked(IDC_WITH_PARTITION));
    driver->Click(IDC_WITHOUT_PARTITION);
    EXPECT_FALSE(driver->IsChecked(IDC_WITH_PARTITION));
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_EQ(History().back(), IDD_GEOMETRY);
    std::vector<uint8_t> boot = ReadBytes(key, 0, kSector);
    EXPECT_EQ(std::string(boot.begin() + 54, boot.begin() + 59), "FAT16") << "sector 0 is the volume's boot sector";
    EXPECT_EQ(Le32(boot, 28), 0u) << "no hidden sectors in front of a whole-device volume";
    ExpectSyslinuxFileSystem(key, false);
}

TEST_F(GeometryPageTest, WithPartitionWritesBootCodeAndTableAndFormatsThePartition)
{
    StartOnGeometryPage(32 * kMiB);
    WriteBytes(key, 0, std::vector<uint8_t>(446, 0xEE));
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    ExpectPreparedBootRecord(key, 0x06);
    EXPECT_EQ(Le32(ReadBytes(key, 63 * kSector, kSector), 28), 63u) << "the partition's boot sector counts the track before it";
    ExpectSyslinuxFileSystem(key);
}

}  // namespace

namespace {

// The key the wizard prepared starts a PC: the boot code finds the partition, the
// partition's boot sector loads SYSLINUX, which talks on the serial line and waits at its
// prompt.
TEST_F(FilesystemPageTest, APreparedKeyBootsIntoSyslinux)
{
    if (Shell("command -v qemu-system-x86_64") != 0)
        GTEST_SKIP() << "qemu-system-x86_64 is not installed: the boot test needs it";
    StartOnFilesystemPage(64 * kMiB);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);

    // A configuration that only turns on the serial line; the boot menu comes later.
    std::string config = sandbox.Path() + "/syslinux.cfg";
    MakeFile(config, {'S', 'E', 'R', 'I', 'A', 'L', ' ', '0', '\n'});
    ASSERT_EQ(Shell("mcopy -o -i " + key + "@@32256 " + config + " ::syslinux.cfg"), 0);
    std::string log = sandbox.Path() + "/serial.log";
    std::string qemu = "qemu-system-x86_64 -drive file=" + key + ",format=raw -m 32 -display none -no-reboot"
                       " -serial file:" + log;
    std::string output;
    Shell("timeout 60 sh -c '" + qemu + " & pid=$!; until grep -q \"boot:\" " + log +
              " 2>/dev/null; do sleep 0.2; done; kill $pid'",
          &output);
    std::string serial;
    Shell("cat " + log, &serial);
    EXPECT_NE(serial.find("SYSLINUX"), std::string::npos) << serial << output;
    EXPECT_NE(serial.find("boot:"), std::string::npos) << serial << output;
}

// A key smaller than one cylinder cannot hold the partition the table gives it: the first
// step says so, with both sizes, before anything is written.
TEST_F(FilesystemPageTest, AKeyTooSmallForAPartitionIsRefusedBeforeTheFirstWrite)
{
    StartOnFilesystemPage(1);
    WriteBytes(key, 0, {0x5A});
    RecordMessageBoxes();
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    EXPECT_EQ(Boxes().texts, std::vector<std::string>{"Blanking Drive failed.\n\nThere is not enough space on the disk."
                                                      "\nThe key holds 1 bytes. A bootable key gets one partition of "
                                                      "whole cylinders and needs at least 8,225,280 bytes. Nothing was "
                                                      "written to the key."});
    EXPECT_EQ(ReadBytes(key, 0, 2), std::vector<uint8_t>{0x5A});
}

}  // namespace
