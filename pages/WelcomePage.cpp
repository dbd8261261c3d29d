#include "pages/WelcomePage.h"

#include "app/Wizard97.h"

BEGIN_MESSAGE_MAP(CWelcomePage, CExteriorPropertyPage)
END_MESSAGE_MAP()

CWelcomePage::CWelcomePage() : CExteriorPropertyPage(IDD_WELCOME) {}

BOOL CWelcomePage::OnSetActive()
{
    m_pWizard->SetWizardButtons(PSWIZB_NEXT);
    return CExteriorPropertyPage::OnSetActive();
}

LRESULT CWelcomePage::OnWizardNext()
{
    {
        CWaitCursor wait;
        m_pWizard->m_keyDrive.FindKeys();
        m_pWizard->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    }
    return CExteriorPropertyPage::OnWizardNext();
}
