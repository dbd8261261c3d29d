#include "pages/ImageKey.h"

#include "app/Wizard97.h"
#include "pages/Backup.h"
#include "pages/StepFailure.h"

BEGIN_MESSAGE_MAP(CImageKey, CInteriorPropertyPage)
    ON_BN_CLICKED(IDC_IMAGE_FROM_FILE, &CImageKey::OnFromFile)
    ON_BN_CLICKED(IDC_IMAGE_FROM_DRIVE, &CImageKey::OnFromDrive)
    ON_BN_CLICKED(IDC_IMAGE_BROWSE, &CImageKey::OnBrowse)
END_MESSAGE_MAP()

CImageKey::CImageKey() : CInteriorPropertyPage(IDD_IMAGEKEY, 0, 0, 0) {}

void CImageKey::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_IMAGE_FROM_FILE, m_radioFromFile);
    DDX_Control(pDX, IDC_IMAGE_FILE_LABEL, m_staticFileLabel);
    DDX_Control(pDX, IDC_IMAGE_BROWSE, m_buttonBrowse);
    DDX_Control(pDX, IDC_IMAGE_FILE, m_editFile);
    DDX_Control(pDX, IDC_IMAGE_FROM_DRIVE, m_radioFromDrive);
    DDX_Control(pDX, IDC_IMAGE_DRIVE_LABEL, m_staticDriveLabel);
    DDX_Control(pDX, IDC_IMAGE_DRIVE, m_comboDrive);
}

// The floppy drives discovery found; the list is filled once, when the page is first shown.
BOOL CImageKey::OnInitDialog()
{
    CInteriorPropertyPage::OnInitDialog();
    CKeyDrive& key = m_pWizard->m_keyDrive;
    if (key.m_bDriveA)
        m_comboDrive.AddString(LoadResString(IDS_DRIVE_A).c_str());
    if (key.m_bDriveB)
        m_comboDrive.AddString(LoadResString(IDS_DRIVE_B).c_str());
    m_comboDrive.SetCurSel(0);
    return TRUE;
}

// The two sources lie in different dialog groups: each unchecks the other itself.
void CImageKey::OnFromFile()
{
    m_radioFromDrive.SetCheck(BST_UNCHECKED);
    m_staticDriveLabel.EnableWindow(FALSE);
    m_comboDrive.EnableWindow(FALSE);
    m_staticFileLabel.EnableWindow(TRUE);
    m_editFile.EnableWindow(TRUE);
    m_buttonBrowse.EnableWindow(TRUE);
}

void CImageKey::OnFromDrive()
{
    m_radioFromFile.SetCheck(BST_UNCHECKED);
    m_staticFileLabel.EnableWindow(FALSE);
    m_editFile.EnableWindow(FALSE);
    m_buttonBrowse.EnableWindow(FALSE);
    m_staticDriveLabel.EnableWindow(TRUE);
    m_comboDrive.EnableWindow(TRUE);
}

void CImageKey::OnBrowse()
{
    std::string path;
    if (ChooseImageFile(true, path))
        m_editFile.SetWindowText(path.c_str());
}

// Only a chosen list entry names a drive: text typed into the list's field does not. What
// is missing is said.
LRESULT CImageKey::OnWizardNext()
{
    CWaitCursor wait;
    int next = -1;
    if (!m_radioFromFile.GetCheck() && !m_radioFromDrive.GetCheck())
        return SayMissing(IDS_SOURCE_MISSING, IDS_IMAGEKEY_CAPTION);
    if (m_radioFromFile.GetCheck()) {
        if (m_editFile.GetWindowTextLength() == 0)
            return SayMissing(IDS_FLOPPY_NAME_MISSING, IDS_IMAGEKEY_CAPTION);
        std::string path = m_editFile.GetWindowText();
        next = RefuseDrivePath(path) ? -1 : WriteImage(path);
    }
    if (m_radioFromDrive.GetCheck()) {
        if (m_comboDrive.GetCurSel() == CB_ERR)
            return SayMissing(m_comboDrive.GetCount() ? IDS_DRIVE_MISSING : IDS_NO_FLOPPY_DRIVE, IDS_IMAGEKEY_CAPTION);
        next = WriteImage(LoadResString(IDS_FLOPPY_DEVICE) + m_comboDrive.GetLBText(m_comboDrive.GetCurSel()));
    }
    if (next != -1)
        m_pWizard->PushPage(m_nPageID);
    return next;
}

// The source is opened for reading only, so that read-only image files and
// write-protected floppies serve as well; a file source opens only as an ordinary file,
// without waiting (a FIFO or a device is refused). A source that cannot be opened or read, or a
// write that fails, is reported and the page stays.
int CImageKey::WriteImage(const std::string& source)
{
    CKeyDrive& key = m_pWizard->m_keyDrive;
    HANDLE handle = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return ImageFileFailed(IDS_OPEN_IMAGE_FAILED, source);
    bool written = key.WriteFloppyImage(handle);
    key.CloseFile(handle);
    return written ? IDD_COMPLETE : KeyFailed(key);
}
