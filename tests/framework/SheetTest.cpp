// The Wizard-97 sheet: navigation results, page activation, posted button states,
// Finish and Cancel, keys, the window's look and its life.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include <QAbstractButton>

#include "tests/support/SheetDriver.h"
#include "tests/support/TempFolder.h"
#include "framework/WndImpl.h"
#include "tests/framework/TestSupport.h"

namespace {

class CTestPage : public CPropertyPageEx {
public:
    CTestPage(UINT id, bool exterior) : CPropertyPageEx(id)
    {
        if (exterior)
            m_psp.dwFlags |= PSP_HIDEHEADER;
    }
    BOOL OnInitDialog() override
    {
        ++m_inits;
        CPropertyPageEx::OnInitDialog();
        return TRUE;
    }
    BOOL OnSetActive() override
    {
        ++m_activations;
        if (m_buttonsOnActivate)
            GetSheet()->SetWizardButtons(m_buttonsOnActivate);
        m_buttonsSeenOnActivate = GetSheet()->GetWizardButtonsState();
        return m_acceptActivation;
    }
    BOOL OnKillActive() override
    {
        ++m_deactivations;
        return TRUE;
    }
    LRESULT OnWizardNext() override
    {
        if (m_duringNext)
            m_duringNext();
        if (m_buttonsOnNext)
            GetSheet()->SetWizardButtons(m_buttonsOnNext);
        return m_nextResult;
    }
    LRESULT OnWizardBack() override { return m_backResult; }
    BOOL OnQueryCancel() override { return m_allowCancel; }
    BOOL OnWizardFinish() override { return m_allowFinish; }

    int m_inits = 0, m_activations = 0, m_deactivations = 0;
    LRESULT m_nextResult = 0, m_backResult = 0;
    DWORD m_buttonsOnActivate = 0, m_buttonsOnNext = 0, m_buttonsSeenOnActivate = 0;
    BOOL m_acceptActivation = TRUE, m_allowCancel = TRUE, m_allowFinish = TRUE;
    std::function<void()> m_duringNext;
};

class CTestSheet : public CPropertySheetEx {
public:
    CTestSheet() : CPropertySheetEx(0)
    {
        for (CTestPage* p : {&m_welcome, &m_first, &m_second, &m_third, &m_done})
            AddPage(p);
        SetWizardMode();
        m_psh.dwFlags |= PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK;
        m_psh.pszbmHeader = MAKEINTRESOURCE(IDB_T_HEADER);
        m_psh.pszbmWatermark = MAKEINTRESOURCE(IDB_T_WATERMARK);
        m_welcome.m_buttonsOnActivate = PSWIZB_NEXT;
        m_done.m_buttonsOnActivate = PSWIZB_BACK | PSWIZB_FINISH;
    }
    CTestPage m_welcome{IDD_T_WELCOME, true};
    CTestPage m_first{IDD_T_FIRST, false};
    CTestPage m_second{IDD_T_SECOND, false};
    CTestPage m_third{IDD_T_THIRD, false};
    CTestPage m_done{IDD_T_DONE, true};
    int m_destroyed = 0;

protected:
    void OnDestroy() override { ++m_destroyed; }
};

class Sheet : public ::testing::Test {
protected:
    UseTestResources resources;
    CTestSheet sheet;
};

}  // namespace

TEST_F(Sheet, StartsOnTheFirstPageWithItsCaptionAndButtons)
{
    CSheetDriver driver(sheet);
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_WELCOME);
    EXPECT_EQ(driver.WindowTitle(), "Test Wizard");
    EXPECT_EQ(driver.Buttons(), PSWIZB_NEXT);
    EXPECT_FALSE(driver.Back());   // not offered
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_WELCOME);
}

TEST_F(Sheet, NextAndBackResultsZeroMinusOneAndIdentifier)
{
    CSheetDriver driver(sheet);
    sheet.m_welcome.m_buttonsOnNext = PSWIZB_BACK | PSWIZB_NEXT;
    ASSERT_TRUE(driver.Next());   // 0: the next page in order
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_FIRST);
    EXPECT_EQ(driver.WindowTitle(), "First");
    EXPECT_EQ(sheet.m_welcome.m_deactivations, 1);

    sheet.m_first.m_nextResult = -1;   // stay
    driver.Next();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_FIRST);
    EXPECT_EQ(sheet.m_first.m_deactivations, 0);

    sheet.m_first.m_nextResult = IDD_T_THIRD;   // a page by its template number
    driver.Next();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_THIRD);
    EXPECT_FALSE(sheet.m_second.IsCreated());   // skipped pages get no window

    sheet.m_third.m_backResult = IDD_T_FIRST;
    driver.Back();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_FIRST);
    sheet.m_first.m_backResult = -1;
    driver.Back();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_FIRST);
    sheet.m_first.m_backResult = 0;   // the previous page in order
    driver.Back();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_WELCOME);
    EXPECT_EQ(driver.WindowTitle(), "Test Wizard");
}

TEST_F(Sheet, PageWindowsAreMadeOnceAndKept)
{
    CSheetDriver driver(sheet);
    sheet.m_welcome.m_buttonsOnNext = PSWIZB_BACK | PSWIZB_NEXT;
    driver.Next();
    driver.Click(IDC_T_RADIO_B);
    driver.TypeChars(IDC_T_NAME, "kept");
    driver.Back();
    driver.Next();
    EXPECT_EQ(sheet.m_first.m_inits, 1);
    EXPECT_EQ(sheet.m_first.m_activations, 2);
    EXPECT_EQ(sheet.m_welcome.m_inits, 1);
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_B));
    EXPECT_EQ(driver.Text(IDC_T_NAME), "kept");
}

TEST_F(Sheet, ADecliningPageIsPassedInTheSameDirection)
{
    CSheetDriver driver(sheet);
    sheet.m_welcome.m_buttonsOnNext = PSWIZB_BACK | PSWIZB_NEXT;
    sheet.m_first.m_acceptActivation = FALSE;
    driver.Next();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_SECOND);
    EXPECT_EQ(sheet.m_first.m_inits, 1);   // asked, so created
    driver.Back();   // 0 from the second page: back past the first to the welcome page
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_WELCOME);
}

TEST_F(Sheet, WizardButtonsTakeEffectAfterThePageChange)
{
    CSheetDriver driver(sheet);
    sheet.m_welcome.m_buttonsOnNext = PSWIZB_BACK | PSWIZB_NEXT;
    driver.Next();
    // During the first page's activation the welcome page's state was still shown.
    EXPECT_EQ(sheet.m_first.m_buttonsSeenOnActivate, PSWIZB_NEXT);
    EXPECT_EQ(driver.Buttons(), PSWIZB_BACK | PSWIZB_NEXT);

    sheet.m_first.m_nextResult = IDD_T_DONE;
    driver.Next();
    EXPECT_EQ(sheet.m_done.m_buttonsSeenOnActivate, PSWIZB_BACK | PSWIZB_NEXT);
    EXPECT_EQ(driver.Buttons(), PSWIZB_BACK | PSWIZB_FINISH);   // Finish in place of Next
    EXPECT_FALSE(driver.Next());

    sheet.SetWizardButtons(PSWIZB_BACK | PSWIZB_DISABLEDFINISH);
    EXPECT_EQ(driver.Buttons(), PSWIZB_BACK | PSWIZB_FINISH);   // posted: not yet
    driver.ProcessEvents();
    EXPECT_EQ(driver.Buttons(), PSWIZB_BACK);
    EXPECT_FALSE(driver.Finish());
}

TEST_F(Sheet, FinishEndsWithItsResultUnlessThePageRefuses)
{
    CSheetDriver driver(sheet);
    sheet.m_welcome.m_nextResult = IDD_T_DONE;
    driver.Next();
    sheet.m_done.m_allowFinish = FALSE;
    EXPECT_TRUE(driver.Finish());
    EXPECT_FALSE(driver.IsClosed());
    sheet.m_done.m_allowFinish = TRUE;
    driver.Finish();
    EXPECT_TRUE(driver.IsClosed());
    EXPECT_EQ(driver.Result(), ID_WIZFINISH);
    EXPECT_EQ(sheet.m_destroyed, 1);
    EXPECT_FALSE(sheet.m_done.IsCreated());   // the window went, the objects stay
}

TEST_F(Sheet, CancelEscapeAndCloseBoxAskThePage)
{
    {
        CSheetDriver driver(sheet);
        sheet.m_welcome.m_allowCancel = FALSE;
        driver.Cancel();
        driver.PressEscape();
        EXPECT_FALSE(driver.IsClosed());
        sheet.m_welcome.m_allowCancel = TRUE;
        driver.PressEscape();
        EXPECT_TRUE(driver.IsClosed());
        EXPECT_EQ(driver.Result(), IDCANCEL);
    }
    CTestSheet second;
    CSheetDriver driver(second);
    driver.Cancel();
    EXPECT_TRUE(driver.IsClosed());
    EXPECT_EQ(driver.Result(), IDCANCEL);
}

// While a page's handler works, a press of Cancel is kept for the work to take, and other
// clicks are dropped, also one still waiting when the handler returns.
TEST_F(Sheet, WhileAHandlerWorksOnlyCancelIsTakenIn)
{
    CSheetDriver driver(sheet);
    BOOL heard = FALSE;
    sheet.m_welcome.m_duringNext = [&] {
        driver.QueueClick(IDCANCEL_BUTTON);
        sheet.PumpWaitingInput();
        heard = sheet.TakeCancelPress();
        driver.QueueClick(ID_WIZNEXT);
    };
    driver.Next();
    EXPECT_TRUE(heard);
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_FIRST) << "the second Next was dropped";
    EXPECT_FALSE(driver.IsClosed()) << "the Cancel was taken";
}

TEST_F(Sheet, EnterPressesNextThenFinish)
{
    CSheetDriver driver(sheet);
    sheet.m_welcome.m_buttonsOnNext = PSWIZB_BACK | PSWIZB_NEXT;
    driver.PressEnter();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_FIRST);
    // Enter in an edit field goes to the default button as well.
    sheet.m_first.m_nextResult = IDD_T_DONE;
    driver.TypeChars(IDC_T_NAME, "x");
    driver.PressEnter();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_DONE);
    driver.PressEnter();
    EXPECT_TRUE(driver.IsClosed());
    EXPECT_EQ(driver.Result(), ID_WIZFINISH);
}

TEST_F(Sheet, NextMnemonicOfTheSheet)
{
    CSheetDriver driver(sheet);
    ASSERT_TRUE(PressMnemonic(sheet.GetActivePage()->Impl()->widget->window(), Qt::Key_N));
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_FIRST);
}

TEST_F(Sheet, InitDialogRunsOncePerRunAndAgainInANewRun)
{
    {
        CSheetDriver driver(sheet);
        driver.Cancel();
    }
    EXPECT_EQ(sheet.m_welcome.m_inits, 1);
    CSheetDriver again(sheet);
    EXPECT_FALSE(again.IsClosed());
    EXPECT_EQ(sheet.m_welcome.m_inits, 2);
}

TEST_F(Sheet, DoModalRunsUntilEndDialog)
{
    QTimer::singleShot(0, [&] {
        sheet.SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
        sheet.EndDialog(ID_WIZFINISH);
    });
    EXPECT_EQ(sheet.DoModal(), ID_WIZFINISH);
    EXPECT_EQ(sheet.m_destroyed, 1);
    EXPECT_EQ(sheet.GetSafeHwnd(), nullptr);
}

TEST_F(Sheet, HeaderBandForInteriorPagesWatermarkForExteriorOnes)
{
    QElapsedTimer timer;
    timer.start();
    CSheetDriver driver(sheet);
    TempFolder pictures;
    const std::string welcomePng = pictures / "sheet-welcome.png";
    ASSERT_TRUE(driver.SaveScreenshot(welcomePng));
    const qint64 firstPaintMs = timer.elapsed();
    RecordProperty("first_page_ms", static_cast<int>(firstPaintMs));
    std::printf("time to first painted page: %lld ms\n", static_cast<long long>(firstPaintMs));

    QImage welcome(QString::fromStdString(welcomePng));
    EXPECT_EQ(welcome.pixel(5, 5), qRgb(0, 255, 0));   // the watermark, top left
    EXPECT_EQ(welcome.pixel(welcome.width() - 5, 5), qRgb(255, 255, 255));

    sheet.m_welcome.m_buttonsOnNext = PSWIZB_BACK | PSWIZB_NEXT;
    driver.Next();
    const std::string firstPng = pictures / "sheet-first.png";
    ASSERT_TRUE(driver.SaveScreenshot(firstPng));
    QImage first(QString::fromStdString(firstPng));
    EXPECT_EQ(first.size(), welcome.size());   // one size for every page
    EXPECT_EQ(first.pixel(5, 5), qRgb(255, 255, 255));   // the white header band
    // The header bitmap sits at the right of the band, red over blue.
    const int x = first.width() - 30;
    bool red = false, blue = false;
    for (int y = 0; y < 58; ++y) {
        red = red || first.pixel(x, y) == qRgb(255, 0, 0);
        blue = blue || first.pixel(x, y) == qRgb(0, 0, 255);
    }
    EXPECT_TRUE(red);
    EXPECT_TRUE(blue);
    EXPECT_LT(firstPaintMs, 2000);
}

TEST_F(Sheet, JapaneseButtonTexts)
{
    UseTestResources japanese(1041);
    CTestSheet japaneseSheet;
    CSheetDriver driver(japaneseSheet);
    QWidget* window = japaneseSheet.GetActivePage()->Impl()->widget->window();
    QStringList texts;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
        texts << b->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("< 戻る(&B)")));
    EXPECT_TRUE(texts.contains(QStringLiteral("次へ(&N) >")));
    EXPECT_TRUE(texts.contains(QStringLiteral("完了")));
    EXPECT_TRUE(texts.contains(QStringLiteral("キャンセル")));
}
