#include "pages/Filesystem.h"

#include "app/Wizard97.h"
#include "pages/PreparationStep.h"

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

// The steps run one after the other; the first that fails stops the sequence, its text
// stays on the status line, an error box names it and gives the reason, and the page stays.
// Next then runs the sequence again from its start.
LRESULT CFilesystem::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    auto run = [&](const CPreparationStep& step) { return RunStep(key, m_staticStatus, step); };
    int next = -1;
    if (m_radioLeaveFilesystem.GetCheck()) {
        // The contents stay: only the boot code in front of the partition table is renewed.
        if (!run(kRenewBootCode))
            return -1;
        next = IDD_CONFIGURATION;
    }
    if (m_radioCreateFilesystem.GetCheck()) {
        bool prepared = run(kBlankKey)
                     && run(kLandMbr)
                     && run(kWritePartitionTable)
                     && run(kFormatKey);
        if (!prepared)
            return -1;
        next = IDD_CONFIGURATION;
    }
    if (next != -1) {
        if (!run(kInstallBootLoader))
            return -1;
        m_pWizard->PushPage(m_nPageID);
    }
    return next;
}
