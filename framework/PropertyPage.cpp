// CPropertyPageEx: the framework's page behaviour that pages override.
#include <QAbstractButton>

#include "framework/Afx.h"
#include "framework/WndImpl.h"

CPropertyPageEx::CPropertyPageEx(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle)
{
    m_psp.pszTemplate = nIDTemplate;
    m_psp.pszTitle = nIDCaption;
    m_psp.pszHeaderTitle = nIDHeaderTitle;
    m_psp.pszHeaderSubTitle = nIDHeaderSubTitle;
    m_psp.dwFlags = 0;
}

CPropertyPageEx::~CPropertyPageEx() = default;

BOOL CPropertyPageEx::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CPropertyPageEx::OnSetActive() { return TRUE; }
BOOL CPropertyPageEx::OnKillActive() { return TRUE; }
BOOL CPropertyPageEx::OnQueryCancel() { return TRUE; }
LRESULT CPropertyPageEx::OnWizardBack() { return 0; }
LRESULT CPropertyPageEx::OnWizardNext() { return 0; }
BOOL CPropertyPageEx::OnWizardFinish() { return TRUE; }
void CPropertyPageEx::DoDataExchange(CDataExchange*) {}

BOOL CPropertyPageEx::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CPropertyPageEx::CheckDlgButton(int nIDButton, UINT nCheck)
{
    CWndImpl* c = m_pImpl ? m_pImpl->FindControl(nIDButton) : nullptr;
    auto* button = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
    if (!button)
        return FALSE;
    SilentChanges silent;
    button->setChecked(nCheck != BST_UNCHECKED);
    return TRUE;
}

UINT CPropertyPageEx::IsDlgButtonChecked(int nIDButton) const
{
    CWndImpl* c = m_pImpl ? m_pImpl->FindControl(nIDButton) : nullptr;
    auto* button = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}
