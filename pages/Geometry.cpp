#include "pages/Geometry.h"

#include "app/Wizard97.h"
#include "pages/PreparationStep.h"

BEGIN_MESSAGE_MAP(CGeometry, CInteriorPropertyPage)
END_MESSAGE_MAP()

CGeometry::CGeometry() : CInteriorPropertyPage(IDD_GEOMETRY, 0, 0, 0) {}

void CGeometry::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_WITH_PARTITION, m_radioWithPartition);
    DDX_Control(pDX, IDC_WITHOUT_PARTITION, m_radioWithoutPartition);
    DDX_Control(pDX, IDC_GEOMETRY_STATUS, m_staticStatus);
}

BOOL CGeometry::OnInitDialog()
{
    CInteriorPropertyPage::OnInitDialog();
    m_radioWithPartition.SetCheck(BST_CHECKED);
    return TRUE;
}

BOOL CGeometry::OnSetActive()
{
    m_staticStatus.SetWindowText("");
    return CInteriorPropertyPage::OnSetActive();
}

void CGeometry::AdvanceProgress()
{
    m_staticStatus.Advance();
}

// The steps run as on the filesystem page: the first that fails stops the sequence.
LRESULT CGeometry::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    auto run = [&](const CPreparationStep& step) { return RunStep(key, m_staticStatus, step); };
    int next = -1;
    if (m_radioWithoutPartition.GetCheck()) {
        // One whole-device volume: no boot code and no table; the formatter formats the
        // volume that the key's letter names.
        if (!run(kBlankKey))
            return -1;
        next = IDD_CONFIGURATION;
    }
    if (m_radioWithPartition.GetCheck()) {
        bool prepared = run(kBlankKey)
                     && run(kLandMbr)
                     && run(kWritePartitionTable);
        if (!prepared)
            return -1;
        next = IDD_CONFIGURATION;
    }
    if (next != -1) {
        bool prepared = run(kFormatKey)
                     && run(kInstallBootLoader);
        if (!prepared)
            return -1;
        m_pWizard->PushPage(m_nPageID);
    }
    return next;
}
