// The sheet: its pages in order, its flags, its resources.
#include "WizardFixture.h"

namespace {

class SheetTest : public WizardFixture {
protected:
    void SetUp() override
    {
        sandbox.AddDisk("IDE", 16 << 20);
        Start();
    }
};

TEST_F(SheetTest, PagesStandInTheirOrderWithTheirKinds)
{
    const int order[] = {106, 109, 110, 111, 112, 113, 114, 115, 116, 108};
    ASSERT_EQ(wizard->GetPageCount(), 10);
    for (int i = 0; i < 10; i++) {
        auto* page = static_cast<CKVPropertyPage*>(wizard->GetPage(i));
        EXPECT_EQ(page->m_nPageID, order[i]);
        EXPECT_EQ(page->m_psp.dwFlags & PSP_HASHELP, 0u);
        bool exterior = order[i] == 106 || order[i] == 108;
        EXPECT_EQ((page->m_psp.dwFlags & PSP_HIDEHEADER) != 0, exterior) << order[i];
        EXPECT_EQ((page->m_psp.dwFlags & (PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE)) != 0, !exterior) << order[i];
    }
    EXPECT_EQ(&wizard->m_configurationPage, wizard->GetPage(6));
    EXPECT_EQ(&wizard->m_geometryPage, wizard->GetPage(5));
}

TEST_F(SheetTest, WizardNinetySevenWithHeaderAndWatermark)
{
    DWORD flags = wizard->m_psh.dwFlags;
    EXPECT_EQ(flags & PSH_HASHELP, 0u);
    EXPECT_EQ(flags & (PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK), PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK);
    EXPECT_EQ(wizard->m_psh.pszbmHeader, MAKEINTRESOURCE(IDB_HEADER));
    EXPECT_EQ(wizard->m_psh.pszbmWatermark, MAKEINTRESOURCE(IDB_WATERMARK));
    EXPECT_EQ(driver->WindowTitle(), "Bootwright");
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
