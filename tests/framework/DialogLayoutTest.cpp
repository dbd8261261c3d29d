// Dialog units to pixels with the base units of the font actually used, and the tab
// order of a dialog built from its template.
#include <QFontInfo>
#include <QLabel>
#include <QFontMetrics>
#include <QWidget>
#include <gtest/gtest.h>

#include "framework/DialogBuilder.h"
#include "framework/DialogControls.h"
#include "framework/ModuleResources.h"
#include "tests/support/SheetDriver.h"
#include "tests/framework/TestSupport.h"

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero)
{
    EXPECT_EQ(MulDivRound(10, 6, 4), 15);
    EXPECT_EQ(MulDivRound(5, 13, 8), 8);    // 8.125
    EXPECT_EQ(MulDivRound(3, 6, 4), 5);     // 4.5 -> 5
    EXPECT_EQ(MulDivRound(-3, 6, 4), -5);
    EXPECT_EQ(MulDivRound(1, 1, 0), -1);
}

TEST(DialogUnits, BaseUnitsComeFromTheFontUsed)
{
    DialogFont f = MakeDialogFont("MS Sans Serif", 8);
    EXPECT_EQ(f.font.pixelSize(), 12);
    QFontMetrics fm(f.font);
    const int average = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(f.baseX, (average / 26 + 1) / 2);
    EXPECT_EQ(f.baseY, fm.ascent() + fm.descent());
    EXPECT_GE(f.baseX, 5);
    EXPECT_LE(f.baseX, 8);
    // Edges convert independently, so neighbours stay neighbours.
    const QRect a = f.Rect(21, 14, 159, 10), b = f.Rect(21, 24, 159, 10);
    EXPECT_EQ(a.bottom() + 1, b.top());
    EXPECT_EQ(a.left(), MulDivRound(21, f.baseX, 4));
    EXPECT_EQ(a.width(), MulDivRound(180, f.baseX, 4) - MulDivRound(21, f.baseX, 4));

    DialogFont ja = MakeDialogFont("ＭＳ ゴシック", 9);
    EXPECT_EQ(ja.font.pixelSize(), 12);
    EXPECT_TRUE(QFontInfo(ja.font).family().contains("CJK")) << QFontInfo(ja.font).family().toStdString();
}

TEST(DialogLayout, ControlsSitAtTheirConvertedPositions)
{
    UseTestResources resources;
    auto t = LoadDialogTemplate(IDD_T_CONTROLS);
    ASSERT_TRUE(t);
    QWidget host;
    BuiltDialog built = BuildDialog(*t, &host);
    EXPECT_EQ(built.widget->size(), QSize(built.font.X(317), built.font.Y(160)));
    CWndImpl* radio = built.impl->FindControl(IDC_T_RADIO_B);
    EXPECT_EQ(radio->widget->geometry(), built.font.Rect(10, 24, 40, 10));
    CWndImpl* combo = built.impl->FindControl(IDC_T_SORTED);
    EXPECT_EQ(combo->widget->pos(), QPoint(built.font.X(200), built.font.Y(10)));
    EXPECT_LT(combo->widget->height(), built.font.Y(50));   // the list is not part of it
    EXPECT_FALSE(built.impl->FindControl(IDC_T_DISABLED)->widget->isEnabled());
}

TEST(DialogLayout, TabVisitsTabStopsInTemplateOrderOneStopPerRadioGroup)
{
    UseTestResources resources;
    CControlsSheet sheet;
    CSheetDriver driver(sheet);
    CWndImpl* page = sheet.m_page.Impl();
    auto next = [&](int fromId) {
        CWndImpl* to = DialogManager::NextTabStop(page, page->FindControl(fromId), true);
        return to ? to->id : 0;
    };
    EXPECT_EQ(next(IDC_T_RADIO_A), IDC_T_CHECK);   // B and C are in A's group
    EXPECT_EQ(next(IDC_T_CHECK), IDC_T_RADIO_D);
    EXPECT_EQ(next(IDC_T_RADIO_E), IDC_T_EDIT);
    EXPECT_EQ(next(IDC_T_FILTERED), IDC_T_SORTED);
    driver.Click(IDC_T_RADIO_C);
    // Coming back into the group lands on its checked button.
    CWndImpl* back = DialogManager::NextTabStop(page, page->FindControl(IDC_T_CHECK), false);
    EXPECT_EQ(back->id, IDC_T_RADIO_C);
}

TEST(DialogLayout, StaticTextsShowMnemonicsUnlessNoPrefix)
{
    UseTestResources resources;
    CControlsSheet sheet;
    CSheetDriver driver(sheet);
    auto label = [&](int id) { return static_cast<QLabel*>(sheet.m_page.GetDlgItem(id)->Impl()->widget); };
    // With a control after it, the mnemonic is Qt's and gives that control the focus.
    EXPECT_EQ(label(IDC_T_LABEL)->text().toStdString(), "L&abel && more");
    EXPECT_EQ(label(IDC_T_LABEL)->buddy(), sheet.m_page.GetDlgItem(IDC_T_DISABLED)->Impl()->widget);
    EXPECT_EQ(label(IDC_T_NOPREFIX)->text().toStdString(), "a&b");
    EXPECT_EQ(label(IDC_T_NOPREFIX)->buddy(), nullptr);
    // The last label has no control after it: its markup is resolved for display.
    sheet.m_page.GetDlgItem(IDC_T_NOPREFIX)->Impl()->style &= ~0x80u;
    sheet.m_page.GetDlgItem(IDC_T_NOPREFIX)->SetWindowText("x&&y &z");
    EXPECT_EQ(label(IDC_T_NOPREFIX)->text().toStdString(), "x&y z");
    EXPECT_EQ(sheet.m_page.GetDlgItem(IDC_T_NOPREFIX)->GetWindowText(), "x&&y &z");
}
