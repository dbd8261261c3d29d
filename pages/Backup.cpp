#include "pages/Backup.h"

#include "app/Wizard97.h"
#include "pages/StatusLine.h"

BEGIN_MESSAGE_MAP(CBackup, CInteriorPropertyPage)
END_MESSAGE_MAP()

CBackup::CBackup() : CInteriorPropertyPage(IDD_BACKUP, 0, 0, 0) {}

void CBackup::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BACKUP, m_radioBackup);
    DDX_Control(pDX, IDC_BACKUP_LABEL, m_staticBackupLabel);
    DDX_Control(pDX, IDC_BACKUP_FILE, m_editBackupFile);
    DDX_Control(pDX, IDC_BACKUP_BROWSE, m_buttonBackupBrowse);
    DDX_Control(pDX, IDC_RESTORE, m_radioRestore);
    DDX_Control(pDX, IDC_RESTORE_LABEL, m_staticRestoreLabel);
    DDX_Control(pDX, IDC_RESTORE_FILE, m_editRestoreFile);
    DDX_Control(pDX, IDC_RESTORE_BROWSE, m_buttonRestoreBrowse);
    DDX_Control(pDX, IDC_BACKUP_STATUS, m_staticStatus);
}

void CBackup::ShowPercent(int percent)
{
    m_staticStatus.ShowPercent(percent);
}
