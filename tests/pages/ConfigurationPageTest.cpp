// The configuration page through the real wizard on sandbox keys: its controls, Next's two
// branches, and what it says when a copy or a file write fails.
#include "WizardFixture.h"
#include "tests/support/MessageBoxes.h"
#include "platform/OwnCalls.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class ConfigurationPageTest : public WizardFixture {
protected:
    void SetUp() override
    {
        RecordMessageBoxes();
    }
    // Disk 0 the system (C:), disk 1 a FAT key (D:), floppy A: when asked.
    void MakeMachine(bool withFloppy, uint64_t keySize = 16 * kMiB)
    {
        if (withFloppy)
            floppy = sandbox.AddFloppy('A');
        sandbox.AddDisk("IDE", 8 * kMiB, "System disk");
        key = sandbox.AddDisk("USBSTOR", keySize, "Kivra");
        MakeFatKey(key);
    }
    // The "Add Configuration to Existing Key" way to page 114.
    void Enter()
    {
        Start();
        driver->Next();
        driver->Next();
        driver->Click(IDC_ADD_CONFIGURATION);
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    }
    void StartOnConfigurationPage(bool withFloppy, uint64_t keySize = 16 * kMiB)
    {
        MakeMachine(withFloppy, keySize);
        Enter();
    }
    void ChooseFloppy(const std::string& shortName, const std::string& longName)
    {
        driver->Click(IDC_FLOPPY_IMAGE);
        driver->SetText(IDC_SHORT_NAME, shortName);
        driver->SetText(IDC_LONG_NAME, longName);
    }
    std::string floppy, key;
};

TEST_F(ConfigurationPageTest, TheShortNameDropsTheElevenCharactersAndTakesNoNinth)
{
    StartOnConfigurationPage(true);
    EXPECT_TRUE(driver->IsChecked(IDC_FLASH_PACKAGE));
    EXPECT_FALSE(driver->IsEnabled(IDC_SHORT_NAME));
    driver->Click(IDC_FLOPPY_IMAGE);
    EXPECT_FALSE(driver->IsChecked(IDC_FLASH_PACKAGE));
    for (int id : {IDC_CONFIG_DRIVE_LABEL, IDC_CONFIG_DRIVE, IDC_MENU_TEXT, IDC_SHORT_NAME_LABEL, IDC_SHORT_NAME,
                   IDC_LONG_NAME_LABEL, IDC_LONG_NAME})
        EXPECT_TRUE(driver->IsEnabled(id)) << id;
    EXPECT_EQ(driver->Entries(IDC_CONFIG_DRIVE), std::vector<std::string>{"A:"});
    EXPECT_EQ(driver->CurSel(IDC_CONFIG_DRIVE), 0);

    driver->TypeChars(IDC_SHORT_NAME, "a \"*./:<>?\\|b");
    EXPECT_EQ(driver->Text(IDC_SHORT_NAME), "ab");
    driver->TypeChars(IDC_SHORT_NAME, "-_é\bx");
    EXPECT_EQ(driver->Text(IDC_SHORT_NAME), "ab-_x");
    driver->TypeChars(IDC_SHORT_NAME, "12345");
    EXPECT_EQ(driver->Text(IDC_SHORT_NAME), "ab-_x123");
    // The long name is not filtered.
    driver->TypeChars(IDC_LONG_NAME, "DOS 6.22: boot");
    EXPECT_EQ(driver->Text(IDC_LONG_NAME), "DOS 6.22: boot");

    driver->Click(IDC_FLASH_PACKAGE);
    EXPECT_FALSE(driver->IsChecked(IDC_FLOPPY_IMAGE));
    EXPECT_FALSE(driver->IsEnabled(IDC_CONFIG_DRIVE));
    EXPECT_FALSE(driver->IsEnabled(IDC_LONG_NAME));
}

TEST_F(ConfigurationPageTest, WithoutAFloppyDriveTheFloppyImageCannotBeChosen)
{
    StartOnConfigurationPage(false);
    driver->Click(IDC_FLOPPY_IMAGE);
    EXPECT_TRUE(driver->IsChecked(IDC_FLASH_PACKAGE));
    EXPECT_FALSE(driver->IsChecked(IDC_FLOPPY_IMAGE));
    EXPECT_FALSE(driver->IsEnabled(IDC_SHORT_NAME));
    EXPECT_TRUE(driver->Entries(IDC_CONFIG_DRIVE).empty());
    EXPECT_TRUE(Boxes().lines.empty());
}

TEST_F(ConfigurationPageTest, BackReopensTheKeyAndAnEmptyNameStaysWithoutAWord)
{
    StartOnConfigurationPage(true);
    EXPECT_EQ(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE) << "closed while the page is shown";
    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_TASK);
    EXPECT_NE(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_NE(wizard->m_keyDrive.m_hVolume, INVALID_HANDLE_VALUE);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_EQ(wizard->m_keyDrive.m_hVolume, INVALID_HANDLE_VALUE);

    std::string before = KeyListing(key);
    ChooseFloppy("dos", "");
    driver->Next();
    ChooseFloppy("", "DOS boot disk");
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_EQ(History().back(), IDD_TASK);
    EXPECT_TRUE(Boxes().lines.empty());
    EXPECT_EQ(KeyListing(key), before);
}

TEST_F(ConfigurationPageTest, AFloppyChoiceLandsOnTheKeyWithItsMenuEntry)
{
    StartOnConfigurationPage(true);
    std::string medium(1474560, '\0');
    for (size_t i = 0; i < medium.size(); ++i)
        medium[i] = static_cast<char>(i * 31 + i / 512);
    MakeFile(floppy, {medium.begin(), medium.end()});
    std::string longName(300, 'L');
    ChooseFloppy("dos", longName);
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(History().back(), IDD_CONFIGURATION);
    EXPECT_TRUE(Boxes().lines.empty()) << Boxes().lines.front();
    EXPECT_TRUE(KeyFileText(key, "dos.img") == medium);
    EXPECT_NE(KeyFileText(key, "memdisk"), "");
    EXPECT_NE(KeyFileText(key, "syslinux.cfg").find("default dos\n"), std::string::npos);
    EXPECT_NE(KeyFileText(key, "menu.msg").find(" - " + std::string(260, 'L') + "\n"), std::string::npos)
        << "the long name is read with a bound of 260";
    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
}

TEST_F(ConfigurationPageTest, TheFlashPackageCopiesWithTheStatusLineAndWritesItsMenu)
{
    StartOnConfigurationPage(false);
    std::string run = sandbox.Path() + "/run";
    MakeFile(run + "/flash/initrd.img", std::vector<uint8_t>(3 << 20, 0x5A));
    MakeFile(run + "/flash/modules/a.ko", std::vector<uint8_t>(100, 0x41));
    MakeFile(run + "/flash/vmlinuz", std::vector<uint8_t>(4096, 0x4B));
    WorkingFolder working(run);
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_TRUE(Boxes().lines.empty()) << Boxes().lines.front();
    std::string status = wizard->m_configurationPage.m_staticStatus.GetWindowText();
    EXPECT_EQ(status.rfind("Copying vmlinuz", 0), 0u) << status;
    EXPECT_EQ(KeyFileText(key, "modules/a.ko").size(), 100u);
    EXPECT_EQ(KeyFileText(key, "initrd.img").size(), 3u << 20);
    EXPECT_NE(KeyFileText(key, "syslinux.cfg").find("label flash\n  kernel vmlinuz\n"), std::string::npos);

    // Again from the completion page: the copy stops at the folder that is there already,
    // which is no failure, and the menu is written again.
    driver->Back();
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_TRUE(Boxes().lines.empty()) << Boxes().lines.front();
}

TEST_F(ConfigurationPageTest, AFloppyThatCannotBeReadIsNamedAndThePageStays)
{
    StartOnConfigurationPage(true);
    fs::resize_file(floppy, 0);   // the drive opens, but no medium answers
    ChooseFloppy("dos", "DOS boot disk");
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_EQ(History().back(), IDD_TASK);
    ASSERT_EQ(Boxes().lines.size(), 1u);
    EXPECT_EQ(Boxes().lines[0], "Error|Reading the floppy disk in A: failed.\n\nThe device is not ready.");
    EXPECT_NE(KeyListing(key).find("::/dos.img"), std::string::npos) << "the image stays, empty: " << KeyListing(key);
    EXPECT_EQ(KeyFileText(key, "dos.img"), "");
    EXPECT_NE(KeyFileText(key, "memdisk"), "");
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "") << "no menu entry for an image that failed";
}

// A pasted short name is not filtered; the key path made from it must still stay inside the
// key's volume.
TEST_F(ConfigurationPageTest, PathCharactersInAPastedShortNameNeverLeaveTheKey)
{
    StartOnConfigurationPage(true);
    std::string before = KeyListing(key);
    for (const char* name : {"..\\..\\bw", "/tmp/bw", "C:bw", "..\\bw"}) {
        Boxes().Clear();
        ChooseFloppy(name, "escape");
        driver->Next();
        EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION) << name;
        ASSERT_EQ(Boxes().lines.size(), 1u) << name;
        EXPECT_NE(Boxes().lines[0].find("The filename, directory name, or volume label syntax is incorrect."), std::string::npos)
            << Boxes().lines[0];
    }
    EXPECT_FALSE(fs::exists("/tmp/bw.img"));
    EXPECT_FALSE(fs::exists("../bw.img") || fs::exists("../../bw.img") || fs::exists("D:"));
    EXPECT_EQ(KeyListing(key), before);
}

TEST_F(ConfigurationPageTest, AFullKeyIsNamedAndItsConfigurationStaysWhole)
{
    StartOnConfigurationPage(false, 2 * kMiB);
    std::string config = "#zentaq\ndefault dos\nlabel dos\n  kernel memdisk\n  append initrd=dos.img\n";
    PutKeyFileText(key, "syslinux.cfg", config);
    PutKeyFileText(key, "menu.msg", "*\n");
    Shell("head -c 4000000 /dev/zero | MTOOLS_SKIP_CHECK=1 mcopy -i " + key + "@@32256 - ::fill.bin");
    WorkingFolder working(sandbox.Path());   // no flash folder: only the menu files are written
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    ASSERT_EQ(Boxes().lines.size(), 1u);
    EXPECT_EQ(Boxes().lines[0], "Error|Writing D:\\syslinux.cfg failed.\n\nThere is not enough space on the disk.");
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), config);
    EXPECT_EQ(KeyListing(key).find("~bw"), std::string::npos) << KeyListing(key);
}

TEST_F(ConfigurationPageTest, AWriteFaultInThePartitionFailsTheWriteWithAMessage)
{
    // The first sector of the first FAT, behind the partition's reserved sectors: every file
    // that is written takes its clusters there.
    MakeMachine(false);
    std::vector<uint8_t> boot = ReadBytes(key, kPartitionOffset, 512);
    uint64_t fatSector = 63 + (boot[14] | boot[15] << 8);
    sandbox.AddLine("fault 1 write " + std::to_string(fatSector));
    std::vector<uint8_t> fat = ReadBytes(key, fatSector * 512, 512);
    Enter();
    WorkingFolder working(sandbox.Path());
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    ASSERT_EQ(Boxes().lines.size(), 1u);
    EXPECT_EQ(Boxes().lines[0].rfind("Error|Writing D:\\syslinux.cfg failed.\n\nThe system cannot write to the specified device.", 0),
              0u) << Boxes().lines[0];
    EXPECT_EQ(ReadBytes(key, fatSector * 512, 512), fat);
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "");
}

}  // namespace
