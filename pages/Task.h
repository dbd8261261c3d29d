// Page 110: what to do with the key; chooses the route and the backup-first flag.
#pragma once

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CTask : public CInteriorPropertyPage {
public:
    CTask();
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    LRESULT OnWizardNext() override;

    CButton m_checkBackupFirst;
    CButton m_radioBackupRestore;
    CButton m_radioAddConfiguration;
    CButton m_radioCreateNew;

protected:
    void OnBackupRestore();
    void OnAddConfiguration();
    void OnCreateNew();

    DECLARE_MESSAGE_MAP()
};
