// Page 106: greets the user; its Next runs key discovery.
#pragma once

#include "pages/KVPropertyPage.h"
#include "res/resource.h"

class CWelcomePage : public CExteriorPropertyPage {
public:
    CWelcomePage();
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;

    DECLARE_MESSAGE_MAP()
};
