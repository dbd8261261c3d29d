// Application-wide services: the main window, the wait cursor, message boxes and file
// dialogs answered through the test hooks.
#include <QApplication>
#include <QCursor>
#include <gtest/gtest.h>

#include "framework/Afx.h"
#include "framework/TestSeam.h"

namespace {

std::string g_filter, g_initialDir, g_answer, g_messageText, g_messageCaption;
BOOL g_open = FALSE;
UINT g_messageType = 0;

INT_PTR AnswerFileDialog(BOOL open, const std::string& filter, const std::string& initialDir, std::string& path)
{
    g_open = open;
    g_filter = filter;
    g_initialDir = initialDir;
    if (g_answer.empty())
        return IDCANCEL;
    path = g_answer;
    return IDOK;
}

int AnswerMessageBox(const char* text, const char* caption, UINT type)
{
    g_messageText = text;
    g_messageCaption = caption;
    g_messageType = type;
    return IDYES;
}

class Hooks : public ::testing::Test {
protected:
    void SetUp() override { SetFrameworkTestHooks({&AnswerFileDialog, &AnswerMessageBox}); }
    void TearDown() override { SetFrameworkTestHooks({}); }
};

}  // namespace

// The progress of a long operation reaches the sheet as the main window: once the
// application is gone, there is none to reach.
TEST(ApplicationServices, TheMainWindowGoesWithTheApplication)
{
    CWnd window;
    {
        CWinApp app("tool");
        app.m_pMainWnd = &window;
        EXPECT_EQ(AfxGetMainWnd(), &window);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

TEST(ApplicationServices, WaitCursorsNest)
{
    EXPECT_EQ(WaitCursorDepth(), 0);
    {
        CWaitCursor outer;
        {
            CWaitCursor inner;
            EXPECT_EQ(WaitCursorDepth(), 2);
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        EXPECT_EQ(WaitCursorDepth(), 1);
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(WaitCursorDepth(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EndWaitCursor();   // one too many: ignored
    EXPECT_EQ(WaitCursorDepth(), 0);
}

TEST_F(Hooks, FileDialogAddsTheDefaultExtensionAndPassesItsSettings)
{
    CFileDialog save(FALSE, ".img", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "Image Files (*.img)|*.img||");
    save.m_ofn.lpstrInitialDir = "images";
    g_answer = "/tmp/backup";
    EXPECT_EQ(save.DoModal(), IDOK);
    EXPECT_EQ(save.GetPathName(), "/tmp/backup.img");
    EXPECT_FALSE(g_open);
    EXPECT_EQ(g_filter, "Image Files (*.img)|*.img||");
    EXPECT_EQ(g_initialDir, "images");

    CFileDialog open(TRUE, ".img");
    g_answer.clear();
    EXPECT_EQ(open.DoModal(), IDCANCEL);
    EXPECT_TRUE(g_open);
    EXPECT_EQ(open.GetPathName(), "");
}

TEST_F(Hooks, MessageBoxIsTitledWithTheApplicationName)
{
    CWinApp app("bootwright");
    EXPECT_EQ(AfxMessageBox("Disk full", MB_YESNO | MB_ICONEXCLAMATION), IDYES);
    EXPECT_EQ(g_messageText, "Disk full");
    EXPECT_EQ(g_messageCaption, "bootwright");
    EXPECT_EQ(g_messageType, MB_YESNO | MB_ICONEXCLAMATION);
}
