// Dialogs as a screen reader and a keyboard alone meet them: radio buttons reported as
// radio buttons whatever their grouping, fields named after the label in front of them,
// the focus on every page shown, Enter and Esc from any control.
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <gtest/gtest.h>

#include "tests/support/SheetDriver.h"
#include "framework/SheetWindow.h"
#include "framework/WndImpl.h"
#include "tests/framework/TestSupport.h"

namespace {

class CFieldsPage : public CPropertyPageEx {
public:
    CFieldsPage() : CPropertyPageEx(IDD_T_FIELDS) {}
    BOOL OnInitDialog() override
    {
        CPropertyPageEx::OnInitDialog();
        CheckDlgButton(IDC_T_RADIO_B, BST_CHECKED);
        auto* combo = static_cast<CComboBox*>(GetDlgItem(IDC_T_SORTED));
        combo->AddString("G:");
        combo->AddString("E:");
        combo->SetCurSel(1);
        return TRUE;
    }
    BOOL OnSetActive() override
    {
        GetSheet()->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
        return TRUE;
    }
};

class CPlainPage : public CPropertyPageEx {
public:
    explicit CPlainPage(UINT id) : CPropertyPageEx(id) {}
};

// A last page with nothing to focus: the Finish button takes the focus.
class CFinishPage : public CPropertyPageEx {
public:
    CFinishPage() : CPropertyPageEx(IDD_T_THIRD) {}
    BOOL OnSetActive() override
    {
        GetSheet()->SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
        return TRUE;
    }
};

class CFieldsSheet : public CPropertySheetEx {
public:
    CFieldsSheet() : CPropertySheetEx(0)
    {
        AddPage(&m_plain);
        AddPage(&m_fields);
        AddPage(&m_last);
        SetWizardMode();
    }
    CPlainPage m_plain{IDD_T_SECOND};
    CFieldsPage m_fields;
    CFinishPage m_last;
};

class Accessibility : public ::testing::Test {
protected:
    UseTestResources resources;

    static QAccessibleInterface* Of(CWnd* page, int id)
    {
        return QAccessible::queryAccessibleInterface(page->GetDlgItem(id)->Impl()->widget);
    }
    static std::string Name(QAccessibleInterface* i) { return i->text(QAccessible::Name).toStdString(); }
};

}  // namespace

TEST_F(Accessibility, RadioButtonsAreRadioButtonsCheckedAsShown)
{
    CControlsSheet sheet;
    CSheetDriver driver(sheet);
    CControlsPage& page = sheet.m_page;
    QAccessibleInterface* a = Of(&page, IDC_T_RADIO_A);
    QAccessibleInterface* b = Of(&page, IDC_T_RADIO_B);
    EXPECT_EQ(a->role(), QAccessible::RadioButton);
    EXPECT_EQ(Of(&page, IDC_T_RADIO_E)->role(), QAccessible::RadioButton);
    EXPECT_EQ(Of(&page, IDC_T_CHECK)->role(), QAccessible::CheckBox);
    EXPECT_EQ(Name(a), "A");
    EXPECT_EQ(Name(Of(&page, IDC_T_PUSH)), "Push");   // "&Push" without its marker
    EXPECT_FALSE(a->state().checked);

    page.m_radioA.SetCheck(BST_CHECKED);   // the program's check shows, and is no click
    EXPECT_TRUE(a->state().checked);
    EXPECT_TRUE(page.m_clicks.empty());
    driver.Click(IDC_T_RADIO_B);
    EXPECT_FALSE(a->state().checked);
    EXPECT_TRUE(b->state().checked);
    EXPECT_TRUE(b->state().focusable);
    ASSERT_NE(b->actionInterface(), nullptr);
    EXPECT_TRUE(b->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    driver.KeyOn(IDC_T_RADIO_C, Qt::Key_Space);   // Space presses it: checked, one notification
    EXPECT_TRUE(Of(&page, IDC_T_RADIO_C)->state().checked);
    EXPECT_FALSE(b->state().checked);
    EXPECT_EQ(page.m_clicks[IDC_T_RADIO_C], 1);

    // A disabled radio button offers nothing to press and does nothing when pressed.
    page.GetDlgItem(IDC_T_RADIO_A)->EnableWindow(FALSE);
    EXPECT_FALSE(a->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(driver.IsChecked(IDC_T_RADIO_A));
    EXPECT_EQ(page.m_clicks[IDC_T_RADIO_A], 0);
}

TEST_F(Accessibility, FieldsAreNamedAfterTheLabelInFrontOfThem)
{
    CFieldsSheet sheet;
    CSheetDriver driver(sheet);
    driver.Next();
    CFieldsPage& page = sheet.m_fields;
    // Both labels come before both fields in the template: each field takes the one on its
    // line. A field with no label on its line takes the static before it.
    EXPECT_EQ(Name(Of(&page, IDC_T_SHORT)), "Short name:");
    EXPECT_EQ(Name(Of(&page, IDC_T_LONG)), "Long name:");
    EXPECT_EQ(Name(Of(&page, IDC_T_NOTES)), "Notes:");
    // "..." beside a field keeps its text as its name and is described by the label.
    EXPECT_EQ(Name(Of(&page, IDC_T_PUSH)), "...");
    EXPECT_EQ(Of(&page, IDC_T_PUSH)->text(QAccessible::Description).toStdString(), "Short name:");

    // A combo box: named after its label, its entry is its value and the selected item of
    // its list, and the label is related to it.
    QAccessibleInterface* combo = Of(&page, IDC_T_SORTED);
    EXPECT_EQ(combo->role(), QAccessible::ComboBox);
    EXPECT_EQ(Name(combo), "Drive:");
    EXPECT_EQ(combo->text(QAccessible::Value).toStdString(), "G:");
    auto* view = static_cast<QComboBox*>(page.GetDlgItem(IDC_T_SORTED)->Impl()->widget)->view();
    ASSERT_EQ(view->selectionModel()->selectedIndexes().size(), 1);
    EXPECT_EQ(view->selectionModel()->selectedIndexes()[0].row(), 1);
    driver.Select(IDC_T_SORTED, "E:");
    EXPECT_EQ(combo->text(QAccessible::Value).toStdString(), "E:");
    EXPECT_EQ(view->selectionModel()->selectedIndexes()[0].row(), 0);
    const auto labels = combo->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->object(), page.GetDlgItem(IDC_T_LABEL)->Impl()->widget);

    // The name follows the label's text.
    page.GetDlgItem(IDC_T_SHORT_LABEL)->SetWindowText("&Title:");
    EXPECT_EQ(Name(Of(&page, IDC_T_SHORT)), "Title:");
    EXPECT_EQ(Of(&page, IDC_T_PUSH)->text(QAccessible::Description).toStdString(), "Title:");
    EXPECT_EQ(Name(QAccessible::queryAccessibleInterface(page.Impl()->widget)), "Fields");
}

TEST_F(Accessibility, EachPageGivesItsFirstControlTheFocusAndShowsIt)
{
    CFieldsSheet sheet;
    CSheetDriver driver(sheet);
    QWidget* window = sheet.m_plain.Impl()->widget->window();
    EXPECT_TRUE(driver.HasFocus(IDC_T_PUSH));
    EXPECT_TRUE(window->testAttribute(Qt::WA_KeyboardFocusChange));
    driver.Next();
    // The first tab stop is a radio group: its checked button takes the focus.
    EXPECT_TRUE(driver.HasFocus(IDC_T_RADIO_B));
    EXPECT_FALSE(driver.HasFocus(IDC_T_RADIO_A));
    driver.Next();
    EXPECT_TRUE(sheet.SheetImpl()->m_window->finish->hasFocus());
    driver.Back();
    driver.Back();
    EXPECT_TRUE(driver.HasFocus(IDC_T_PUSH));
}

TEST_F(Accessibility, EnterIsNextAndEscapeCancelsFromAnyControl)
{
    CFieldsSheet sheet;
    CSheetDriver driver(sheet);
    driver.Next();
    sheet.m_fields.GetDlgItem(IDC_T_SORTED)->SetFocus();
    driver.PressEnter();   // a closed drop-down list leaves Enter to the default button
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_THIRD);
    driver.Back();
    sheet.m_fields.GetDlgItem(IDC_T_RADIO_B)->SetFocus();
    driver.PressEnter();
    EXPECT_EQ(driver.CurrentPageId(), IDD_T_THIRD);
    driver.Back();
    sheet.m_fields.GetDlgItem(IDC_T_SHORT)->SetFocus();
    driver.PressEscape();
    EXPECT_TRUE(driver.IsClosed());
    EXPECT_EQ(driver.Result(), IDCANCEL);
}
