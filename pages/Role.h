// Page 111: the role the key is to serve, a hard drive or a floppy disk.
#pragma once

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CRole : public CInteriorPropertyPage {
public:
    CRole();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    LRESULT OnWizardNext() override;

    CButton m_radioHardDrive;
    CButton m_radioFloppyDisk;

    DECLARE_MESSAGE_MAP()
};
