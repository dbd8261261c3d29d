// CPropertySheetEx over the sheet window.
#include "framework/Afx.h"
#include "framework/SheetWindow.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

// While the sheet is busy, input is dropped, except what presses its Cancel: a click on the
// button and the Esc key (the close box is no input: it reaches the sheet as a close).
class BusyInputFilter : public QObject {
public:
    explicit BusyInputFilter(SheetWindow* window) : m_window(window) {}

protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (!event->isInputEvent() && event->type() != QEvent::Shortcut)
            return false;
        if (target == m_window->cancel)
            return false;
        auto* key = dynamic_cast<QKeyEvent*>(event);
        return !(key && key->key() == Qt::Key_Escape);
    }

private:
    SheetWindow* m_window;
};

}  // namespace

CPropertySheetEx::CPropertySheetEx(UINT nIDCaption, CWnd*, UINT iSelectPage)
    : m_pSheetImpl(std::make_unique<CSheetImpl>(this)), m_nIDCaption(nIDCaption), m_nStartPage(iSelectPage)
{
}

CPropertySheetEx::~CPropertySheetEx()
{
    // The derived parts are gone; the window goes without OnDestroy.
    m_pSheetImpl.reset();
}

void CPropertySheetEx::AddPage(CPropertyPageEx* pPage)
{
    m_pages.push_back(pPage);
    pPage->SetSheet(this);
}

void CPropertySheetEx::SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }

int CPropertySheetEx::GetPageCount() const { return static_cast<int>(m_pages.size()); }

CPropertyPageEx* CPropertySheetEx::GetPage(int nPage) const
{
    return nPage >= 0 && nPage < GetPageCount() ? m_pages[static_cast<size_t>(nPage)] : nullptr;
}

CPropertyPageEx* CPropertySheetEx::GetActivePage() const { return GetPage(m_pSheetImpl->m_current); }

int CPropertySheetEx::GetActiveIndex() const { return m_pSheetImpl->m_current; }

BOOL CPropertySheetEx::SetActivePage(int nPage)
{
    if (!GetPage(nPage) || !GetSafeHwnd())
        return FALSE;
    CPropertyPageEx* current = GetActivePage();
    if (current && current->IsCreated() && !current->OnKillActive())
        return FALSE;
    return m_pSheetImpl->GoTo(nPage, 1) ? TRUE : FALSE;
}

void CPropertySheetEx::SetWizardButtons(DWORD dwFlags) { m_pSheetImpl->PostButtons(dwFlags); }

BOOL CPropertySheetEx::Create() { return m_pSheetImpl->Create() ? TRUE : FALSE; }

INT_PTR CPropertySheetEx::DoModal()
{
    if (!Create())
        return -1;
    if (!m_pSheetImpl->m_closed) {
        QEventLoop loop;
        m_pSheetImpl->m_loop = &loop;
        loop.exec(QEventLoop::DialogExec);
        m_pSheetImpl->m_loop = nullptr;
    }
    m_pSheetImpl->DestroyWindow(true);
    return m_pSheetImpl->m_result;
}

void CPropertySheetEx::EndDialog(INT_PTR nResult) { m_pSheetImpl->End(nResult); }

DWORD CPropertySheetEx::GetWizardButtonsState() const { return m_pSheetImpl->ButtonsState(); }

void CPropertySheetEx::PumpWaitingInput()
{
    SheetWindow* window = m_pSheetImpl->m_window;
    if (!window || !qApp)
        return;
    BusyInputFilter filter(window);
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&filter);
}

BOOL CPropertySheetEx::TakeCancelPress()
{
    bool pressed = m_pSheetImpl->m_cancelPressed;
    m_pSheetImpl->m_cancelPressed = false;
    return pressed ? TRUE : FALSE;
}

void CPropertySheetEx::OnDestroy() {}
