// Page 116: writes a floppy image over the start of the key.
#pragma once

#include <string>

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CImageKey : public CInteriorPropertyPage {
public:
    CImageKey();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    LRESULT OnWizardNext() override;

    CButton m_radioFromFile;
    CStatic m_staticFileLabel;
    CButton m_buttonBrowse;
    CEdit m_editFile;
    CButton m_radioFromDrive;
    CStatic m_staticDriveLabel;
    CComboBox m_comboDrive;

protected:
    void OnFromFile();
    void OnFromDrive();
    void OnBrowse();

private:
    // Writes the image from the source path onto the key; the page's result.
    int WriteImage(const std::string& source);

    DECLARE_MESSAGE_MAP()
};
