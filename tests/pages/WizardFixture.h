// Runs the real wizard sheet offscreen on a sandbox machine, driven by control identifier.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tests/support/KeyImage.h"
#include "app/Wizard97.h"
#include "tests/support/SheetDriver.h"
#include "res/resource.h"

// The wizard, with a hook that hears each repaint of its work, counted from when it was set.
struct CTestWizard : CWizard97 {
    using CWizard97::CWizard97;
    void DuringWork(std::function<void(int)> hook) { m_duringWork = std::move(hook), m_nRepaints = 0; }
    void Repaint() override
    {
        if (m_duringWork)
            m_duringWork(++m_nRepaints);
        CWizard97::Repaint();
    }
    std::function<void(int)> m_duringWork;
    int m_nRepaints = 0;
};

class WizardFixture : public ::testing::Test {
protected:
    void Start()
    {
        sandbox.Use();
        wizard = std::make_unique<CTestWizard>(IDS_WIZARD_CAPTION, nullptr, 0);
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
    std::unique_ptr<CTestWizard> wizard;
    std::unique_ptr<CSheetDriver> driver;
};
