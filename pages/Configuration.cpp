#include "pages/Configuration.h"

#include "app/Wizard97.h"
#include "pages/StatusLine.h"

BEGIN_MESSAGE_MAP(CConfiguration, CInteriorPropertyPage)
END_MESSAGE_MAP()

CConfiguration::CConfiguration() : CInteriorPropertyPage(IDD_CONFIGURATION, 0, 0, 0) {}

void CConfiguration::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FLASH_PACKAGE, m_radioFlashPackage);
    DDX_Control(pDX, IDC_FLOPPY_IMAGE, m_radioFloppyImage);
    DDX_Control(pDX, IDC_CONFIG_DRIVE_LABEL, m_staticDrive);
    DDX_Control(pDX, IDC_CONFIG_DRIVE, m_comboDrive);
    DDX_Control(pDX, IDC_MENU_TEXT, m_groupMenuText);
    DDX_Control(pDX, IDC_SHORT_NAME_LABEL, m_staticShortName);
    DDX_Control(pDX, IDC_LONG_NAME_LABEL, m_staticLongName);
    DDX_Control(pDX, IDC_SHORT_NAME, m_editShortName);
    DDX_Control(pDX, IDC_LONG_NAME, m_editLongName);
    DDX_Control(pDX, IDC_CONFIG_STATUS, m_staticStatus);
}

// The files of the key are written through its file system while this page is shown,
// so the raw handles are closed.
BOOL CConfiguration::OnSetActive()
{
    m_pWizard->m_keyDrive.CloseKey();
    return CInteriorPropertyPage::OnSetActive();
}

// The page before works on the raw key again.
LRESULT CConfiguration::OnWizardBack()
{
    m_pWizard->m_keyDrive.RefreshKey();
    return CInteriorPropertyPage::OnWizardBack();
}

void CConfiguration::SetStatus(LPCSTR text)
{
    m_staticStatus.SetWindowText(text);
}

void CConfiguration::AdvanceProgress()
{
    m_staticStatus.Advance();
}
