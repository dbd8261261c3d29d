#include "pages/Filesystem.h"

#include "app/Wizard97.h"
#include "pages/StatusLine.h"

BEGIN_MESSAGE_MAP(CFilesystem, CInteriorPropertyPage)
END_MESSAGE_MAP()

CFilesystem::CFilesystem() : CInteriorPropertyPage(IDD_FILESYSTEM, 0, 0, 0) {}

void CFilesystem::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CREATE_FILESYSTEM, m_radioCreateFilesystem);
    DDX_Control(pDX, IDC_LEAVE_FILESYSTEM, m_radioLeaveFilesystem);
    DDX_Control(pDX, IDC_FILESYSTEM_STATUS, m_staticStatus);
}

BOOL CFilesystem::OnInitDialog()
{
    CInteriorPropertyPage::OnInitDialog();
    m_radioCreateFilesystem.SetCheck(BST_CHECKED);
    return TRUE;
}

BOOL CFilesystem::OnSetActive()
{
    m_staticStatus.SetWindowText("");
    return CInteriorPropertyPage::OnSetActive();
}

void CFilesystem::AdvanceProgress()
{
    m_staticStatus.Advance();
}

LRESULT CFilesystem::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    int next = -1;
    if (m_radioLeaveFilesystem.GetCheck()) {
        // The contents stay: only the boot code in front of the partition table is renewed.
        if (key.HasPartitionTable())
            key.LandMbr();
        next = IDD_CONFIGURATION;
    }
    if (m_radioCreateFilesystem.GetCheck()) {
        key.RefreshKey();
        m_staticStatus.ShowStep(IDS_BLANKING_DRIVE);
        key.BlankKey();
        key.RefreshKey();
        m_staticStatus.ShowStep(IDS_LANDING_MBR);
        key.LandMbr();
        key.RefreshKey();
        m_staticStatus.ShowStep(IDS_PARTITIONING);
        key.WritePartitionTable();
        key.RefreshKey();
        key.CloseKey();
        m_staticStatus.ShowStep(IDS_FORMATTING);
        key.FormatKey();
        key.RefreshKey();
        key.CloseKey();
        next = IDD_CONFIGURATION;
    }
    if (next != -1) {
        m_staticStatus.ShowStep(IDS_INSTALLING_SYSLINUX);
        key.InstallBootLoader();
        m_pWizard->PushPage(m_nPageID);
    }
    return next;
}
