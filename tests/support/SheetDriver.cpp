#include "tests/support/SheetDriver.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <memory>

#include "framework/SheetWindow.h"
#include "framework/TestSeam.h"
#include "framework/WndImpl.h"

#include "tests/support/CleanSlate.h"

namespace {

// After each test: the framework answers people again, from the program's own resources.
void ResetFramework()
{
    SetFrameworkTestHooks({});
    SetModuleResourcesForTest(nullptr, 0);
    SetResourceLanguageForTest(0);
}

}  // namespace

void EnsureApplication()
{
    CleanSlate::AddStep(ResetFramework);
    if (qApp)
        return;
    static int argc = 1;
    static char name[] = "framework-driver";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives to the end of the process on purpose: a QApplication destroyed by an exit
    // handler runs after Qt's own statics are gone and crashes.
    new QApplication(argc, argv);
}

namespace {

// Where a person would click: the indicator of a check box or radio button (their
// text may be shorter than the control), the middle of anything else.
QPoint ClickPoint(QWidget* w)
{
    QStyleOptionButton option;
    option.initFrom(w);
    if (qobject_cast<QRadioButton*>(w))
        return w->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, w).center();
    if (qobject_cast<QCheckBox*>(w))
        return w->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, w).center();
    return w->rect().center();
}

// A click now, or one that waits among the pending input until the program takes input in.
void MouseClick(QWidget* w, bool queued = false)
{
    const QPoint local = ClickPoint(w);
    const QPoint global = w->mapToGlobal(local);
    for (bool press : {true, false}) {
        auto* e = new QMouseEvent(press ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, local, global,
                                  Qt::LeftButton, press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        if (queued) {
            QCoreApplication::postEvent(w, e);
        } else {
            QApplication::sendEvent(w, e);
            delete e;
        }
    }
}

void Key(QWidget* w, int key, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

}  // namespace

CSheetDriver::CSheetDriver(CPropertySheetEx& sheet) : m_sheet(sheet)
{
    EnsureApplication();
    m_sheet.Create();
    ProcessEvents();
}

CSheetDriver::~CSheetDriver()
{
    ProcessEvents();
}

void CSheetDriver::ProcessEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

static CWndImpl* Control(CPropertySheetEx& sheet, int id)
{
    CPropertyPageEx* page = sheet.GetActivePage();
    return page && page->Impl() ? page->Impl()->FindControl(id) : nullptr;
}

int CSheetDriver::CurrentPageId()
{
    CPropertyPageEx* page = IsClosed() ? nullptr : m_sheet.GetActivePage();
    return page ? static_cast<int>(page->m_psp.pszTemplate) : -1;
}

bool CSheetDriver::Click(int id)
{
    CWndImpl* c = Control(m_sheet, id);
    if (!c || !c->widget->isEnabled() || !c->widget->isVisible())
        return false;
    MouseClick(c->widget);
    ProcessEvents();
    return true;
}

void CSheetDriver::KeyOn(int id, int qtKey)
{
    CWndImpl* c = Control(m_sheet, id);
    if (!c)
        return;
    c->widget->setFocus(Qt::OtherFocusReason);
    Key(c->widget, qtKey, qtKey == Qt::Key_Space ? QStringLiteral(" ") : QString());
    ProcessEvents();
}

void CSheetDriver::TypeChars(int id, const std::string& utf8)
{
    CWndImpl* c = Control(m_sheet, id);
    if (!c)
        return;
    for (char32_t ch : QString::fromUtf8(utf8.c_str()).toUcs4()) {
        const QString text = QString::fromUcs4(&ch, 1);
        Key(c->widget, ch == 0x08 ? Qt::Key_Backspace : Qt::Key_unknown, text);
    }
    ProcessEvents();
}

void CSheetDriver::SetText(int id, const std::string& utf8)
{
    CWndImpl* c = Control(m_sheet, id);
    if (auto* edit = c ? qobject_cast<QLineEdit*>(c->widget) : nullptr) {
        edit->selectAll();
        edit->insert(QString::fromUtf8(utf8.c_str()));
    }
    ProcessEvents();
}

bool CSheetDriver::SelectIndex(int comboId, int index)
{
    CWndImpl* c = Control(m_sheet, comboId);
    auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr;
    if (!combo || !combo->isEnabled() || index < 0 || index >= combo->count())
        return false;
    // What the combo box does when a person picks an entry from its list.
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    ProcessEvents();
    return true;
}

bool CSheetDriver::Select(int comboId, const std::string& entryText)
{
    CWndImpl* c = Control(m_sheet, comboId);
    auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr;
    return combo && SelectIndex(comboId, combo->findText(QString::fromUtf8(entryText.c_str()), Qt::MatchExactly));
}

static bool PressSheetButton(CPropertySheetEx& sheet, QPushButton* SheetWindow::*which, CSheetDriver& driver)
{
    SheetWindow* w = sheet.SheetImpl()->m_window;
    if (!w || sheet.SheetImpl()->m_closed)
        return false;
    QPushButton* b = w->*which;
    if (!b->isVisible() || !b->isEnabled())
        return false;
    MouseClick(b);
    driver.ProcessEvents();
    return true;
}

void CSheetDriver::QueueClick(int id)
{
    SheetWindow* w = m_sheet.SheetImpl()->m_window;
    QWidget* target = nullptr;
    if (id == ID_WIZBACK || id == ID_WIZNEXT || id == IDCANCEL_BUTTON)
        target = w ? (id == ID_WIZBACK ? w->back : id == ID_WIZNEXT ? w->next : w->cancel) : nullptr;
    else if (CWndImpl* c = Control(m_sheet, id))
        target = c->widget;
    if (target)
        MouseClick(target, true);
}

bool CSheetDriver::Next() { return PressSheetButton(m_sheet, &SheetWindow::next, *this); }
bool CSheetDriver::Back() { return PressSheetButton(m_sheet, &SheetWindow::back, *this); }
bool CSheetDriver::Finish() { return PressSheetButton(m_sheet, &SheetWindow::finish, *this); }
bool CSheetDriver::Cancel() { return PressSheetButton(m_sheet, &SheetWindow::cancel, *this); }

void CSheetDriver::PressEnter()
{
    SheetWindow* w = m_sheet.SheetImpl()->m_window;
    if (!w)
        return;
    QWidget* target = w->focusWidget() ? w->focusWidget() : w;
    Key(target, Qt::Key_Return, QStringLiteral("\r"));
    ProcessEvents();
}

void CSheetDriver::PressEscape()
{
    SheetWindow* w = m_sheet.SheetImpl()->m_window;
    if (!w)
        return;
    QWidget* target = w->focusWidget() ? w->focusWidget() : w;
    Key(target, Qt::Key_Escape, QStringLiteral("\x1b"));
    ProcessEvents();
}

bool CSheetDriver::IsClosed() { return m_sheet.SheetImpl()->m_closed; }
INT_PTR CSheetDriver::Result() { return m_sheet.SheetImpl()->m_result; }
DWORD CSheetDriver::Buttons() { return m_sheet.GetWizardButtonsState(); }
bool CSheetDriver::Exists(int id) { return Control(m_sheet, id) != nullptr; }

bool CSheetDriver::IsEnabled(int id)
{
    CWndImpl* c = Control(m_sheet, id);
    return c && c->widget->isEnabled();
}

bool CSheetDriver::IsChecked(int id)
{
    CWndImpl* c = Control(m_sheet, id);
    auto* b = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
    return b && b->isChecked();
}

bool CSheetDriver::HasFocus(int id)
{
    CWndImpl* c = Control(m_sheet, id);
    return c && c->widget->hasFocus();
}

std::string CSheetDriver::Text(int id)
{
    CPropertyPageEx* page = m_sheet.GetActivePage();
    CWnd* control = page ? page->GetDlgItem(id) : nullptr;
    return control ? control->GetWindowText() : std::string();
}

std::vector<std::string> CSheetDriver::Entries(int comboId)
{
    std::vector<std::string> entries;
    CWndImpl* c = Control(m_sheet, comboId);
    if (auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr)
        for (int i = 0; i < combo->count(); ++i)
            entries.push_back(combo->itemText(i).toStdString());
    return entries;
}

int CSheetDriver::CurSel(int comboId)
{
    CWndImpl* c = Control(m_sheet, comboId);
    auto* combo = c ? qobject_cast<QComboBox*>(c->widget) : nullptr;
    return combo && combo->currentIndex() >= 0 ? combo->currentIndex() : CB_ERR;
}

std::string CSheetDriver::WindowTitle()
{
    SheetWindow* w = m_sheet.SheetImpl()->m_window;
    return w ? w->windowTitle().toStdString() : std::string();
}

bool CSheetDriver::SaveScreenshot(const std::string& pngPath)
{
    SheetWindow* w = m_sheet.SheetImpl()->m_window;
    return w && w->grab().save(QString::fromStdString(pngPath), "PNG");
}
