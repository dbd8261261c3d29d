// Page 116: writes a floppy image over the start of the key.
#pragma once

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CImageKey : public CInteriorPropertyPage {
public:
    CImageKey();
    void DoDataExchange(CDataExchange* pDX) override;

    CButton m_radioFromFile;
    CStatic m_staticFileLabel;
    CButton m_buttonBrowse;
    CEdit m_editFile;
    CButton m_radioFromDrive;
    CStatic m_staticDriveLabel;
    CComboBox m_comboDrive;

    DECLARE_MESSAGE_MAP()
};
