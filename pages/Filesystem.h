// Page 112: rebuilds the key (blank, boot code, partition table, format, boot loader) or
// only renews its boot code and boot loader.
#pragma once

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CFilesystem : public CInteriorPropertyPage {
public:
    CFilesystem();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;

    void AdvanceProgress();

    CButton m_radioCreateFilesystem;
    CButton m_radioLeaveFilesystem;
    CStatic m_staticStatus;

protected:
    void SetStatusText(UINT nID);

    DECLARE_MESSAGE_MAP()
};
