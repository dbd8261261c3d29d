#include "pages/CompletePage.h"

#include "app/Wizard97.h"

BEGIN_MESSAGE_MAP(CCompletePage, CExteriorPropertyPage)
END_MESSAGE_MAP()

CCompletePage::CCompletePage() : CExteriorPropertyPage(IDD_COMPLETE) {}

BOOL CCompletePage::OnSetActive()
{
    m_pWizard->SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
    return CExteriorPropertyPage::OnSetActive();
}

LRESULT CCompletePage::OnWizardBack()
{
    m_pWizard->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    return CExteriorPropertyPage::OnWizardBack();
}
