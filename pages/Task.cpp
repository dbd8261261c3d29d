#include "pages/Task.h"

#include "app/Wizard97.h"

BEGIN_MESSAGE_MAP(CTask, CInteriorPropertyPage)
    ON_BN_CLICKED(IDC_BACKUP_RESTORE, &CTask::OnBackupRestore)
    ON_BN_CLICKED(IDC_ADD_CONFIGURATION, &CTask::OnAddConfiguration)
    ON_BN_CLICKED(IDC_CREATE_NEW, &CTask::OnCreateNew)
END_MESSAGE_MAP()

CTask::CTask() : CInteriorPropertyPage(IDD_TASK, 0, 0, 0) {}

void CTask::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BACKUP_FIRST, m_checkBackupFirst);
    DDX_Control(pDX, IDC_BACKUP_RESTORE, m_radioBackupRestore);
    DDX_Control(pDX, IDC_ADD_CONFIGURATION, m_radioAddConfiguration);
    DDX_Control(pDX, IDC_CREATE_NEW, m_radioCreateNew);
}

BOOL CTask::OnInitDialog()
{
    CInteriorPropertyPage::OnInitDialog();
    m_radioCreateNew.SetCheck(BST_CHECKED);
    m_checkBackupFirst.EnableWindow(TRUE);
    return TRUE;
}

LRESULT CTask::OnWizardNext()
{
    int next = -1;
    {
        CWaitCursor wait;
        if (m_radioAddConfiguration.GetCheck())
            next = IDD_CONFIGURATION;
        if (m_radioCreateNew.GetCheck()) {
            if (m_checkBackupFirst.GetCheck()) {
                m_pWizard->m_backupPage.m_bBackupFirst = true;
                next = IDD_BACKUP;
            } else {
                next = IDD_ROLE;
            }
        }
        if (m_radioBackupRestore.GetCheck()) {
            m_pWizard->m_backupPage.m_bBackupFirst = false;
            next = IDD_BACKUP;
        }
    }
    if (next != -1)
        m_pWizard->PushPage(m_nPageID);
    return next;
}

// The backup-first box belongs to "create new" alone; disabling it keeps its check.
void CTask::OnBackupRestore()
{
    m_radioAddConfiguration.SetCheck(BST_UNCHECKED);
    m_radioCreateNew.SetCheck(BST_UNCHECKED);
    m_checkBackupFirst.EnableWindow(FALSE);
}

void CTask::OnAddConfiguration()
{
    m_radioBackupRestore.SetCheck(BST_UNCHECKED);
    m_radioCreateNew.SetCheck(BST_UNCHECKED);
    m_checkBackupFirst.EnableWindow(FALSE);
}

void CTask::OnCreateNew()
{
    m_radioBackupRestore.SetCheck(BST_UNCHECKED);
    m_radioAddConfiguration.SetCheck(BST_UNCHECKED);
    m_checkBackupFirst.EnableWindow(TRUE);
}
