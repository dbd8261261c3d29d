// The backup page and the image key page through the real wizard, on sandbox keys.
#include "WizardFixture.h"
#include "tests/support/MessageBoxes.h"

#include <filesystem>

#include "pages/StatusLine.h"
#include "platform/OwnCalls.h"
#include "framework/TestSeam.h"

namespace fs = std::filesystem;

namespace {


std::string g_chosen, g_filter, g_initialDir;

INT_PTR ChooseFile(BOOL, const std::string& filter, const std::string& initialDir, std::string& path)
{
    g_filter = filter;
    g_initialDir = initialDir;
    path = g_chosen;
    return IDOK;
}

class TransferPageTest : public WizardFixture {
protected:
    void SetUp() override
    {
        RecordMessageBoxes();
    }

    // A 2 MiB key whose one partition ends at sector 999: a backup copies 1,000 sectors.
    void StartOnTask()
    {
        sandbox.AddDisk("IDE", 16 * kMiB, "System disk");
        key = sandbox.AddDisk("USBSTOR", 2 * kMiB, "Kivra");
        WriteBytes(key, 0, Pattern(2 * kMiB, 1));
        WriteMbr(key, {{0x80, 0x06, 63, static_cast<uint32_t>(937)}});
        Start();
        driver->Next();
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    }
    void GoToBackupPage()
    {
        StartOnTask();
        driver->Click(IDC_BACKUP_RESTORE);
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    }

    std::string key;
};

TEST_F(TransferPageTest, BackupFirstOffersOnlyTheBackupAndGoesOnToTheRolePage)
{
    StartOnTask();
    driver->Click(IDC_BACKUP_FIRST);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    EXPECT_TRUE(driver->IsChecked(IDC_BACKUP));
    EXPECT_TRUE(driver->IsEnabled(IDC_BACKUP_FILE) && driver->IsEnabled(IDC_BACKUP_BROWSE));
    EXPECT_FALSE(driver->IsChecked(IDC_RESTORE) || driver->IsEnabled(IDC_RESTORE));
    EXPECT_FALSE(driver->IsEnabled(IDC_RESTORE_FILE) || driver->IsEnabled(IDC_RESTORE_BROWSE));

    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP) << "no name, no backup";
    // A name longer than 260 characters is read whole: cut short, it would name another file.
    std::string folder = sandbox.Path();
    while (folder.size() < 300)
        folder += "/backups-of-the-kivra-key";
    fs::create_directories(folder);
    std::string image = folder + "/before.img";
    driver->SetText(IDC_BACKUP_FILE, image);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_ROLE);
    EXPECT_EQ(History(), (std::vector<int>{IDD_WELCOME, IDD_FINDKEY, IDD_TASK, IDD_BACKUP}));
    EXPECT_EQ(ReadBytes(image, 0, kMiB), ReadBytes(key, 0, 1000 * kSector));
    EXPECT_TRUE(Boxes().texts.empty());
    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
}

TEST_F(TransferPageTest, TheDirectionsUncheckEachOtherAndNothingHappensWithoutAName)
{
    GoToBackupPage();
    for (int id : {IDC_BACKUP, IDC_RESTORE})
        EXPECT_FALSE(driver->IsChecked(id));
    for (int id : {IDC_BACKUP_LABEL, IDC_BACKUP_FILE, IDC_BACKUP_BROWSE, IDC_RESTORE_LABEL, IDC_RESTORE_FILE, IDC_RESTORE_BROWSE})
        EXPECT_FALSE(driver->IsEnabled(id)) << id;
    driver->Next();
    driver->Click(IDC_BACKUP);
    driver->Next();
    driver->Click(IDC_RESTORE);
    EXPECT_FALSE(driver->IsChecked(IDC_BACKUP));
    EXPECT_FALSE(driver->IsEnabled(IDC_BACKUP_FILE) || driver->IsEnabled(IDC_BACKUP_BROWSE) || driver->IsEnabled(IDC_BACKUP_LABEL));
    EXPECT_TRUE(driver->IsEnabled(IDC_RESTORE_FILE) && driver->IsEnabled(IDC_RESTORE_BROWSE) && driver->IsEnabled(IDC_RESTORE_LABEL));
    driver->Next();
    driver->Click(IDC_BACKUP);
    EXPECT_FALSE(driver->IsChecked(IDC_RESTORE));
    EXPECT_FALSE(driver->IsEnabled(IDC_RESTORE_FILE));
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    EXPECT_TRUE(Boxes().texts.empty());
}

// A target typed by hand that exists is replaced only after a Yes; one chosen in the save
// dialog was asked about there.
TEST_F(TransferPageTest, AnExistingTargetIsReplacedOnlyAfterAYes)
{
    GoToBackupPage();
    std::string image = sandbox.Path() + "/old.img";
    MakeFile(image, std::vector<uint8_t>(100, 0xEE));
    driver->Click(IDC_BACKUP);
    driver->SetText(IDC_BACKUP_FILE, image);
    driver->Next();
    ASSERT_EQ(Boxes().texts.size(), 1u);
    EXPECT_EQ(Boxes().texts[0], image + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    EXPECT_EQ(ReadBytes(image, 0, 200), std::vector<uint8_t>(100, 0xEE));

    Boxes().answer = IDYES;
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(fs::file_size(image), 1000 * kSector);

    driver->Back();
    Boxes().Clear();
    g_chosen = image;
    SetFrameworkTestHooks({ChooseFile, nullptr});
    driver->Click(IDC_BACKUP_BROWSE);
    EXPECT_EQ(g_initialDir, fs::current_path().string() + "/images") << "the run folder's images folder";
    EXPECT_EQ(g_filter, "Image Files (*.img)|*.img||");
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_TRUE(Boxes().texts.empty());
}

// A source that cannot be opened is reported and nothing else happens; a read-only image
// restores.
TEST_F(TransferPageTest, RestoreReportsAMissingImageAndRestoresFromAReadOnlyOne)
{
    GoToBackupPage();
    driver->Click(IDC_RESTORE);
    driver->SetText(IDC_RESTORE_FILE, sandbox.Path() + "/missing.img");
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    ASSERT_EQ(Boxes().texts.size(), 1u);
    EXPECT_EQ(Boxes().texts[0], "The image file " + sandbox.Path() + "/missing.img cannot be opened.\n\n"
                          "The system cannot find the file specified.");
    EXPECT_NE(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE) << "the key is not released";

    std::string image = sandbox.Path() + "/locked.img";
    std::vector<uint8_t> bytes = Pattern(300 * kSector, 9);
    MakeFile(image, bytes);
    if (Shell("chattr +i " + image) != 0)
        GTEST_SKIP() << "chattr +i is not available here: the image cannot be made read-only for root";
    g_chosen = image;
    SetFrameworkTestHooks({ChooseFile, nullptr});
    driver->Click(IDC_RESTORE_BROWSE);
    EXPECT_EQ(driver->Text(IDC_RESTORE_FILE), image);
    driver->Next();
    Shell("chattr -i " + image);
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(History().back(), IDD_BACKUP);
    EXPECT_EQ(ReadBytes(key, 0, 300 * kSector), bytes);
    EXPECT_EQ(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE) << "the drive letter is released";
}

// The percentage comes at the sectors and with the values of a copy a sector at a time: in
// the first transfer of the run, at sectors 24, 49, 74, 99, ..., 999 of 1,000, showing 02,
// 04, 07, 09, ..., 99. A read fault at sector f stops the backup there, so the line shows
// the last percentage at or before f; the box names the sector.
TEST_F(TransferPageTest, ThePercentageFollowsTheSectorsAndAReadFaultStopsThere)
{
    GoToBackupPage();
    driver->Click(IDC_BACKUP);
    std::string image = sandbox.Path() + "/backup.img";
    driver->SetText(IDC_BACKUP_FILE, image);
    RewindProgress(TransferProgressCounter());
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(wizard->m_backupPage.m_staticStatus.GetWindowText(), "Backing up Key 99%");
    driver->Back();
    Boxes().answer = IDYES;

    struct Case {
        int sector;
        const char* status;
    };
    for (Case c : {Case{99, "Backing up Key 09%"}, Case{74, "Backing up Key 07%"}, Case{73, "Backing up Key 04%"},
                   Case{49, "Backing up Key 04%"}, Case{24, "Backing up Key 02%"}, Case{23, "Backing up Key    "}}) {
        sandbox.AddLine("fault 1 read " + std::to_string(c.sector));   // the lowest fault stops first
        sandbox.Use();
        RewindProgress(TransferProgressCounter());
        Boxes().Clear();
        driver->Next();
        EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP) << c.sector;
        EXPECT_EQ(driver->Text(IDC_BACKUP_STATUS), c.status) << c.sector;
        ASSERT_EQ(Boxes().texts.size(), 2u) << "the replace question and the failure";
        EXPECT_EQ(Boxes().texts[1], "Reading sector " + std::to_string(c.sector) +
                                  " of the key failed.\n\nData error (cyclic redundancy check).");
        EXPECT_EQ(fs::file_size(image), c.sector * kSector) << "every sector before the fault is in the image";
    }
}

TEST_F(TransferPageTest, ImageKeyPageListsTheFloppyDrivesAndWritesTheChosenOne)
{
    sandbox.AddFloppy('B');
    std::string floppyA = sandbox.AddFloppy('A');
    std::vector<uint8_t> floppy = Pattern(1474560, 3);
    WriteBytes(floppyA, 0, floppy);
    StartOnTask();
    driver->Next();
    driver->Click(IDC_FLOPPY_DISK);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_IMAGEKEY);
    EXPECT_EQ(driver->Entries(IDC_IMAGE_DRIVE), (std::vector<std::string>{"A:", "B:"}));
    EXPECT_EQ(driver->CurSel(IDC_IMAGE_DRIVE), 0);
    EXPECT_FALSE(driver->IsChecked(IDC_IMAGE_FROM_FILE) || driver->IsChecked(IDC_IMAGE_FROM_DRIVE));
    EXPECT_FALSE(driver->IsEnabled(IDC_IMAGE_FILE) || driver->IsEnabled(IDC_IMAGE_DRIVE));

    driver->Next();
    driver->Click(IDC_IMAGE_FROM_FILE);
    driver->Next();
    EXPECT_TRUE(Boxes().texts.empty()) << "nothing chosen, nothing said";
    driver->SetText(IDC_IMAGE_FILE, sandbox.Path() + "/missing.img");
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_IMAGEKEY);
    ASSERT_EQ(Boxes().texts.size(), 1u);
    EXPECT_EQ(Boxes().texts[0].rfind("The image file " + sandbox.Path() + "/missing.img cannot be opened.", 0), 0u);

    driver->Click(IDC_IMAGE_FROM_DRIVE);
    EXPECT_FALSE(driver->IsChecked(IDC_IMAGE_FROM_FILE));
    EXPECT_FALSE(driver->IsEnabled(IDC_IMAGE_FILE) || driver->IsEnabled(IDC_IMAGE_BROWSE));
    EXPECT_TRUE(driver->IsEnabled(IDC_IMAGE_DRIVE));
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(History().back(), IDD_IMAGEKEY);
    EXPECT_EQ(ReadBytes(key, 0, 1474560), floppy);
    EXPECT_EQ(Boxes().texts.size(), 1u);
}

}  // namespace
