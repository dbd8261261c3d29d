#include "pages/Geometry.h"

#include "app/Wizard97.h"
#include "pages/StatusLine.h"

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

LRESULT CGeometry::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    int next = -1;
    if (m_radioWithoutPartition.GetCheck()) {
        // One whole-device volume: no boot code and no table; the formatter formats the
        // volume that the key's letter names.
        key.RefreshKey();
        m_staticStatus.ShowStep(IDS_BLANKING_DRIVE);
        key.BlankKey();
        next = IDD_CONFIGURATION;
    }
    if (m_radioWithPartition.GetCheck()) {
        key.RefreshKey();
        m_staticStatus.ShowStep(IDS_BLANKING_DRIVE);
        key.BlankKey();
        key.RefreshKey();
        m_staticStatus.ShowStep(IDS_LANDING_MBR);
        key.LandMbr();
        key.RefreshKey();
        m_staticStatus.ShowStep(IDS_PARTITIONING);
        key.WritePartitionTable();
        next = IDD_CONFIGURATION;
    }
    if (next != -1) {
        key.RefreshKey();
        key.CloseKey();
        m_staticStatus.ShowStep(IDS_FORMATTING);
        key.FormatKey();
        key.RefreshKey();
        key.CloseKey();
        m_staticStatus.ShowStep(IDS_INSTALLING_SYSLINUX);
        key.InstallBootLoader();
        m_pWizard->PushPage(m_nPageID);
    }
    return next;
}
