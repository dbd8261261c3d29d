// The wizard's routes, its page history and where the buttons are set.
#include "WizardFixture.h"

namespace {

using Pages = std::vector<int>;

class NavigationTest : public WizardFixture {
protected:
    void SetUp() override
    {
        sandbox.AddDisk("IDE", 64 << 20, "System disk");
        sandbox.AddDisk("USBSTOR", 32 << 20, "Kivra key");
        Start();
    }

    // Welcome -> key selection -> task.
    void GoToTask()
    {
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    }
};

TEST_F(NavigationTest, WelcomeOffersNextOnlyAndBackReturnsToIt)
{
    EXPECT_EQ(driver->CurrentPageId(), IDD_WELCOME);
    EXPECT_EQ(driver->Buttons(), PSWIZB_NEXT);
    EXPECT_TRUE(History().empty());

    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
    EXPECT_EQ(driver->Buttons(), PSWIZB_BACK | PSWIZB_NEXT);
    EXPECT_EQ(History(), Pages({IDD_WELCOME}));

    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_WELCOME);
    EXPECT_EQ(driver->Buttons(), PSWIZB_NEXT);
    EXPECT_TRUE(History().empty());
}

TEST_F(NavigationTest, TaskPageStartsOnCreateNewAndLeadsToRole)
{
    GoToTask();
    EXPECT_TRUE(driver->IsChecked(IDC_CREATE_NEW));
    EXPECT_TRUE(driver->IsEnabled(IDC_BACKUP_FIRST));
    EXPECT_FALSE(driver->IsChecked(IDC_BACKUP_FIRST));

    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_ROLE);
    EXPECT_EQ(History(), Pages({IDD_WELCOME, IDD_FINDKEY, IDD_TASK}));
    EXPECT_FALSE(wizard->m_backupPage.m_bBackupFirst);
}

TEST_F(NavigationTest, BackupFirstSurvivesDisablingAndSetsTheFlag)
{
    GoToTask();
    driver->Click(IDC_BACKUP_FIRST);
    wizard->m_backupPage.m_bBackupFirst = true;   // as left by an earlier pass

    driver->Click(IDC_ADD_CONFIGURATION);
    EXPECT_FALSE(driver->IsChecked(IDC_CREATE_NEW));
    EXPECT_FALSE(driver->IsEnabled(IDC_BACKUP_FIRST));
    EXPECT_TRUE(driver->IsChecked(IDC_BACKUP_FIRST));
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_TRUE(wizard->m_backupPage.m_bBackupFirst) << "add configuration leaves the flag alone";

    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_TASK);
    EXPECT_TRUE(driver->IsChecked(IDC_ADD_CONFIGURATION)) << "a page shows its last choice again";
    wizard->m_backupPage.m_bBackupFirst = false;
    driver->Click(IDC_CREATE_NEW);
    EXPECT_TRUE(driver->IsEnabled(IDC_BACKUP_FIRST));
    EXPECT_TRUE(driver->IsChecked(IDC_BACKUP_FIRST));
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    EXPECT_TRUE(wizard->m_backupPage.m_bBackupFirst);
    EXPECT_EQ(History(), Pages({IDD_WELCOME, IDD_FINDKEY, IDD_TASK}));
}

TEST_F(NavigationTest, BackupRestoreAlwaysClearsTheFlag)
{
    GoToTask();
    wizard->m_backupPage.m_bBackupFirst = true;
    driver->Click(IDC_BACKUP_RESTORE);
    EXPECT_FALSE(driver->IsChecked(IDC_CREATE_NEW));
    EXPECT_FALSE(driver->IsEnabled(IDC_BACKUP_FIRST));
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    EXPECT_FALSE(wizard->m_backupPage.m_bBackupFirst);
}

TEST_F(NavigationTest, BackRetracesThePathAndANewChoiceRebuildsIt)
{
    GoToTask();
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_ROLE);
    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_TASK);
    EXPECT_EQ(History(), Pages({IDD_WELCOME, IDD_FINDKEY}));

    driver->Click(IDC_BACKUP_RESTORE);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    EXPECT_EQ(History(), Pages({IDD_WELCOME, IDD_FINDKEY, IDD_TASK}));
    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_TASK);
}

TEST_F(NavigationTest, RolePageLeadsToFilesystemOrImageKey)
{
    GoToTask();
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_ROLE);
    EXPECT_TRUE(driver->IsChecked(IDC_HARD_DRIVE));
    EXPECT_FALSE(driver->IsChecked(IDC_FLOPPY_DISK));

    driver->Click(IDC_FLOPPY_DISK);
    EXPECT_FALSE(driver->IsChecked(IDC_HARD_DRIVE)) << "the two roles exclude each other";
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_IMAGEKEY);
    EXPECT_EQ(History(), Pages({IDD_WELCOME, IDD_FINDKEY, IDD_TASK, IDD_ROLE}));

    driver->Back();
    driver->Click(IDC_HARD_DRIVE);
    driver->Back();
    ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_ROLE);
    EXPECT_TRUE(driver->IsChecked(IDC_HARD_DRIVE));
    EXPECT_EQ(History(), Pages({IDD_WELCOME, IDD_FINDKEY, IDD_TASK}));
}

TEST_F(NavigationTest, CompletionPageOffersBackAndFinish)
{
    GoToTask();
    driver->Next();
    driver->Click(IDC_FLOPPY_DISK);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_IMAGEKEY);
    std::string image = sandbox.Path() + "/floppy.img";
    MakeFile(image, std::vector<uint8_t>(737280, 0xF6));
    driver->Click(IDC_IMAGE_FROM_FILE);
    driver->SetText(IDC_IMAGE_FILE, image);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(driver->Buttons(), PSWIZB_BACK | PSWIZB_FINISH);

    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_IMAGEKEY);
    EXPECT_EQ(driver->Buttons(), PSWIZB_BACK | PSWIZB_NEXT);

    // The image was written and the key's letter released: show the completion page again
    // the way the sheet does, without writing a second time.
    ASSERT_TRUE(wizard->SetActivePage(9));
    driver->ProcessEvents();
    driver->Finish();
    EXPECT_TRUE(driver->IsClosed());
    EXPECT_EQ(driver->Result(), ID_WIZFINISH);
}

TEST_F(NavigationTest, CancelOnTheFirstPageTouchesNoDisk)
{
    driver->Cancel();
    EXPECT_TRUE(driver->IsClosed());
    EXPECT_EQ(driver->Result(), IDCANCEL);
    EXPECT_EQ(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_EQ(wizard->m_keyDrive.m_hVolume, INVALID_HANDLE_VALUE);
    for (int i = 0; i < 26; i++)
        EXPECT_EQ(wizard->m_keyDrive.m_bIsKey[i], 0) << "no discovery before the welcome page's Next";
}

}  // namespace

namespace {

TEST_F(NavigationTest, ConfigurationPageClosesTheKeyAndBackReopensIt)
{
    GoToTask();
    ASSERT_NE(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);
    driver->Click(IDC_ADD_CONFIGURATION);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);
    EXPECT_EQ(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_EQ(wizard->m_keyDrive.m_hVolume, INVALID_HANDLE_VALUE);
    driver->Back();
    EXPECT_EQ(driver->CurrentPageId(), IDD_TASK);
    EXPECT_NE(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);
    EXPECT_NE(wizard->m_keyDrive.m_hVolume, INVALID_HANDLE_VALUE);
}

}  // namespace
