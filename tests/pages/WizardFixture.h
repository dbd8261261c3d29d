// Runs the real wizard sheet offscreen on a sandbox machine, driven by control identifier.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/KeyImage.h"
#include "app/Wizard97.h"
#include "tests/support/SheetDriver.h"
#include "res/resource.h"

class WizardFixture : public ::testing::Test {
protected:
    void Start()
    {
        sandbox.Use();
        wizard = std::make_unique<CWizard97>(IDS_WIZARD_CAPTION, nullptr, 0);
        app.m_pMainWnd = wizard.get();
        driver = std::make_unique<CSheetDriver>(*wizard);
    }

    void TearDown() override
    {
        driver.reset();
        app.m_pMainWnd = nullptr;
        wizard.reset();
    }

    std::vector<int> History() const { return wizard->m_history; }

    Sandbox sandbox;
    CWinApp app;
    std::unique_ptr<CWizard97> wizard;
    std::unique_ptr<CSheetDriver> driver;
};
