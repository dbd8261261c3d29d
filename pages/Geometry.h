// Page 113: prepares the key with or without a partition table. It is in the sheet, but no
// route leads to it.
#pragma once

#include "pages/KVPropertyPage.h"
#include "pages/StatusLine.h"
#include "res/resource.h"

class CGeometry : public CInteriorPropertyPage {
public:
    CGeometry();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;

    void AdvanceProgress();

    CButton m_radioWithPartition;
    CButton m_radioWithoutPartition;
    CStatusLine m_staticStatus;

    DECLARE_MESSAGE_MAP()
};
