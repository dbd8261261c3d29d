// The page bases: every page knows its identifier and its sheet, and by default Next
// records the page in the sheet's history and Back returns along it.
#pragma once

#include "framework/Afx.h"

class CWizard97;

class CKVPropertyPage : public CPropertyPageEx {
public:
    CKVPropertyPage(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle);
    ~CKVPropertyPage() override;

    BOOL OnInitDialog() override;
    LRESULT OnWizardBack() override;
    LRESULT OnWizardNext() override;
    void DoDataExchange(CDataExchange* pDX) override;

    int m_nPageID;
    CWizard97* m_pWizard = nullptr;

    DECLARE_MESSAGE_MAP()
};

class CInteriorPropertyPage : public CKVPropertyPage {
public:
    CInteriorPropertyPage(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle);
    ~CInteriorPropertyPage() override;

    DECLARE_MESSAGE_MAP()
};

class CExteriorPropertyPage : public CKVPropertyPage {
public:
    explicit CExteriorPropertyPage(UINT nIDTemplate);
    ~CExteriorPropertyPage() override;

    DECLARE_MESSAGE_MAP()
};
