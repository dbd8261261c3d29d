#include "pages/Role.h"

#include "app/Wizard97.h"

BEGIN_MESSAGE_MAP(CRole, CInteriorPropertyPage)
END_MESSAGE_MAP()

CRole::CRole() : CInteriorPropertyPage(IDD_ROLE, 0, 0, 0) {}

void CRole::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_HARD_DRIVE, m_radioHardDrive);
    DDX_Control(pDX, IDC_FLOPPY_DISK, m_radioFloppyDisk);
}

BOOL CRole::OnInitDialog()
{
    CInteriorPropertyPage::OnInitDialog();
    m_radioHardDrive.SetCheck(BST_CHECKED);
    return TRUE;
}

LRESULT CRole::OnWizardNext()
{
    int next = -1;
    {
        CWaitCursor wait;
        if (m_radioFloppyDisk.GetCheck())
            next = IDD_IMAGEKEY;
        if (m_radioHardDrive.GetCheck())
            next = IDD_FILESYSTEM;
    }
    if (next != -1)
        m_pWizard->PushPage(m_nPageID);
    return next;
}
