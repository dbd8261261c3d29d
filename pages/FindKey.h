// Page 109: lists the drive letters that discovery found to be USB keys and opens the
// one the user picks.
#pragma once

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CFindKey : public CInteriorPropertyPage {
public:
    CFindKey();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;

    CComboBox m_comboLetter;
    CStatic m_staticDescription;

protected:
    void OnSelChangeLetter();
    void DescribeSelectedKey();

    DECLARE_MESSAGE_MAP()
};
