// The status line: the row of dots, the percentage, and the pacing of progress reports.
#include "WizardFixture.h"

#include "keydrive/KeyProgress.h"
#include "keydrive/ProgressCounters.h"
#include "pages/StatusLine.h"

namespace {

TEST(StatusTextTest, DotsGrowToThirtySixBytesThenEveryFullStopGoes)
{
    std::string text = "Formatting";
    for (int i = 0; i < 25; i++)
        text = AdvancedStatusText(text);
    EXPECT_EQ(text, "Formatting" + std::string(25, '.'));   // 35 bytes
    text = AdvancedStatusText(text);
    EXPECT_EQ(text.size(), 36u);
    EXPECT_EQ(AdvancedStatusText(text), "Formatting");

    // The full stop of a file name goes with the dots.
    std::string copying = "Copying initrd.img" + std::string(18, '.');
    EXPECT_EQ(AdvancedStatusText(copying), "Copying initrdimg");
    EXPECT_EQ(AdvancedStatusText("Copying initrdimg"), "Copying initrdimg.");

    // A long text without a full stop never changes.
    std::string plain(40, 'x');
    EXPECT_EQ(AdvancedStatusText(plain), plain);
}

TEST(StatusTextTest, PercentReplacesTheLastThreeBytes)
{
    std::string text = PercentStatusText("Backing up Key    ", 7);
    EXPECT_EQ(text, "Backing up Key 07%");
    EXPECT_EQ(PercentStatusText(text, 42), "Backing up Key 42%");
    EXPECT_EQ(PercentStatusText("ab", 5), "05%");
    // Japanese text counts bytes: the four trailing spaces make one space and the digits.
    EXPECT_EQ(PercentStatusText("キーのバックアップ中    ", 99), "キーのバックアップ中 99%");
}

TEST(ProgressCounterTest, TheTwentyFifthReportMovesTheLine)
{
    CProgressCounter counter;
    for (int i = 1; i <= 24; i++)
        EXPECT_FALSE(counter.Tick()) << "report " << i;
    EXPECT_TRUE(counter.Tick());
    for (int i = 26; i <= 49; i++)
        EXPECT_FALSE(counter.Tick()) << "report " << i;
    EXPECT_TRUE(counter.Tick());
}

class StatusLinePageTest : public WizardFixture {
protected:
    void SetUp() override
    {
        sandbox.AddDisk("IDE", 16 << 20);
        sandbox.AddDisk("USBSTOR", 16 << 20);
        Start();
    }
};

TEST_F(StatusLinePageTest, FormatReportsAdvanceTheFilesystemPageEveryTwentyFifthTime)
{
    CFilesystem& page = wizard->m_filesystemPage;
    // The page must exist as a window: go there the way a person does.
    driver->Next();
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_TASK);
    driver->Next();
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_FILESYSTEM);

    page.m_staticStatus.SetWindowText("Formatting");
    RewindProgress(FormatProgressCounter());
    for (int i = 0; i < 24; i++)
        CKeyDrive::FormatCallback(PROGRESS, 0, nullptr);
    EXPECT_EQ(driver->Text(IDC_FILESYSTEM_STATUS), "Formatting");
    CKeyDrive::FormatCallback(PROGRESS, 0, nullptr);
    EXPECT_EQ(driver->Text(IDC_FILESYSTEM_STATUS), "Formatting.");
    // Other commands repaint but never count.
    for (int i = 0; i < 30; i++)
        CKeyDrive::FormatCallback(STRUCTUREPROGRESS, 0, nullptr);
    EXPECT_EQ(driver->Text(IDC_FILESYSTEM_STATUS), "Formatting.");
}

}  // namespace

namespace {

TEST_F(StatusLinePageTest, CopyReportsAdvanceTheConfigurationPageAndAlwaysContinue)
{
    driver->Next();
    driver->Next();
    driver->Click(IDC_ADD_CONFIGURATION);
    driver->Next();
    ASSERT_EQ(driver->CurrentPageId(), IDD_CONFIGURATION);

    wizard->m_configurationPage.SetStatus("Copying initrd.img");
    RewindProgress(CopyProgressCounter());
    LARGE_INTEGER zero{};
    for (int i = 0; i < 24; i++)
        EXPECT_EQ(CopyProgress(zero, zero, zero, zero, 1, 0, nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(driver->Text(IDC_CONFIG_STATUS), "Copying initrd.img");
    CopyProgress(zero, zero, zero, zero, 1, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(driver->Text(IDC_CONFIG_STATUS), "Copying initrd.img.");
}

}  // namespace
