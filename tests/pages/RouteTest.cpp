// Every route of the wizard, end to end: the real sheet driven through its pages on a fresh
// sandbox machine, then the key's image checked (sector 0, the file system, the files and
// their contents) and every other disk of the machine found byte-identical.
#include "WizardFixture.h"
#include "tests/support/MessageBoxes.h"
#include "platform/OwnCalls.h"
#include "tests/support/BootMenuTexts.h"
#include "bootconfig/GrubMenu.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kKeySize = 32 * kMiB;
constexpr uint32_t kFloppyBytes = 1474560;

class RouteTest : public WizardFixture {
protected:
    void SetUp() override
    {
        RecordMessageBoxes();
        system = sandbox.AddDisk("IDE", 8 * kMiB, "System disk");
        WriteBytes(system, 0, Pattern(8 * kMiB, 5));
        key = sandbox.AddDisk("USBSTOR", kKeySize, "Kivra");
        floppy = sandbox.AddFloppy('A');
        WriteBytes(floppy, 0, Pattern(kFloppyBytes, 9));
        // A run folder of the test's own: the build's SYSLINUX and UEFI files and a small flash tree.
        run = sandbox.Path() + "/run";
        fs::create_directories(run);
        fs::copy(fs::current_path() / "syslinux", run + "/syslinux", fs::copy_options::recursive);
        fs::copy(fs::current_path() / "uefi", run + "/uefi", fs::copy_options::recursive);
        MakeFile(run + "/flash/vmlinuz", Pattern(40000, 1));
        MakeFile(run + "/flash/initrd.img", Pattern(300000, 2));
        MakeFile(run + "/flash/tools/flash.cfg", Pattern(700, 3));
        fs::current_path(run);
    }
    void Restart()
    {
        WizardFixture::TearDown();
        Start();
    }
    // Welcome, key selection, then the task page.
    void ToTask()
    {
        Start();
        driver->Next();
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    }
    void Next(int expected)
    {
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), expected) << (Boxes().texts.empty() ? "" : Boxes().texts.back());
    }
    // Role "Hard Drive", "Create New Filesystem", "Korvel Firmware Flash Package".
    void FreshFlashKey()
    {
        ToTask();
        Next(IDD_ROLE);
        Next(IDD_FILESYSTEM);
        Next(IDD_CONFIGURATION);
        Next(IDD_COMPLETE);
    }

    void ExpectOthersUntouched()
    {
        EXPECT_EQ(ReadBytes(system, 0, 8 * kMiB), Pattern(8 * kMiB, 5)) << "the system disk changed";
        EXPECT_EQ(ReadBytes(floppy, 0, kFloppyBytes), Pattern(kFloppyBytes, 9)) << "the floppy changed";
        EXPECT_TRUE(Boxes().texts.empty()) << Boxes().texts.front();
    }
    void ExpectFlashFiles()
    {
        EXPECT_EQ(KeyFileText(key, "vmlinuz"), Text(Pattern(40000, 1)));
        EXPECT_EQ(KeyFileText(key, "initrd.img"), Text(Pattern(300000, 2)));
        EXPECT_EQ(KeyFileText(key, "tools/flash.cfg"), Text(Pattern(700, 3)));
    }
    // Debian's UEFI loader beside SYSLINUX, and the UEFI menu made from the key's syslinux.cfg.
    void ExpectUefiBoot()
    {
        for (auto [source, target] : {std::pair{"shimx64.efi.signed", "EFI/BOOT/BOOTX64.EFI"},
                                      {"grubx64.efi.signed", "EFI/BOOT/grubx64.efi"},
                                      {"mmx64.efi.signed", "EFI/BOOT/mmx64.efi"}}) {
            std::string file = run + "/uefi/" + source;
            EXPECT_TRUE(KeyFileText(key, target) == Text(ReadBytes(file, 0, fs::file_size(file)))) << target;
        }
        EXPECT_EQ(KeyFileText(key, "EFI/debian/grub.cfg"),
                  GrubMenuFromSyslinux(KeyFileText(key, "syslinux.cfg"), KeyFileText(key, "menu.msg")));
    }
    void ExpectFreshFlashKey()
    {
        ExpectPreparedBootRecord(key, 0x06);
        ExpectSyslinuxFileSystem(key);
        ExpectFlashFiles();
        ExpectUefiBoot();
        EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock);
        EXPECT_EQ(KeyFileText(key, "menu.msg"), kStars + kFlashEntry + kStars);
        ExpectOthersUntouched();
    }

    std::string system, key, floppy, run;
};

TEST_F(RouteTest, AFreshFirmwareFlashKey)
{
    FreshFlashKey();
    EXPECT_EQ(History(), (std::vector<int>{IDD_WELCOME, IDD_FINDKEY, IDD_TASK, IDD_ROLE, IDD_FILESYSTEM,
                                           IDD_CONFIGURATION}));
    ExpectFreshFlashKey();
}

// Back from the completion page, then Next again: the configuration is done once more and
// the key reads the same.
TEST_F(RouteTest, BackFromTheCompletionPageAndNextAgainRepeatsTheWork)
{
    FreshFlashKey();
    driver->Back();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    driver->Back();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);
    PutKeyFileText(key, "vmlinuz", "stale");
    Next(IDD_CONFIGURATION);
    Next(IDD_COMPLETE);
    ExpectFreshFlashKey();
}

TEST_F(RouteTest, BackupFirstThenANewConfiguration)
{
    MakeFatKey(key);
    PutKeyFileText(key, "old.txt", "the user's file\n");
    std::vector<uint8_t> original = ReadBytes(key, 0, kKeySize);
    ToTask();
    driver->Click(IDC_BACKUP_FIRST);
    Next(IDD_BACKUP);
    std::string image = sandbox.Path() + "/before.img";
    driver->SetText(IDC_BACKUP_FILE, image);
    Next(IDD_ROLE);
    Next(IDD_FILESYSTEM);
    Next(IDD_CONFIGURATION);
    Next(IDD_COMPLETE);
    // The backup holds the key up to the end of its partition, as it was.
    uint64_t used = (63 + Le32(original, 458)) * uint64_t{512};
    ASSERT_EQ(fs::file_size(image), used);
    EXPECT_EQ(ReadBytes(image, 0, used), std::vector<uint8_t>(original.begin(), original.begin() + used));
    ExpectFreshFlashKey();
    EXPECT_EQ(KeyFileText(key, "old.txt"), "");
}

// A second run of the wizard adds the floppy in A: to the key the first run configured.
TEST_F(RouteTest, AFloppyImageChoiceAddedToAnExistingKey)
{
    FreshFlashKey();
    Restart();
    driver->Next();
    driver->Next();
    driver->Click(IDC_ADD_CONFIGURATION);
    Next(IDD_CONFIGURATION);
    driver->Click(IDC_FLOPPY_IMAGE);
    ASSERT_TRUE(driver->Select(IDC_CONFIG_DRIVE, "A:"));
    driver->TypeChars(IDC_SHORT_NAME, "dos");
    driver->TypeChars(IDC_LONG_NAME, "DOS boot disk");
    Next(IDD_COMPLETE);

    ExpectPreparedBootRecord(key, 0x06);
    ExpectSyslinuxFileSystem(key);
    ExpectFlashFiles();
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock + kDosBlock);
    EXPECT_EQ(KeyFileText(key, "menu.msg"), kStars + kFlashEntry + kDosEntry + kStars);
    EXPECT_EQ(KeyFileText(key, "dos.img"), Text(Pattern(kFloppyBytes, 9)));
    ExpectUefiBoot();
    EXPECT_EQ(KeyFileText(key, "memdisk"), Text(ReadBytes(run + "/syslinux/memdisk/memdisk", 0, 1 << 20)));
    ExpectOthersUntouched();
}

// A backup, the key wiped, a restore from the backup: the key is as it was.
TEST_F(RouteTest, BackupThenRestoreGivesTheKeyBack)
{
    MakeFatKey(key);
    PutKeyFileText(key, "old.txt", "the user's file\n");
    std::vector<uint8_t> original = ReadBytes(key, 0, kKeySize);
    ToTask();
    driver->Click(IDC_BACKUP_RESTORE);
    Next(IDD_BACKUP);
    driver->Click(IDC_BACKUP);
    std::string image = sandbox.Path() + "/key-backup.img";
    driver->SetText(IDC_BACKUP_FILE, image);
    Next(IDD_COMPLETE);
    EXPECT_EQ(History().back(), IDD_BACKUP);

    fs::resize_file(key, 0);
    fs::resize_file(key, kKeySize);
    Restart();
    driver->Next();
    driver->Next();
    driver->Click(IDC_BACKUP_RESTORE);
    Next(IDD_BACKUP);
    driver->Click(IDC_RESTORE);
    driver->SetText(IDC_RESTORE_FILE, image);
    Next(IDD_COMPLETE);
    EXPECT_EQ(ReadBytes(key, 0, kKeySize), original);
    EXPECT_EQ(KeyFileText(key, "old.txt"), "the user's file\n");
    ExpectOthersUntouched();
}

// The floppy role writes a floppy image raw over the start of the key, from a file or from
// drive A:; the rest of the key keeps what it held.
TEST_F(RouteTest, TheFloppyRoleFromAFileAndFromDriveA)
{
    for (bool fromDrive : {false, true}) {
        SCOPED_TRACE(fromDrive ? "from A:" : "from a file");
        WriteBytes(key, 0, Pattern(4 * kMiB, 7));
        std::vector<uint8_t> source = fromDrive ? Pattern(kFloppyBytes, 9) : Pattern(kFloppyBytes, 11);
        std::string image = sandbox.Path() + "/floppy-file.img";
        MakeFile(image, Pattern(kFloppyBytes, 11));
        Restart();
        driver->Next();
        driver->Next();
        Next(IDD_ROLE);
        driver->Click(IDC_FLOPPY_DISK);
        Next(IDD_IMAGEKEY);
        if (fromDrive) {
            driver->Click(IDC_IMAGE_FROM_DRIVE);
            ASSERT_TRUE(driver->Select(IDC_IMAGE_DRIVE, "A:"));
        } else {
            driver->Click(IDC_IMAGE_FROM_FILE);
            driver->SetText(IDC_IMAGE_FILE, image);
        }
        Next(IDD_COMPLETE);
        EXPECT_EQ(ReadBytes(key, 0, kFloppyBytes), source);
        std::vector<uint8_t> rest = Pattern(4 * kMiB, 7);
        EXPECT_EQ(ReadBytes(key, kFloppyBytes, 4 * kMiB - kFloppyBytes),
                  std::vector<uint8_t>(rest.begin() + kFloppyBytes, rest.end()));
        ExpectOthersUntouched();
    }
}

// "Leave current filesystem entact" on a partitioned key: the boot code is renewed, the
// table and the user's files stay, and the key gets SYSLINUX and its menu.
TEST_F(RouteTest, LeaveTheFileSystemOfAPartitionedKey)
{
    MakeFatKey(key);
    PutKeyFileText(key, "old.txt", "the user's file\n");
    WriteBytes(key, 0, std::vector<uint8_t>(440, 0xEE));
    std::vector<uint8_t> table = ReadBytes(key, 440, 72);
    ToTask();
    Next(IDD_ROLE);
    Next(IDD_FILESYSTEM);
    driver->Click(IDC_LEAVE_FILESYSTEM);
    Next(IDD_CONFIGURATION);
    Next(IDD_COMPLETE);
    EXPECT_EQ(Text(ReadBytes(key, 0, 440)), Text(ReadBytes(run + "/syslinux/mbr.bin", 0, 440)));
    EXPECT_EQ(ReadBytes(key, 440, 72), table);
    ExpectSyslinuxFileSystem(key);
    ExpectFlashFiles();
    EXPECT_EQ(KeyFileText(key, "old.txt"), "the user's file\n");
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock);
    ExpectOthersUntouched();
}

// A key prepared before the program brought the UEFI loader: "Leave current filesystem
// entact" adds it, with the menu of the key's own syslinux.cfg; the key's files stay.
TEST_F(RouteTest, LeaveGivesAKeyPreparedBeforeItsUefiBoot)
{
    MakeFatKey(key);
    std::string config = "#zentaq\ndefault dos\n" + kHeader + kDosBlock + kFlashBlock;
    std::string menu = kStars + kDosEntry + kFlashEntry + kStars;
    PutKeyFileText(key, "syslinux.cfg", config);
    PutKeyFileText(key, "menu.msg", menu);
    PutKeyFileText(key, "old.txt", "the user's file\n");
    ToTask();
    Next(IDD_ROLE);
    Next(IDD_FILESYSTEM);
    driver->Click(IDC_LEAVE_FILESYSTEM);
    Next(IDD_CONFIGURATION);
    ExpectUefiBoot();
    EXPECT_NE(KeyFileText(key, "EFI/debian/grub.cfg").find("menuentry 'DOS boot disk'"), std::string::npos);
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), config);
    EXPECT_EQ(KeyFileText(key, "menu.msg"), menu);
    EXPECT_EQ(KeyFileText(key, "old.txt"), "the user's file\n");

    // Once more on the key filled up: the loader goes on again in its own room.
    driver->Back();
    std::string free;
    Shell("MTOOLS_SKIP_CHECK=1 mdir -i " + key + "@@32256 :: | grep 'bytes free' | tr -cd 0-9", &free);
    PutKeyFileText(key, "big.bin", std::string(std::stoull(free) - 512 * 1024, 'x'));
    Next(IDD_CONFIGURATION);
    ExpectUefiBoot();
    ExpectOthersUntouched();
}

// A key without room for the UEFI loader keeps none of it and is told so; it still starts in
// legacy BIOS mode, and the route goes on.
TEST_F(RouteTest, AKeyWithoutRoomForTheUefiLoaderStaysABiosKey)
{
    MakeFatKey(key);
    PutKeyFileText(key, "big.bin", std::string(30000000, 'x'));
    ToTask();
    Next(IDD_ROLE);
    Next(IDD_FILESYSTEM);
    driver->Click(IDC_LEAVE_FILESYSTEM);
    Next(IDD_CONFIGURATION);
    ASSERT_EQ(Boxes().texts.size(), 1u);
    std::string said = LoadResString(IDS_UEFI_NO_ROOM);
    EXPECT_EQ(Boxes().texts[0].substr(0, 40), said.substr(0, 40));
    EXPECT_EQ(Boxes().captions[0], LoadResString(IDS_INSTALLING_SYSLINUX));
    Boxes().Clear();
    EXPECT_EQ(KeyListing(key, "/EFI/BOOT"), "") << "no shim without its GRUB";
    Next(IDD_COMPLETE);
    ExpectFlashFiles();
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock);
    EXPECT_EQ(KeyFileText(key, "big.bin").size(), 30000000u);
    ExpectOthersUntouched();
}

// Cancel on the configuration page, after the preparation: the program ends, and the key
// stays as the preparation left it, bootable but without a menu.
TEST_F(RouteTest, CancelAfterThePreparationLeavesTheKeyAsItWas)
{
    ToTask();
    Next(IDD_ROLE);
    Next(IDD_FILESYSTEM);
    Next(IDD_CONFIGURATION);
    driver->Cancel();
    EXPECT_TRUE(driver->IsClosed());
    ExpectPreparedBootRecord(key, 0x06);
    ExpectSyslinuxFileSystem(key);
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "");
    EXPECT_EQ(KeyFileText(key, "vmlinuz"), "");
    ExpectOthersUntouched();
}

}  // namespace
