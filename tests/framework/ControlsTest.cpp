// Controls of a page as the program and a person use them: radio groups by WS_GROUP,
// exactly one click notification per press, none from the program's own changes, the
// character message, combo boxes and text bounds.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include "tests/support/SheetDriver.h"
#include "framework/WndImpl.h"
#include "tests/framework/TestSupport.h"

namespace {

class Controls : public ::testing::Test {
protected:
    UseTestResources resources;
    CControlsSheet sheet;
    CSheetDriver driver{sheet};
    CControlsPage& page = sheet.m_page;

    int Clicks(int id) { return page.m_clicks[id]; }
    int TotalClicks()
    {
        int n = 0;
        for (auto& [id, count] : page.m_clicks)
            n += count;
        return n;
    }
    QWidget* Widget(int id) { return page.GetDlgItem(id)->Impl()->widget; }
};

}  // namespace

TEST_F(Controls, RadioButtonsAreExclusiveWithinTheirDialogGroupOnly)
{
    driver.Click(IDC_T_RADIO_A);
    driver.Click(IDC_T_RADIO_D);   // another group: A stays checked
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_D));
    driver.Click(IDC_T_RADIO_E);   // D and E are split by the label with WS_GROUP
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_D));
    driver.Click(IDC_T_RADIO_C);
    EXPECT_FALSE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_FALSE(driver.IsChecked(IDC_T_RADIO_B));
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_C));
    // The check box in the same group is not a radio button: untouched.
    driver.Click(IDC_T_CHECK);
    driver.Click(IDC_T_RADIO_B);
    EXPECT_TRUE(driver.IsChecked(IDC_T_CHECK));
    EXPECT_FALSE(driver.IsChecked(IDC_T_RADIO_C));
}

TEST_F(Controls, MouseClickNotifiesOnceAlsoOnACheckedRadio)
{
    driver.Click(IDC_T_RADIO_A);
    EXPECT_EQ(Clicks(IDC_T_RADIO_A), 1);
    driver.Click(IDC_T_RADIO_A);   // stays checked and still notifies, as on Windows
    EXPECT_EQ(Clicks(IDC_T_RADIO_A), 2);
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_A));
    driver.Click(IDC_T_CHECK);
    driver.Click(IDC_T_CHECK);
    EXPECT_EQ(Clicks(IDC_T_CHECK), 2);
    EXPECT_FALSE(driver.IsChecked(IDC_T_CHECK));
    driver.Click(IDC_T_PUSH);
    EXPECT_EQ(Clicks(IDC_T_PUSH), 1);
    EXPECT_FALSE(driver.Click(IDC_T_DISABLED));
    EXPECT_EQ(TotalClicks(), 5);
}

TEST_F(Controls, SpaceAndArrowKeysPressLikeWindows)
{
    driver.KeyOn(IDC_T_CHECK, Qt::Key_Space);
    EXPECT_TRUE(driver.IsChecked(IDC_T_CHECK));
    EXPECT_EQ(Clicks(IDC_T_CHECK), 1);

    driver.Click(IDC_T_RADIO_A);
    driver.KeyOn(IDC_T_RADIO_A, Qt::Key_Down);   // moves the check to B and notifies B
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_B));
    EXPECT_FALSE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_TRUE(driver.HasFocus(IDC_T_RADIO_B));
    EXPECT_EQ(Clicks(IDC_T_RADIO_B), 1);
    driver.KeyOn(IDC_T_RADIO_B, Qt::Key_Up);
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_EQ(Clicks(IDC_T_RADIO_A), 2);
    // Up from the first wraps round the group to its last control, the check box,
    // which takes the focus without being toggled.
    driver.KeyOn(IDC_T_RADIO_A, Qt::Key_Up);
    EXPECT_TRUE(driver.HasFocus(IDC_T_CHECK));
    EXPECT_TRUE(driver.IsChecked(IDC_T_CHECK));
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_EQ(TotalClicks(), 4);   // Space, the click on A, the two arrow moves
}

TEST_F(Controls, MnemonicPressesTheButtonOnce)
{
    ASSERT_TRUE(PressMnemonic(Widget(IDC_T_PUSH)->window(), Qt::Key_P));
    EXPECT_EQ(Clicks(IDC_T_PUSH), 1);
}

TEST_F(Controls, AccessibilityToggleNotifiesOnceAndKeepsTheGroupRule)
{
    driver.Click(IDC_T_RADIO_A);
    page.m_clicks.clear();
    QAccessibleInterface* b = QAccessible::queryAccessibleInterface(Widget(IDC_T_RADIO_B));
    ASSERT_NE(b, nullptr);
    ASSERT_NE(b->actionInterface(), nullptr);
    b->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    driver.ProcessEvents();
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_B));
    EXPECT_FALSE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_EQ(Clicks(IDC_T_RADIO_B), 1);
    // Toggling a checked radio does what a click does: it stays checked and notifies.
    b->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    driver.ProcessEvents();
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_B));
    EXPECT_EQ(Clicks(IDC_T_RADIO_B), 2);
    QAccessibleInterface* check = QAccessible::queryAccessibleInterface(Widget(IDC_T_CHECK));
    check->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    driver.ProcessEvents();
    EXPECT_TRUE(driver.IsChecked(IDC_T_CHECK));
    EXPECT_EQ(Clicks(IDC_T_CHECK), 1);
    EXPECT_EQ(TotalClicks(), 3);
}

TEST_F(Controls, TheProgramsOwnCheckChangesNeverNotify)
{
    page.m_radioA.SetCheck(BST_CHECKED);
    EXPECT_EQ(page.m_radioA.GetCheck(), BST_CHECKED);
    page.CheckDlgButton(IDC_T_RADIO_B, BST_CHECKED);
    // SetCheck is no click: Windows leaves the other radio buttons alone too.
    EXPECT_TRUE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_EQ(page.IsDlgButtonChecked(IDC_T_RADIO_B), BST_CHECKED);
    static_cast<CButton*>(page.GetDlgItem(IDC_T_CHECK))->SetCheck(BST_CHECKED);
    page.m_radioA.SetCheck(BST_UNCHECKED);
    EXPECT_EQ(page.m_radioA.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(TotalClicks(), 0);
}

TEST_F(Controls, TypedCharactersGoThroughOnCharPastedTextDoesNot)
{
    driver.TypeChars(IDC_T_FILTERED, "a b.c");
    EXPECT_EQ(driver.Text(IDC_T_FILTERED), "abc");
    EXPECT_EQ(page.m_filtered.m_seen, (std::vector<UINT>{'a', ' ', 'b', '.', 'c'}));
    driver.TypeChars(IDC_T_FILTERED, "\b");   // backspace reaches OnChar and is processed
    EXPECT_EQ(page.m_filtered.m_seen.back(), 0x08u);
    EXPECT_EQ(driver.Text(IDC_T_FILTERED), "ab");
    page.m_filtered.SendChar(U'日');
    page.m_filtered.SendChar(' ');
    EXPECT_EQ(driver.Text(IDC_T_FILTERED), "ab日");
    driver.SetText(IDC_T_FILTERED, "x y.z");   // pasted: not filtered
    EXPECT_EQ(driver.Text(IDC_T_FILTERED), "x y.z");
    // An edit whose class maps no character message takes every character.
    driver.TypeChars(IDC_T_EDIT, "a b");
    EXPECT_EQ(driver.Text(IDC_T_EDIT), "a b");
}

TEST_F(Controls, LimitTextCountsCharactersAsTyped)
{
    page.m_filtered.LimitText(3);
    driver.TypeChars(IDC_T_FILTERED, "日本語です");
    EXPECT_EQ(driver.Text(IDC_T_FILTERED), "日本語");
}

TEST_F(Controls, GetWindowTextIsBoundedInBytes)
{
    page.m_filtered.SetWindowText("日本x");
    char buffer[8] = "#######";
    EXPECT_EQ(page.m_filtered.GetWindowText(buffer, 8), 7);
    EXPECT_STREQ(buffer, "日本x");
    EXPECT_EQ(page.m_filtered.GetWindowText(buffer, 5), 3);
    EXPECT_STREQ(buffer, "日");
    EXPECT_EQ(page.m_filtered.GetWindowTextLength(), 7);
    // Statics keep their markup, as Windows returns it.
    EXPECT_EQ(page.GetDlgItem(IDC_T_LABEL)->GetWindowText(), "L&abel && more");
}

TEST_F(Controls, SortedComboInsertsAtItsPlaceCaseInsensitively)
{
    EXPECT_EQ(page.m_sorted.AddString("G:"), 0);
    EXPECT_EQ(page.m_sorted.AddString("E:"), 0);
    EXPECT_EQ(page.m_sorted.AddString("f:"), 1);
    EXPECT_EQ(page.m_sorted.AddString("Z:"), 3);
    EXPECT_EQ(driver.Entries(IDC_T_SORTED), (std::vector<std::string>{"E:", "f:", "G:", "Z:"}));
    EXPECT_EQ(page.m_sorted.GetCurSel(), CB_ERR);   // adding selects nothing
    auto* unsorted = static_cast<CComboBox*>(page.GetDlgItem(IDC_T_UNSORTED));
    EXPECT_EQ(unsorted->AddString("b"), 0);
    EXPECT_EQ(unsorted->AddString("a"), 1);
    EXPECT_EQ(driver.Entries(IDC_T_UNSORTED), (std::vector<std::string>{"b", "a"}));
}

TEST_F(Controls, ComboResultsAndNotifications)
{
    CComboBox& combo = page.m_sorted;
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_EQ(combo.SetCurSel(0), CB_ERR);
    combo.AddString("E:");
    combo.AddString("G:");
    EXPECT_EQ(combo.SetCurSel(1), 1);
    EXPECT_EQ(page.m_selChanges, 0);   // the program's selection does not notify
    EXPECT_EQ(combo.GetLBTextLen(1), 2);
    EXPECT_EQ(combo.GetLBTextLen(2), CB_ERR);
    char text[3];
    EXPECT_EQ(combo.GetLBText(0, text), 2);
    EXPECT_STREQ(text, "E:");
    EXPECT_EQ(combo.GetLBText(5, text), CB_ERR);
    EXPECT_EQ(combo.SetCurSel(7), CB_ERR);   // out of range clears the selection
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_TRUE(driver.Select(IDC_T_SORTED, "G:"));
    EXPECT_EQ(combo.GetCurSel(), 1);
    EXPECT_EQ(page.m_selChanges, 1);
    EXPECT_EQ(combo.SetCurSel(-1), CB_ERR);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    combo.ResetContent();
    EXPECT_EQ(combo.GetCount(), 0);
}

TEST_F(Controls, DataExchangeBindsTheMembersToTheirControls)
{
    EXPECT_EQ(page.m_filtered.GetDlgCtrlID(), IDC_T_FILTERED);
    EXPECT_EQ(page.GetDlgItem(IDC_T_FILTERED), &page.m_filtered);
    EXPECT_EQ(page.m_radioA.GetParent(), &page);
    EXPECT_EQ(page.GetParent(), &sheet);
    EXPECT_EQ(page.GetDlgItem(4242), nullptr);
    CWnd* disabled = page.GetDlgItem(IDC_T_DISABLED);
    EXPECT_FALSE(disabled->IsWindowEnabled());
    EXPECT_TRUE(disabled->EnableWindow(TRUE));   // it was disabled
    EXPECT_TRUE(driver.IsEnabled(IDC_T_DISABLED));
}
