// The backup page and the image key page through the real wizard, on sandbox keys.
#include "WizardFixture.h"
#include "tests/support/MessageBoxes.h"

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "keydrive/ProgressCounters.h"
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

    // A 2 MiB key whose one partition ends at sector 999: a backup copies 1,000 sectors (or
    // `used` of a key of `size`).
    void StartOnTask(uint64_t size = 2 * kMiB, uint32_t used = 1000)
    {
        sandbox.AddDisk("IDE", 16 * kMiB, "System disk");
        key = sandbox.AddDisk("USBSTOR", size, "Kivra");
        WriteBytes(key, 0, Pattern(size, 1));
        WriteMbr(key, {{0x80, 0x06, 63, used - 63}});
        Start();
        driver->Next();
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    }
    void GoToBackupPage(uint64_t size = 2 * kMiB, uint32_t used = 1000)
    {
        StartOnTask(size, used);
        driver->Click(IDC_BACKUP_RESTORE);
        driver->Next();
        ASSERT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    }

    std::string key;
};

const std::string kBackupNameMissing =
    "Type the name of the image file to back the key up into, or choose it with the \"...\" button.";

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
    EXPECT_EQ(Boxes().texts, std::vector<std::string>{kBackupNameMissing});
    Boxes().Clear();
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

TEST_F(TransferPageTest, TheDirectionsUncheckEachOtherAndNextSaysWhatIsMissing)
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
    EXPECT_EQ(Boxes().texts, (std::vector<std::string>{
                                 "Choose Backup or Restore.", kBackupNameMissing,
                                 "Type the name of the image file to restore the key from, or choose it with the "
                                 "\"...\" button."}));
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
                                  " of the key failed.\n\nData error (cyclic redundancy check).\n\n"
                                  "The unfinished image file was removed: " + image + " keeps what it held before.");
        EXPECT_EQ(ReadBytes(image, 0, 2 * kMiB), ReadBytes(key, 0, 1000 * kSector)) << "the earlier backup stays whole";
        EXPECT_EQ(std::distance(fs::directory_iterator(sandbox.Path()), {}), 4) << "no half image beside it";
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
    EXPECT_EQ(Boxes().texts, (std::vector<std::string>{"Choose Image from file or Image from drive.",
                                                       "Type the name of the floppy image file to write onto the key, "
                                                       "or choose it with the \"...\" button."}));
    Boxes().Clear();
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

// A restore refused before writing leaves the key and its letter as they were: the page
// says why, with the lengths, and the next image restores on the same run.
TEST_F(TransferPageTest, ARefusedRestoreLeavesThePageUsableAndAGoodImageRestoresNext)
{
    GoToBackupPage();
    std::vector<uint8_t> before = ReadBytes(key, 0, 2 * kMiB);
    std::string image = sandbox.Path() + "/image.img";
    MakeFile(image, Pattern(2 * kMiB + 100, 4));
    driver->Click(IDC_RESTORE);
    driver->SetText(IDC_RESTORE_FILE, image);
    driver->Next();
    EXPECT_EQ(Boxes().texts, std::vector<std::string>{
                                 "The image file is not a whole number of 512-byte sectors long, as every image of a "
                                 "key or a floppy is. Nothing was written to the key.\n\nThe data is invalid.\nThe "
                                 "image file holds 2,097,252 bytes, 100 more than a whole number of sectors."});
    EXPECT_EQ(ReadBytes(key, 0, 2 * kMiB), before);
    MakeFile(image, Pattern(3000 * kSector, 5));
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE);
    EXPECT_EQ(ReadBytes(key, 0, 3000 * kSector), Pattern(3000 * kSector, 5));
}

// Cancel pressed while a transfer works is heard after the block under way (2,048 sectors
// first): a question; No goes on, Yes stops and the box says what the key and the image
// file hold. Other clicks made meanwhile are dropped.
TEST_F(TransferPageTest, CancelDuringATransferAsksAndStopsAfterTheBlockUnderWay)
{
    GoToBackupPage(8 * kMiB, 16000);
    auto clicks = [&](int repaint) {
        for (int id : {ID_WIZBACK, IDC_RESTORE, IDCANCEL_BUTTON})
            if (repaint == 1)
                driver->QueueClick(id);
    };
    wizard->DuringWork(clicks);
    std::string image = sandbox.Path() + "/backup.img";
    g_chosen = image;   // confirmed in the save dialog: the only question is Cancel's
    SetFrameworkTestHooks({ChooseFile, nullptr});
    driver->Click(IDC_BACKUP);
    driver->Click(IDC_BACKUP_BROWSE);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_COMPLETE) << "No: the backup goes on";
    EXPECT_EQ(Boxes().lines, std::vector<std::string>{"Cancel|Do you want to stop the backup?\n\nThe unfinished image "
                                                      "file will be removed; a file that had its name before stays as "
                                                      "it was."});
    std::vector<uint8_t> backup = ReadBytes(image, 0, 8 * kMiB);
    EXPECT_EQ(backup, ReadBytes(key, 0, 16000 * kSector));

    driver->Back();
    Boxes().Clear();
    Boxes().answer = IDYES;
    wizard->DuringWork(clicks);
    driver->Next();
    EXPECT_TRUE(driver->IsChecked(IDC_BACKUP)) << "the click on Restore made meanwhile was dropped";
    ASSERT_EQ(Boxes().texts.size(), 2u);
    EXPECT_EQ(Boxes().texts[1], "The backup was stopped after 2048 sectors of the key.\n\nThe operation was canceled "
                                "by the user.\n\nThe unfinished image file was removed: " + image +
                                    " keeps what it held before.");
    EXPECT_EQ(ReadBytes(image, 0, 8 * kMiB), backup);

    std::vector<uint8_t> expected = ReadBytes(key, 0, 8 * kMiB), restored = Pattern(6 * kMiB, 7);
    std::copy(restored.begin(), restored.begin() + kMiB, expected.begin());
    MakeFile(image, restored);
    driver->Click(IDC_RESTORE);
    driver->SetText(IDC_RESTORE_FILE, image);
    Boxes().Clear();
    wizard->DuringWork(clicks);
    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_BACKUP);
    ASSERT_EQ(Boxes().texts.size(), 2u);
    EXPECT_EQ(Boxes().texts[1], "The restore was stopped after 2048 sectors of the image. The key holds only the start "
                                "of the image and will not start a computer; start Bootwright again to restore it or "
                                "to prepare it anew.\n\nThe operation was canceled by the user.");
    EXPECT_EQ(ReadBytes(key, 0, 8 * kMiB), expected) << "the first block, and nothing after it";
}

// Cancel during the read-back of a restore (a 2 MiB image: two blocks written, then two
// read back): the image is whole on the key, and the box says how far it was checked.
TEST_F(TransferPageTest, CancelDuringTheReadBackOfARestore)
{
    GoToBackupPage(8 * kMiB, 16000);
    std::string image = sandbox.Path() + "/image.img";
    MakeFile(image, Pattern(2 * kMiB, 3));
    driver->Click(IDC_RESTORE);
    driver->SetText(IDC_RESTORE_FILE, image);
    wizard->DuringWork([&](int repaint) {
        if (repaint == 3)
            driver->QueueClick(IDCANCEL_BUTTON);
    });
    Boxes().answer = IDYES;
    driver->Next();
    ASSERT_EQ(Boxes().texts.size(), 2u);
    EXPECT_EQ(Boxes().texts[1], "Checking the key was stopped after 2048 sectors. The whole image was written, but the "
                                "key was not read back past that point.\n\nThe operation was canceled by the user.");
    EXPECT_EQ(ReadBytes(key, 0, 2 * kMiB), Pattern(2 * kMiB, 3));
}

// A Cancel pressed during the last block of a floppy write is taken by no one: the image is
// written whole, and the wizard ends once the work is done, as it did before.
TEST_F(TransferPageTest, ACancelNoTransferTookEndsTheWizardAfterTheWork)
{
    StartOnTask();
    driver->Next();
    driver->Click(IDC_FLOPPY_DISK);
    driver->Next();
    std::string image = sandbox.Path() + "/floppy.img";
    MakeFile(image, Pattern(1474560, 8));
    driver->Click(IDC_IMAGE_FROM_FILE);
    driver->SetText(IDC_IMAGE_FILE, image);
    wizard->DuringWork([&](int repaint) {
        if (repaint == 2)
            driver->QueueClick(IDCANCEL_BUTTON);
    });
    driver->Next();
    EXPECT_TRUE(Boxes().texts.empty());
    EXPECT_TRUE(driver->IsClosed() && driver->Result() == IDCANCEL);
    EXPECT_EQ(ReadBytes(key, 0, 1474560), Pattern(1474560, 8));
}

// A key that ends early while it is read or written (pulled out, or cut short) ends the
// transfer in a failure that says so, and nothing is written past its end.
TEST_F(TransferPageTest, AKeyThatShrinksDuringATransferEndsInAFailure)
{
    GoToBackupPage(8 * kMiB, 16000);
    auto shrink = [&](int repaint) {
        if (repaint == 2)
            fs::resize_file(key, 3 * kMiB);
    };
    wizard->DuringWork(shrink);
    const std::string ended = "The key ended at sector 6144, before the transfer did: it was removed, or it holds less "
                              "than when the transfer began.\n\nReached the end of the file.";
    std::string image = sandbox.Path() + "/image.img";
    driver->Click(IDC_BACKUP);
    driver->SetText(IDC_BACKUP_FILE, image);
    driver->Next();
    EXPECT_EQ(Boxes().texts, std::vector<std::string>{ended + "\n\nThe unfinished image file was removed: " + image +
                                                      " was not made."});
    EXPECT_FALSE(fs::exists(image));

    fs::resize_file(key, 8 * kMiB);
    MakeFile(image, Pattern(7 * kMiB, 9));
    driver->Click(IDC_RESTORE);
    driver->SetText(IDC_RESTORE_FILE, image);
    Boxes().Clear();
    wizard->DuringWork(shrink);
    driver->Next();
    EXPECT_EQ(Boxes().texts, std::vector<std::string>{ended});
    EXPECT_EQ(fs::file_size(key), 3 * kMiB);
}

}  // namespace
