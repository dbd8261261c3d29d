#include "pages/Filesystem.h"

#include "app/Wizard97.h"
#include "pages/StatusLine.h"
#include "pages/StepFailure.h"

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

// Every step is checked: the first that fails stops the sequence, its text stays on the
// status line, an error box names it and gives the reason, and the page stays. Next then
// runs the sequence again from its start.
LRESULT CFilesystem::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    int next = -1;
    if (m_radioLeaveFilesystem.GetCheck()) {
        // The contents stay: only the boot code in front of the partition table is renewed.
        bool partitioned = key.HasPartitionTable();
        if (!partitioned && GetLastError() != ERROR_SUCCESS)
            return StepFailed(IDS_READING_LAYOUT);
        if (partitioned && !key.LandMbr())
            return StepFailed(IDS_LANDING_MBR);
        next = IDD_CONFIGURATION;
    }
    if (m_radioCreateFilesystem.GetCheck()) {
        bool ok = key.RefreshKey();
        m_staticStatus.ShowStep(IDS_BLANKING_DRIVE);
        if (!ok || !key.BlankKey())
            return StepFailed(IDS_BLANKING_DRIVE);
        ok = key.RefreshKey();
        m_staticStatus.ShowStep(IDS_LANDING_MBR);
        if (!ok || !key.LandMbr())
            return StepFailed(IDS_LANDING_MBR);
        ok = key.RefreshKey();
        m_staticStatus.ShowStep(IDS_PARTITIONING);
        if (!ok || !key.WritePartitionTable())
            return StepFailed(IDS_PARTITIONING);
        ok = key.RefreshKey();
        key.CloseKey();
        m_staticStatus.ShowStep(IDS_FORMATTING);
        if (!ok || !key.FormatKey() || !key.RefreshKey())
            return StepFailed(IDS_FORMATTING);
        key.CloseKey();
        next = IDD_CONFIGURATION;
    }
    if (next != -1) {
        m_staticStatus.ShowStep(IDS_INSTALLING_SYSLINUX);
        if (!key.InstallBootLoader())
            return KeyFailed(key);
        m_pWizard->PushPage(m_nPageID);
    }
    return next;
}
