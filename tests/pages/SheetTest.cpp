// The sheet: its pages' kinds, its caption and bitmaps, the page history.
#include "WizardFixture.h"
#include "framework/SheetWindow.h"

namespace {

class SheetTest : public WizardFixture {
protected:
    void SetUp() override
    {
        sandbox.AddDisk("IDE", 16 << 20);
        Start();
    }
};

// What a person meets: the welcome and completion pages with the watermark and no header
// band, every other page under the header band, whatever their order; the program's
// caption and its two bitmaps.
TEST_F(SheetTest, OuterPagesCarryTheWatermarkInnerPagesTheHeaderUnderTheProgramsCaption)
{
    ASSERT_EQ(wizard->GetPageCount(), 10);
    for (int i = 0; i < wizard->GetPageCount(); i++) {
        int id = static_cast<CKVPropertyPage*>(wizard->GetPage(i))->m_nPageID;
        EXPECT_EQ(wizard->SheetImpl()->IsInterior(i), id != IDD_WELCOME && id != IDD_COMPLETE) << id;
    }
    EXPECT_EQ(driver->WindowTitle(), "Bootwright");
    const SheetWindow* window = wizard->SheetImpl()->m_window;
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->header.isNull()) << "IDB_HEADER";
    EXPECT_GT(window->watermark.height(), window->header.height()) << "IDB_WATERMARK, the tall one";
}

TEST_F(SheetTest, HistoryPopsInReverseAndAnEmptyPopStays)
{
    EXPECT_EQ(wizard->PopPage(), -1);
    wizard->PushPage(106);
    wizard->PushPage(109);
    EXPECT_EQ(wizard->PopPage(), 109);
    EXPECT_EQ(wizard->PopPage(), 106);
    EXPECT_EQ(wizard->PopPage(), -1);
}

}  // namespace
