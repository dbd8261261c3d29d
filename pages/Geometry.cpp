#include "pages/Geometry.h"

#include "app/Wizard97.h"
#include "pages/StatusLine.h"
#include "pages/StepFailure.h"

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

// Every step is checked, as on the filesystem page.
LRESULT CGeometry::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    int next = -1;
    if (m_radioWithoutPartition.GetCheck()) {
        // One whole-device volume: no boot code and no table; the formatter formats the
        // volume that the key's letter names.
        bool ok = key.RefreshKey();
        m_staticStatus.ShowStep(IDS_BLANKING_DRIVE);
        if (!ok || !key.BlankKey())
            return StepFailed(IDS_BLANKING_DRIVE);
        next = IDD_CONFIGURATION;
    }
    if (m_radioWithPartition.GetCheck()) {
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
        next = IDD_CONFIGURATION;
    }
    if (next != -1) {
        bool ok = key.RefreshKey();
        key.CloseKey();
        m_staticStatus.ShowStep(IDS_FORMATTING);
        if (!ok || !key.FormatKey() || !key.RefreshKey())
            return StepFailed(IDS_FORMATTING);
        key.CloseKey();
        m_staticStatus.ShowStep(IDS_INSTALLING_SYSLINUX);
        if (!key.InstallBootLoader())
            return KeyFailed(key);
        m_pWizard->PushPage(m_nPageID);
    }
    return next;
}
