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

class StatusLinePageTest : public WizardFixture {
protected:
    void SetUp() override
    {
        sandbox.AddDisk("IDE", 16 << 20);
        Start();
    }
};

// The pacing rule, the same for every source: the 25th, 50th, ... report since the program
// started moves the status line of the source's own page, whichever page is shown. The
// formatter's other reports repaint but never count; a copy always goes on.
TEST_F(StatusLinePageTest, EveryTwentyFifthReportMovesTheLineOfItsSourcesPage)
{
    CStatusLine& formatLine = wizard->m_filesystemPage.m_staticStatus;
    CStatusLine& copyLine = wizard->m_configurationPage.m_staticStatus;
    for (int page : {4, 6}) {   // the windows of the filesystem and configuration pages
        ASSERT_TRUE(wizard->SetActivePage(page));
        driver->ProcessEvents();
    }
    formatLine.SetWindowText("Formatting");
    wizard->m_configurationPage.SetStatus("Copying initrd.img");
    RewindProgress(FormatProgressCounter());
    RewindProgress(CopyProgressCounter());
    LARGE_INTEGER zero{};
    for (int report = 1; report <= 50; report++) {
        EXPECT_TRUE(CKeyDrive::FormatCallback(STRUCTUREPROGRESS, 0, nullptr));
        EXPECT_TRUE(CKeyDrive::FormatCallback(PROGRESS, 0, nullptr));
        EXPECT_EQ(CopyProgress(zero, zero, zero, zero, 1, 0, nullptr, nullptr, nullptr), 0u);
        std::string dots(report / 25, '.');
        ASSERT_EQ(formatLine.GetWindowText(), "Formatting" + dots) << "report " << report;
        ASSERT_EQ(copyLine.GetWindowText(), "Copying initrd.img" + dots) << "report " << report;
    }
}

}  // namespace
