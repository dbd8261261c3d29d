// The key selection page: the list of keys that discovery found, and opening the chosen one.
#include "WizardFixture.h"

#include <filesystem>
#include "framework/TestSeam.h"
#include "tests/support/FakePkexec.h"
#include "tests/support/MessageBoxes.h"

namespace {

class KeySelectionTest : public WizardFixture {};

TEST_F(KeySelectionTest, ListsEveryKeyAndSelectsTheHighestLetter)
{
    // C: system, D: second fixed disk, E: key, F: fixed disk, G: key
    sandbox.AddDisk("IDE", 64 << 20, "System disk");
    sandbox.AddDisk("SCSI", 16 << 20, "Data disk");
    sandbox.AddDisk("USBSTOR", 16 << 20, "Kivra E");
    sandbox.AddDisk("IDE", 16 << 20, "Other disk");
    std::string keyG = sandbox.AddDisk("USBSTOR", 32 << 20, "Kivra G");
    Start();

    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
    EXPECT_EQ(driver->Entries(IDC_LETTER), (std::vector<std::string>{"E:", "G:"}));
    EXPECT_EQ(driver->CurSel(IDC_LETTER), 1);
    std::string line = driver->Text(IDC_KEY_DESCRIPTION);
    EXPECT_NE(line.find("Kivra G"), std::string::npos) << line;
    EXPECT_NE(line.find("32 MiB"), std::string::npos) << line;
    EXPECT_NE(line.find(std::filesystem::path(keyG).filename().string()), std::string::npos) << line;

    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_TASK);
    EXPECT_EQ(wizard->m_keyDrive.m_chLetter, 'G');
    EXPECT_NE(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);

    // Back, another letter: Next opens that one.
    driver->Back();
    ASSERT_TRUE(driver->Select(IDC_LETTER, "E:"));
    EXPECT_NE(driver->Text(IDC_KEY_DESCRIPTION).find("Kivra E"), std::string::npos);
    driver->Next();
    EXPECT_EQ(wizard->m_keyDrive.m_chLetter, 'E');
    EXPECT_EQ(History(), (std::vector<int>{IDD_WELCOME, IDD_FINDKEY}));
}

TEST_F(KeySelectionTest, WithoutAKeyNextStaysAndTheCursorReturns)
{
    sandbox.AddDisk("IDE", 64 << 20, "System disk");
    Start();
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
    EXPECT_TRUE(driver->Entries(IDC_LETTER).empty());
    EXPECT_EQ(driver->Text(IDC_KEY_DESCRIPTION), LoadResString(IDS_KEY_NONE));

    driver->Next();
    EXPECT_EQ(driver->CurrentPageId(), IDD_FINDKEY);
    EXPECT_EQ(History(), (std::vector<int>{IDD_WELCOME}));
    EXPECT_EQ(WaitCursorDepth(), 0);
    EXPECT_EQ(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);
}

TEST_F(KeySelectionTest, TheListIsBuiltOnceButDiscoveryRunsOnEveryWelcomeNext)
{
    sandbox.AddDisk("IDE", 64 << 20, "System disk");
    sandbox.AddDisk("USBSTOR", 16 << 20, "First key");
    Start();
    driver->Next();
    ASSERT_EQ(driver->Entries(IDC_LETTER), (std::vector<std::string>{"D:"}));

    // A second key appears; going back and forward finds it but the list stays.
    Sandbox later;
    later.AddDisk("IDE", 64 << 20, "System disk");
    later.AddDisk("USBSTOR", 16 << 20, "First key");
    later.AddDisk("USBSTOR", 16 << 20, "Second key");
    later.Use();
    driver->Back();
    driver->Next();
    EXPECT_EQ(wizard->m_keyDrive.m_bIsKey['E' - 'A'], 1);
    EXPECT_EQ(driver->Entries(IDC_LETTER), (std::vector<std::string>{"D:"}));
}

}  // namespace

namespace {

// The window of a user who is not root: when the disk helper cannot start (no authentication
// agent, the password refused or cancelled, no pkexec), the page says so and what to do, and
// stays; nothing is opened or written.
TEST_F(KeySelectionTest, WhenTheHelperCannotStartThePageSaysWhatToDo)
{
    RecordMessageBoxes();
    sandbox.AddDisk("IDE", 16 << 20, "System disk");
    std::string key = sandbox.AddDisk("USBSTOR", 16 << 20, "Kivra");
    WriteBytes(key, 0, Pattern(1 << 20, 7));
    setenv("BOOTWRIGHT_MACHINE", sandbox.Path().c_str(), 1);
    const std::pair<const char*, const char*> cases[] = {
        {"exit 127", "no authentication agent answered"},
        {"exit 126", "the administrator password was refused or the request was cancelled"},
        {"", "pkexec is not installed"},
    };
    std::string advice = LoadResString(IDS_HELPER_NOT_STARTED);
    advice = advice.substr(0, advice.find("%s"));
    for (auto [pkexec, reason] : cases) {
        FakePkexec fake(sandbox.Path(), pkexec);
        Start();
        driver->Next();
        driver->Next();
        EXPECT_EQ(driver->CurrentPageId(), IDD_FINDKEY) << pkexec;
        ASSERT_EQ(Boxes().texts.size(), 1u) << pkexec;
        EXPECT_EQ(Boxes().texts[0].rfind(advice, 0), 0u) << Boxes().texts[0];
        EXPECT_NE(Boxes().texts[0].find(reason), std::string::npos) << Boxes().texts[0];
        EXPECT_EQ(wizard->m_keyDrive.m_hDisk, INVALID_HANDLE_VALUE);
        Boxes().Clear();
        TearDown();
    }
    unsetenv("BOOTWRIGHT_MACHINE");
    EXPECT_EQ(ReadBytes(key, 0, 1 << 20), Pattern(1 << 20, 7));
}

}  // namespace
