// Shared pieces of the framework tests: the test resources, and a page that counts the
// notifications it receives.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/Afx.h"
#include "tests/framework/TestDialogs.h"

class QWidget;
// Alt+key through the window system, as a person presses a mnemonic; waits until the
// delayed click of the button has come. False when the window could not be activated.
bool PressMnemonic(QWidget* window, int qtKey);

// The bytes of TestDialogs.res, loaded once.
const std::vector<uint8_t>& TestResBytes();
// Makes the test resources the module's resources for the lifetime of the object.
class UseTestResources {
public:
    explicit UseTestResources(uint16_t language = 1033);
    ~UseTestResources();
};

// An edit that refuses spaces and full stops as they are typed.
class CNoSpaceEdit : public CEdit {
public:
    void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) override;
    std::vector<UINT> m_seen;
    DECLARE_MESSAGE_MAP()
};

// The controls dialog as a page, recording every click notification.
class CControlsPage : public CPropertyPageEx {
public:
    CControlsPage() : CPropertyPageEx(IDD_T_CONTROLS) {}
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    std::map<int, int> m_clicks;   // control -> notifications
    int m_selChanges = 0;
    int m_initCount = 0;
    CNoSpaceEdit m_filtered;
    CButton m_radioA;
    CComboBox m_sorted;

protected:
    void OnRadioA() { ++m_clicks[IDC_T_RADIO_A]; }
    void OnRadioB() { ++m_clicks[IDC_T_RADIO_B]; }
    void OnRadioC() { ++m_clicks[IDC_T_RADIO_C]; }
    void OnRadioD() { ++m_clicks[IDC_T_RADIO_D]; }
    void OnCheck() { ++m_clicks[IDC_T_CHECK]; }
    void OnPush() { ++m_clicks[IDC_T_PUSH]; }
    void OnSortedChange() { ++m_selChanges; }
    DECLARE_MESSAGE_MAP()
};

class CControlsSheet : public CPropertySheetEx {
public:
    CControlsSheet() : CPropertySheetEx(0) { AddPage(&m_page); SetWizardMode(); }
    CControlsPage m_page;
};
