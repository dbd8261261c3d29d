// CWnd and the control classes over their widgets.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "framework/Afx.h"
#include "framework/DialogBuilder.h"
#include "framework/DialogControls.h"
#include "framework/TextCodec.h"
#include "framework/WndImpl.h"

namespace {

QString Q(LPCSTR s) { return QString::fromUtf8(s ? s : ""); }
std::string U(const QString& s) { return s.toUtf8().toStdString(); }

// A temporary object of the control's own class, as GetDlgItem hands out.
std::unique_ptr<CWnd> TemporaryFor(WndKind kind)
{
    switch (kind) {
    case WndKind::PushButton:
    case WndKind::CheckBox:
    case WndKind::RadioButton:
    case WndKind::GroupBox: return std::make_unique<CButton>();
    case WndKind::Edit: return std::make_unique<CEdit>();
    case WndKind::ComboBox: return std::make_unique<CComboBox>();
    case WndKind::Static: return std::make_unique<CStatic>();
    default: return std::make_unique<CWnd>();
    }
}

QAbstractButton* ButtonOf(const CWndImpl* impl) { return impl ? qobject_cast<QAbstractButton*>(impl->widget) : nullptr; }
QComboBox* ComboOf(const CWndImpl* impl) { return impl ? qobject_cast<QComboBox*>(impl->widget) : nullptr; }

}  // namespace

// ---- message maps -----------------------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

bool CCmdTarget::OnCmdMsg(UINT nCode, UINT nID)
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pBaseMap)
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nMessage != 0; ++e)
            if (e->nMessage == WM_COMMAND && e->nCode == nCode && e->nID == nID && e->pfn) {
                (this->*(e->pfn))();
                return true;
            }
    return false;
}

// ---- CWnd -------------------------------------------------------------------------------

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_pImpl && m_pImpl->bound == this)
        m_pImpl->bound = nullptr;
    m_pImpl = nullptr;
}

void CWnd::Attach(CWndImpl* impl)
{
    if (m_pImpl && m_pImpl != impl && m_pImpl->bound == this)
        m_pImpl->bound = nullptr;
    m_pImpl = impl;
    if (impl)
        impl->Bind(this);
}

void CWnd::Detach() { m_pImpl = nullptr; }

HWND CWnd::GetSafeHwnd() const
{
    return m_pImpl ? reinterpret_cast<HWND>(m_pImpl->widget) : nullptr;
}

int CWnd::GetDlgCtrlID() const { return m_pImpl ? m_pImpl->id : 0; }

CWnd* CWnd::GetParent() const
{
    if (!m_pImpl)
        return nullptr;
    if (m_pImpl->kind == WndKind::Page)
        return m_pImpl->parentWnd;
    return m_pImpl->dialog ? m_pImpl->dialog->bound : nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const
{
    CWndImpl* c = m_pImpl ? m_pImpl->FindControl(nID) : nullptr;
    if (!c)
        return nullptr;
    if (!c->bound) {
        c->owned = TemporaryFor(c->kind);
        c->owned->Attach(c);
    }
    return c->bound;
}

BOOL CWnd::EnableWindow(BOOL bEnable)
{
    if (!m_pImpl)
        return FALSE;
    const BOOL wasDisabled = !m_pImpl->widget->isEnabled();
    m_pImpl->widget->setEnabled(bEnable != FALSE);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const { return m_pImpl && m_pImpl->widget->isEnabled(); }

BOOL CWnd::IsWindowVisible() const { return m_pImpl && m_pImpl->widget->isVisible(); }

void CWnd::SetWindowText(LPCSTR lpszString)
{
    if (!m_pImpl)
        return;
    QWidget* w = m_pImpl->widget;
    const QString text = Q(lpszString);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        m_pImpl->markupText = lpszString ? lpszString : "";
        const bool prefix = !(m_pImpl->style & 0x80);   // SS_NOPREFIX
        label->setText(label->buddy() || !prefix ? text : Q(StripMnemonics(m_pImpl->markupText).c_str()));
        UpdateFieldNames(m_pImpl);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable())
            combo->setEditText(text);
    } else {
        w->setWindowTitle(text);
    }
}

std::string CWnd::GetWindowText() const
{
    if (!m_pImpl)
        return {};
    QWidget* w = m_pImpl->widget;
    if (qobject_cast<QLabel*>(w))
        return m_pImpl->markupText;
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return U(edit->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return U(button->text());
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return U(combo->currentText());
    return U(w->windowTitle());
}

int CWnd::GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const
{
    return CopyTextBounded(GetWindowText(), lpszStringBuf, nMaxCount);
}

int CWnd::GetWindowTextLength() const { return static_cast<int>(GetWindowText().size()); }

void CWnd::SetFocus()
{
    if (m_pImpl)
        m_pImpl->widget->setFocus(Qt::OtherFocusReason);
}

void CWnd::UpdateWindow()
{
    if (!m_pImpl)
        return;
    // Paint what is pending on this window's top level now. Nothing pending: nothing done.
    QWidget* top = m_pImpl->widget->window();
    QCoreApplication::sendPostedEvents(top, QEvent::UpdateRequest);
}

void CWnd::SendChar(UINT nChar)
{
    if (m_pImpl)
        if (auto* edit = dynamic_cast<CharEdit*>(m_pImpl->widget))
            edit->DeliverChar(static_cast<char32_t>(nChar));
}

void CWnd::OnChar(UINT nChar, UINT, UINT)
{
    if (m_pImpl)
        if (auto* edit = dynamic_cast<CharEdit*>(m_pImpl->widget))
            edit->DefaultChar(static_cast<char32_t>(nChar));
}

// ---- CButton ----------------------------------------------------------------------------

int CButton::GetCheck() const
{
    QAbstractButton* b = ButtonOf(m_pImpl);
    if (!b || !b->isCheckable())
        return BST_UNCHECKED;
    if (auto* box = qobject_cast<QCheckBox*>(b))
        return box->checkState() == Qt::PartiallyChecked ? 2 : (box->isChecked() ? BST_CHECKED : BST_UNCHECKED);
    return b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int nCheck)
{
    QAbstractButton* b = ButtonOf(m_pImpl);
    if (!b || !b->isCheckable())
        return;
    SilentChanges silent;   // the program's own changes never notify
    if (auto* box = qobject_cast<QCheckBox*>(b); box && nCheck == 2 && box->isTristate())
        box->setCheckState(Qt::PartiallyChecked);
    else
        b->setChecked(nCheck != BST_UNCHECKED);
}

// ---- CEdit ------------------------------------------------------------------------------

void CEdit::LimitText(int nChars)
{
    if (m_pImpl)
        if (auto* edit = qobject_cast<QLineEdit*>(m_pImpl->widget))
            edit->setMaxLength(nChars <= 0 ? 32767 : std::min(nChars, 32767));
}

// ---- CComboBox --------------------------------------------------------------------------

int CComboBox::AddString(LPCSTR lpszString)
{
    QComboBox* c = ComboOf(m_pImpl);
    if (!c)
        return CB_ERR;
    const QString text = Q(lpszString);
    int index = c->count();
    if (m_pImpl->style & 0x100) {   // CBS_SORT: after the entries that sort before or equal
        index = 0;
        while (index < c->count() && QString::compare(c->itemText(index), text, Qt::CaseInsensitive) <= 0)
            ++index;
    }
    // Inserting must not select anything: a Windows list keeps its selection as it was.
    const int selected = c->currentIndex();
    c->insertItem(index, text);
    if (selected < 0)
        c->setCurrentIndex(-1);
    return index;
}

int CComboBox::GetCount() const
{
    QComboBox* c = ComboOf(m_pImpl);
    return c ? c->count() : CB_ERR;
}

int CComboBox::GetCurSel() const
{
    QComboBox* c = ComboOf(m_pImpl);
    return c && c->currentIndex() >= 0 ? c->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int nSelect)
{
    QComboBox* c = ComboOf(m_pImpl);
    if (!c)
        return CB_ERR;
    if (nSelect < 0 || nSelect >= c->count()) {
        c->setCurrentIndex(-1);   // the selection is cleared, and CB_ERR comes back
        return CB_ERR;
    }
    c->setCurrentIndex(nSelect);
    return nSelect;
}

std::string CComboBox::GetLBText(int nIndex) const
{
    QComboBox* c = ComboOf(m_pImpl);
    return c && nIndex >= 0 && nIndex < c->count() ? U(c->itemText(nIndex)) : std::string();
}

int CComboBox::GetLBText(int nIndex, LPSTR lpszText) const
{
    QComboBox* c = ComboOf(m_pImpl);
    if (!c || nIndex < 0 || nIndex >= c->count())
        return CB_ERR;
    const std::string text = GetLBText(nIndex);
    // The caller's buffer is sized from GetLBTextLen, as on Windows.
    return CopyTextBounded(text, lpszText, static_cast<int>(text.size()) + 1);
}

int CComboBox::GetLBTextLen(int nIndex) const
{
    QComboBox* c = ComboOf(m_pImpl);
    if (!c || nIndex < 0 || nIndex >= c->count())
        return CB_ERR;
    return static_cast<int>(GetLBText(nIndex).size());
}

void CComboBox::ResetContent()
{
    if (QComboBox* c = ComboOf(m_pImpl))
        c->clear();
}

// ---- data exchange ----------------------------------------------------------------------

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (!pDX || !pDX->m_pDlgWnd || rControl.Impl())
        return;   // bound once, at the first exchange
    CWndImpl* page = pDX->m_pDlgWnd->Impl();
    CWndImpl* c = page ? page->FindControl(nIDC) : nullptr;
    if (!c)
        return;
    std::unique_ptr<CWnd> temporary = std::move(c->owned);
    rControl.Attach(c);
}
