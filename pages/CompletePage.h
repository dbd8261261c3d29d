// Page 108: the last page of every route that works on the key; Back and Finish.
#pragma once

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CCompletePage : public CExteriorPropertyPage {
public:
    CCompletePage();
    BOOL OnSetActive() override;
    LRESULT OnWizardBack() override;

    DECLARE_MESSAGE_MAP()
};
