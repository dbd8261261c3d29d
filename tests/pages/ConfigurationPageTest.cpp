// The configuration page through the real wizard on sandbox keys: its controls, Next's two
// branches, and what it says when a copy or a file write fails.
#include "WizardFixture.h"
#include "tests/support/BootMenuTexts.h"
#include "tests/support/MessageBoxes.h"
#include "platform/OwnCalls.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using namespace std::string_literals;

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

TEST_F(ConfigurationPageTest, BackReopensTheKeyAndEnteringAgainClosesIt)
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
    EXPECT_EQ(History().back(), IDD_TASK);
}

TEST_F(ConfigurationPageTest, AFloppyChoiceLandsOnTheKeyWithItsMenuEntry)
{
    StartOnConfigurationPage(true);
    std::string medium(1474560, '\0');
    for (size_t i = 0; i < medium.size(); ++i)
        medium[i] = static_cast<char>(i * 31 + i / 512);
    MakeFile(floppy, {medium.begin(), medium.end()});
    ChooseFloppy("dos", "DOS boot disk");
    driver->Next();

    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(History().back(), IDD_CONFIGURATION);
    EXPECT_TRUE(Boxes().lines.empty()) << Boxes().lines.front();
    EXPECT_TRUE(KeyFileText(key, "dos.img") == medium);
    EXPECT_NE(KeyFileText(key, "memdisk"), "");
    EXPECT_NE(KeyFileText(key, "syslinux.cfg").find("default dos\n"), std::string::npos);
    EXPECT_EQ(KeyFileText(key, "menu.msg"), kStars + kDosEntry + kStars);
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

// A short name becomes a label typed at the boot prompt and the image file MEMDISK loads:
// names that cannot be either, or that are the key's own boot files, and missing names, are
// said before the key is touched; a long name past 260 bytes is cut where the user sees it.
TEST_F(ConfigurationPageTest, NamesThatCannotMakeABootChoiceAreSaidAndTouchNothing)
{
    StartOnConfigurationPage(true);
    std::string before = KeyListing(key);
    const std::string invalid = "Configuration|The short name \"%\" cannot name a boot choice. Use at most 8 letters "
                                "A to Z, digits, hyphens (-) and underscores (_), without spaces.";
    const std::string reserved = "Configuration|The short name \"%\" is the name of one of the key's own boot files. "
                                 "Choose another name.";
    struct Case {
        std::string shortName, longName, said;
    } cases[] = {
        {"", "DOS", "Configuration|Type a short name for the floppy image. It names the image file on the key and "
                    "the choice at the boot prompt."},
        {"dos", "", "Configuration|Type a long name for the floppy image. It is the text of its line in the boot menu."},
        {"a b", "DOS", invalid}, {"dosé", "DOS", invalid}, {"..\\..\\bw", "DOS", invalid}, {"C:bw", "DOS", invalid},
        {"InitRD", "DOS", reserved}, {"FLASH", "DOS", reserved}, {"ldlinux", "DOS", reserved}, {"Menu", "DOS", reserved},
    };
    for (const Case& c : cases) {
        Boxes().Clear();
        ChooseFloppy(c.shortName, c.longName);
        driver->Next();
        EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION) << c.shortName;
        std::string said = c.said;
        if (size_t at = said.find('%'); at != std::string::npos)
            said.replace(at, 1, c.shortName);
        EXPECT_EQ(Boxes().lines, std::vector<std::string>{said}) << c.shortName;
    }
    Boxes().Clear();
    std::string longName = "é" + std::string(299, 'L');   // 301 bytes: cut before a whole character
    ChooseFloppy("dos-6_x", longName);
    driver->Next();
    EXPECT_EQ(Boxes().lines, std::vector<std::string>{"Configuration|The long name is longer than the 260 bytes the menu "
                                                       "takes. It has been cut to its first 260 bytes; check it and "
                                                       "choose Next again."});
    EXPECT_EQ(driver->Text(IDC_LONG_NAME), longName.substr(0, 260));
    EXPECT_EQ(KeyListing(key), before);
    EXPECT_FALSE(fs::exists("/tmp/bw.img") || fs::exists("../bw.img") || fs::exists("D:"));

    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_NE(KeyFileText(key, "menu.msg").find("dos-6_x       - " + longName.substr(0, 260) + "\n"), std::string::npos);
}

// A name the key holds already, as an image, a label or a menu line, in any case (FAT and
// SYSLINUX take DOS and dos for one name): No keeps all; Yes replaces the image, the block
// and the menu line together.
TEST_F(ConfigurationPageTest, AChoiceTheKeyHoldsIsReplacedWholeOnlyAfterAYes)
{
    StartOnConfigurationPage(true);
    std::vector<uint8_t> medium = Pattern(1474560, 7);
    MakeFile(floppy, medium);
    std::string config = "#zentaq\ndefault flash\n" + kHeader + kFlashBlock + kDosBlock + "label linux\n  kernel bz\n";
    std::string menu = kStars + kFlashEntry + kDosEntry + kStars;
    PutKeyFileText(key, "syslinux.cfg", config);
    PutKeyFileText(key, "menu.msg", menu);
    PutKeyFileText(key, "dos.img", "old image");
    PutKeyFileText(key, "games.img", "games");
    std::string before = KeyListing(key);
    for (const char* name : {"DOS", "Linux", "games"}) {
        Boxes().Clear();
        ChooseFloppy(name, "New");
        driver->Next();
        EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION) << name;
        ASSERT_EQ(Boxes().lines.size(), 1u) << name;
        EXPECT_EQ(Boxes().types[0] & 0xF, static_cast<UINT>(MB_YESNO));
        EXPECT_EQ(Boxes().texts[0], "The key already holds a boot choice or an image named " + std::string(name) +
                                        ".\nDo you want to replace it? Its image file, its block in syslinux.cfg and its "
                                        "line in the menu are replaced together.");
    }
    EXPECT_EQ(KeyListing(key), before);
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), config);
    EXPECT_EQ(KeyFileText(key, "menu.msg"), menu);
    EXPECT_EQ(KeyFileText(key, "dos.img"), "old image");

    Boxes().answer = IDYES;
    ChooseFloppy("DOS", "New DOS");
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(KeyFileText(key, "dos.img"), Text(medium));
    std::string listing = KeyListing(key);
    std::transform(listing.begin(), listing.end(), listing.begin(), ::tolower);
    EXPECT_EQ(listing.find("/dos.img"), listing.rfind("/dos.img")) << "one image of the name: " << listing;
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock +
                                                     "label linux\n  kernel bz\n"
                                                     "label DOS\n  kernel memdisk\n  append initrd=DOS.img\n");
    std::string newEntry = std::string(8, ' ') + "DOS" + std::string(10, ' ') + " - New DOS" + std::string(48, ' ') + "\n";
    EXPECT_EQ(KeyFileText(key, "menu.msg"), kStars + kFlashEntry + newEntry + kStars);
}

// Files another tool or a person wrote: keywords in upper case, CR LF line ends, a NUL byte,
// a last line without its end, a menu left without its configuration. Every line the edit
// need not touch stays as it was, and the lines added take the file's own line end.
TEST_F(ConfigurationPageTest, ExistingMenuFilesAreEditedInTheirOwnForm)
{
    StartOnConfigurationPage(false);
    WorkingFolder working(sandbox.Path());   // no flash folder: only the menu files are written
    auto crlf = [](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.replace(at, 1, "\r\n");
        return text;
    };
    std::string tail = "label old\r\n  kernel old\0x\r\n\r\n# end"s;
    PutKeyFileText(key, "syslinux.cfg", "#zentaq\r\nDEFAULT old\r\nprompt 1\r\nLABEL flash\r\n  kernel old\r\n" + tail);
    PutKeyFileText(key, "menu.msg", crlf(kStars + "  old - Old\n" + kFlashEntry + kStars));
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "#zentaq\r\ndefault flash\r\nprompt 1\r\n" + tail + "\r\n" + crlf(kFlashBlock));
    EXPECT_EQ(KeyFileText(key, "menu.msg"), crlf(kStars + "  old - Old\n" + kFlashEntry + kStars));

    driver->Back();
    PutKeyFileText(key, "syslinux.cfg", "label old\n  kernel x\ndefault old");
    driver->Next();
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "label old\n  kernel x\ndefault flash\n" + kFlashBlock);

    // The menu's choices had their blocks in the configuration that is gone: it starts afresh.
    driver->Back();
    ASSERT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mdel -i " + key + "@@32256 ::syslinux.cfg"), 0);
    driver->Next();
    EXPECT_EQ(KeyFileText(key, "syslinux.cfg"), "#zentaq\ndefault flash\n" + kHeader + kFlashBlock);
    EXPECT_EQ(KeyFileText(key, "menu.msg"), kStars + kFlashEntry + kStars);
    EXPECT_TRUE(Boxes().lines.empty()) << Boxes().lines.front();
}

}  // namespace
