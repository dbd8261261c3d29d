// The sheet: its pages in order, their kinds, its caption and bitmaps, the page history.
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

// What a person meets: the ten pages in their order, the welcome and completion pages with
// the watermark and no header band, the others under the header band; the program's caption
// and its two bitmaps.
TEST_F(SheetTest, PagesStandInTheirOrderUnderTheProgramsCaptionAndBitmaps)
{
    std::vector<std::pair<int, bool>> pages;   // template, interior
    for (int i = 0; i < wizard->GetPageCount(); i++)
        pages.emplace_back(static_cast<CKVPropertyPage*>(wizard->GetPage(i))->m_nPageID,
                           wizard->SheetImpl()->IsInterior(i));
    const std::vector<std::pair<int, bool>> expected = {
        {IDD_WELCOME, false}, {IDD_FINDKEY, true},       {IDD_TASK, true},          {IDD_ROLE, true},
        {IDD_FILESYSTEM, true}, {IDD_GEOMETRY, true},     {IDD_CONFIGURATION, true}, {IDD_BACKUP, true},
        {IDD_IMAGEKEY, true},   {IDD_COMPLETE, false}};
    EXPECT_EQ(pages, expected);
    EXPECT_EQ(&wizard->m_geometryPage, wizard->GetPage(5));
    EXPECT_EQ(&wizard->m_configurationPage, wizard->GetPage(6));

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
