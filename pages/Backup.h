// Page 115: backs the whole key up into an image file or restores it from one.
#pragma once

#include <string>

#include "pages/KVPropertyPage.h"
#include "pages/StatusLine.h"
#include "res/resource.h"

class CBackup : public CInteriorPropertyPage {
public:
    CBackup();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;

    // The status line: a step text, and the percentage in place of its last three bytes.
    void ShowStep(UINT nID);
    void ShowPercent(int percent);

    bool m_bBackupFirst = false;

    CButton m_radioBackup;
    CStatic m_staticBackupLabel;
    CEdit m_editBackupFile;
    CButton m_buttonBackupBrowse;
    CButton m_radioRestore;
    CStatic m_staticRestoreLabel;
    CEdit m_editRestoreFile;
    CButton m_buttonRestoreBrowse;
    CStatusLine m_staticStatus;

protected:
    void OnBackup();
    void OnRestore();
    void OnBackupBrowse();
    void OnRestoreBrowse();

private:
    // False when the target exists, was not chosen through the save dialog (which asked
    // already), and the user does not want it replaced.
    bool MayReplace(const std::string& path);
    // Backs the key up into the file `path`, replacing it only when the backup is whole;
    // false when it failed or was stopped, and said so.
    bool BackUpInto(const std::string& path);

    // The percentage the status line shows now; -1 after a new step text.
    int m_nShownPercent = -1;
    // The backup target the save dialog confirmed, overwrite question included.
    std::string m_strConfirmedTarget;

    DECLARE_MESSAGE_MAP()
};

// The folder the image file dialogs open in (empty when there is none).
std::string ImagesFolder();

// A box with the page's caption that says what Next still needs (a choice, a file name);
// -1, the result of a Next that stays.
int SayMissing(UINT nTextID, UINT nCaptionID);

// The error box for an image file that cannot be opened or created: the string-table text
// `nID` with the file's path, and the reason for the last failure. -1, the result of a Next
// that stays.
int ImageFileFailed(UINT nID, const std::string& path);

// An image file named by a drive letter (C:\bk.img, A:\bk.img, the key's own E:\x.img) or a
// device name reaches a disk, not a file of this computer: it is refused, with a box that
// says to choose a file of this computer, before anything is opened. -1 when refused (the
// result of a Next that stays), 0 when the path is a file of this computer.
int RefuseDrivePath(const std::string& path);

// The image file dialog of the backup and image key pages: a save dialog for a backup
// target, an open dialog for an image to write. True and the full path when confirmed.
bool ChooseImageFile(bool open, std::string& path);
