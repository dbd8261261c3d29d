// Page 112: rebuilds the key (blank, boot code, partition table, format, boot loader) or
// only renews its boot code and boot loader.
#pragma once

#include "pages/KVPropertyPage.h"
#include "pages/StatusLine.h"
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
    CStatusLine m_staticStatus;

    DECLARE_MESSAGE_MAP()
};
