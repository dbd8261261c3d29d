// Page 114: what the key will boot, the firmware flash package or a floppy image.
#pragma once

#include "pages/FilterEdit.h"
#include "pages/KVPropertyPage.h"
#include "pages/StatusLine.h"
#include "res/resource.h"

class CConfiguration : public CInteriorPropertyPage {
public:
    CConfiguration();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardBack() override;
    LRESULT OnWizardNext() override;

    void SetStatus(LPCSTR text);
    void AdvanceProgress();

    CButton m_radioFlashPackage;
    CButton m_radioFloppyImage;
    CStatic m_staticDrive;
    CComboBox m_comboDrive;
    CStatic m_groupMenuText;
    CStatic m_staticShortName;
    CStatic m_staticLongName;
    CFilterEdit m_editShortName;
    CEdit m_editLongName;
    CStatusLine m_staticStatus;

protected:
    void OnFlashPackage();
    void OnFloppyImage();
    // The floppy choice's controls, enabled or not together.
    void EnableFloppyControls(BOOL bEnable);
    // False, with a message saying why, when the names cannot make a boot choice.
    bool NamesAreUsable(const std::string& shortName, const std::string& longName);

    DECLARE_MESSAGE_MAP()
};
