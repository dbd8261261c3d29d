#include "pages/Backup.h"

#include <cctype>
#include <vector>

#include "app/Wizard97.h"
#include "pages/BackupFile.h"
#include "pages/StepFailure.h"
#include "platform/OwnCalls.h"

BEGIN_MESSAGE_MAP(CBackup, CInteriorPropertyPage)
    ON_BN_CLICKED(IDC_BACKUP, &CBackup::OnBackup)
    ON_BN_CLICKED(IDC_RESTORE, &CBackup::OnRestore)
    ON_BN_CLICKED(IDC_BACKUP_BROWSE, &CBackup::OnBackupBrowse)
    ON_BN_CLICKED(IDC_RESTORE_BROWSE, &CBackup::OnRestoreBrowse)
END_MESSAGE_MAP()

int SayMissing(UINT nTextID, UINT nCaptionID)
{
    MessageBoxA(nullptr, LoadResString(nTextID).c_str(), LoadResString(nCaptionID).c_str(), MB_OK | MB_ICONEXCLAMATION);
    return -1;
}

int ImageFileFailed(UINT nID, const std::string& path)
{
    std::string reason = LastErrorReason();
    ShowFailure(FormatText(LoadResString(nID).c_str(), path.c_str()), reason);
    return -1;
}

int RefuseDrivePath(const std::string& path)
{
    bool letter = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    bool device = path.rfind("\\\\", 0) == 0 || path.rfind("//", 0) == 0;
    if (!letter && !device)
        return 0;
    std::string text = FormatText(LoadResString(IDS_NOT_A_LOCAL_FILE).c_str(), path.c_str());
    MessageBoxA(nullptr, text.c_str(), LoadResString(IDS_ERROR).c_str(), MB_OK | MB_ICONERROR);
    return -1;
}

std::string ImagesFolder()
{
    DWORD size = GetImagesFolder(nullptr, 0);
    std::vector<char> folder(size ? size : 1, '\0');
    if (size == 0 || GetImagesFolder(folder.data(), size) == 0)
        return std::string();
    return folder.data();
}

bool ChooseImageFile(bool open, std::string& path)
{
    DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | (open ? OFN_FILEMUSTEXIST : 0);
    std::string extension = LoadResString(IDS_IMAGE_EXTENSION);
    std::string filter = LoadResString(IDS_IMAGE_FILTER);
    std::string folder = ImagesFolder();
    CFileDialog dialog(open, extension.c_str(), nullptr, flags, filter.c_str(), nullptr);
    dialog.m_ofn.lpstrInitialDir = folder.c_str();
    if (dialog.DoModal() != IDOK)
        return false;
    path = dialog.GetPathName();
    return true;
}

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

// Before a new configuration only the backup is offered; otherwise the page shows the
// choices of the last visit.
BOOL CBackup::OnSetActive()
{
    if (m_bBackupFirst) {
        OnBackup();
        m_radioBackup.SetCheck(BST_CHECKED);
        m_radioRestore.EnableWindow(FALSE);
    } else {
        m_radioRestore.EnableWindow(TRUE);
    }
    m_staticStatus.SetWindowText("");
    m_nShownPercent = -1;
    return CInteriorPropertyPage::OnSetActive();
}

// The two directions lie in different dialog groups: each unchecks the other itself.
void CBackup::OnBackup()
{
    m_radioRestore.SetCheck(BST_UNCHECKED);
    m_staticRestoreLabel.EnableWindow(FALSE);
    m_editRestoreFile.EnableWindow(FALSE);
    m_buttonRestoreBrowse.EnableWindow(FALSE);
    m_staticBackupLabel.EnableWindow(TRUE);
    m_editBackupFile.EnableWindow(TRUE);
    m_buttonBackupBrowse.EnableWindow(TRUE);
}

void CBackup::OnRestore()
{
    m_radioBackup.SetCheck(BST_UNCHECKED);
    m_staticBackupLabel.EnableWindow(FALSE);
    m_editBackupFile.EnableWindow(FALSE);
    m_buttonBackupBrowse.EnableWindow(FALSE);
    m_staticRestoreLabel.EnableWindow(TRUE);
    m_editRestoreFile.EnableWindow(TRUE);
    m_buttonRestoreBrowse.EnableWindow(TRUE);
}

void CBackup::OnBackupBrowse()
{
    std::string path;
    if (!ChooseImageFile(false, path))
        return;
    m_editBackupFile.SetWindowText(path.c_str());
    m_strConfirmedTarget = path;
}

void CBackup::OnRestoreBrowse()
{
    std::string path;
    if (ChooseImageFile(true, path))
        m_editRestoreFile.SetWindowText(path.c_str());
}

bool CBackup::MayReplace(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) || path == m_strConfirmedTarget)
        return true;
    std::string question = FormatText(LoadResString(IDS_REPLACE_QUESTION).c_str(), path.c_str());
    return MessageBoxA(nullptr, question.c_str(), LoadResString(IDS_BACKUP_CAPTION).c_str(),
                       MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

// A transfer that fails stops the page: the box says what failed at which sector and why,
// the status line keeps the percentage reached, and the page stays. The file names are
// read whole: a name cut short would name another file. What is missing is said.
LRESULT CBackup::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    int next = -1;
    if (!m_radioBackup.GetCheck() && !m_radioRestore.GetCheck())
        return SayMissing(IDS_DIRECTION_MISSING, IDS_BACKUP_CAPTION);
    if (m_radioBackup.GetCheck()) {
        if (m_editBackupFile.GetWindowTextLength() == 0)
            return SayMissing(IDS_BACKUP_NAME_MISSING, IDS_BACKUP_CAPTION);
        std::string path = m_editBackupFile.GetWindowText();
        // Nothing that a disk stands on, no device, FIFO or socket: refused before the
        // question, and before anything is opened for writing.
        if (RefuseDrivePath(path))
            return -1;
        if (!CheckImageTarget(path.c_str()))
            return ImageFileFailed(IDS_CREATE_IMAGE_FAILED, path);
        if (!MayReplace(path) || !BackUpInto(path))
            return -1;
        next = m_bBackupFirst ? IDD_ROLE : IDD_COMPLETE;
    }
    if (m_radioRestore.GetCheck()) {
        if (m_editRestoreFile.GetWindowTextLength() == 0)
            return SayMissing(IDS_RESTORE_NAME_MISSING, IDS_BACKUP_CAPTION);
        std::string path = m_editRestoreFile.GetWindowText();
        if (RefuseDrivePath(path))
            return -1;
        // Read only: an image on read-only media or marked read-only restores as well. Only
        // an ordinary file opens, without waiting: a FIFO or a device is refused.
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return ImageFileFailed(IDS_OPEN_IMAGE_FAILED, path);
        ShowStep(IDS_RESTORING);
        bool restored = key.Restore(file);
        key.CloseFile(file);
        if (!restored)
            return KeyFailed(key);
        next = IDD_COMPLETE;
    }
    if (next != -1)
        m_pWizard->PushPage(m_nPageID);
    return next;
}

// The image goes into a new file beside the target, which takes the target's name only
// when the backup is whole; otherwise the box also says that the target is as it was.
bool CBackup::BackUpInto(const std::string& path)
{
    CKeyDrive& key = m_pWizard->m_keyDrive;
    CBackupFile image(path);
    HANDLE file = image.Create();
    if (file == INVALID_HANDLE_VALUE) {
        ImageFileFailed(IDS_CREATE_IMAGE_FAILED, path);
        return false;
    }
    ShowStep(IDS_BACKING_UP);
    UINT failedStep = 0;
    if (key.Backup(file) && image.Commit(failedStep))
        return true;
    std::string outcome = FormatText(LoadResString(image.TargetExisted() ? IDS_BACKUP_KEPT : IDS_BACKUP_NOT_MADE).c_str(),
                                     path.c_str());
    if (failedStep)
        key.NoteFailure(failedStep, path);
    KeyFailed(key, outcome);
    return false;
}

void CBackup::ShowStep(UINT nID)
{
    m_staticStatus.ShowStep(nID);
    m_nShownPercent = -1;
}

// A transfer asks for the same percentage at every 25th sector, thousands of times over:
// the text is rewritten only when the number changes.
void CBackup::ShowPercent(int percent)
{
    if (percent == m_nShownPercent)
        return;
    m_staticStatus.ShowPercent(percent);
    m_nShownPercent = percent;
}
