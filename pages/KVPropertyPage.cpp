#include "pages/KVPropertyPage.h"

#include "app/Wizard97.h"

BEGIN_MESSAGE_MAP(CKVPropertyPage, CPropertyPageEx)
END_MESSAGE_MAP()

CKVPropertyPage::CKVPropertyPage(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle)
    : CPropertyPageEx(nIDTemplate, nIDCaption, nIDHeaderTitle, nIDHeaderSubTitle),
      m_nPageID(static_cast<int>(nIDTemplate))
{
    m_psp.dwFlags &= ~PSP_HASHELP;
}

CKVPropertyPage::~CKVPropertyPage() = default;

void CKVPropertyPage::DoDataExchange(CDataExchange* pDX)
{
    CPropertyPageEx::DoDataExchange(pDX);
}

BOOL CKVPropertyPage::OnInitDialog()
{
    CPropertyPageEx::OnInitDialog();
    m_pWizard = static_cast<CWizard97*>(GetParent());
    return TRUE;
}

LRESULT CKVPropertyPage::OnWizardNext()
{
    m_pWizard->PushPage(m_nPageID);
    return 0;
}

LRESULT CKVPropertyPage::OnWizardBack()
{
    return m_pWizard->PopPage();
}

BEGIN_MESSAGE_MAP(CInteriorPropertyPage, CKVPropertyPage)
END_MESSAGE_MAP()

CInteriorPropertyPage::CInteriorPropertyPage(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle,
                                             UINT nIDHeaderSubTitle)
    : CKVPropertyPage(nIDTemplate, nIDCaption, nIDHeaderTitle, nIDHeaderSubTitle)
{
    m_psp.dwFlags |= PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
}

CInteriorPropertyPage::~CInteriorPropertyPage() = default;

BEGIN_MESSAGE_MAP(CExteriorPropertyPage, CKVPropertyPage)
END_MESSAGE_MAP()

CExteriorPropertyPage::CExteriorPropertyPage(UINT nIDTemplate) : CKVPropertyPage(nIDTemplate, 0, 0, 0)
{
    m_psp.dwFlags |= PSP_HIDEHEADER;
}

CExteriorPropertyPage::~CExteriorPropertyPage() = default;
