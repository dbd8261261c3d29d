// Page 115: backs the whole key up into an image file or restores it from one.
#pragma once

#include "pages/KVPropertyPage.h"
#include "pages/StatusLine.h"
#include "res/resource.h"

class CBackup : public CInteriorPropertyPage {
public:
    CBackup();
    void DoDataExchange(CDataExchange* pDX) override;

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

    DECLARE_MESSAGE_MAP()
};
