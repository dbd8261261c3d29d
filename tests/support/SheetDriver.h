// Drives a wizard sheet the way a person would, offscreen, for tests of pages: clicks
// the real controls, types characters through the character message, presses the
// wizard's buttons. Control identifiers refer to the controls of the current page.
#pragma once

#include <string>
#include <vector>

#include "framework/Afx.h"
#include "framework/TestSeam.h"

// The Qt application of a test program, made offscreen when no display is set; it lives
// to the end of the process.
void EnsureApplication();

class CSheetDriver {
public:
    // Creates the sheet's window (offscreen when no display is set) and shows the start
    // page. A Qt application is created first if the test has none.
    explicit CSheetDriver(CPropertySheetEx& sheet);
    ~CSheetDriver();
    CSheetDriver(const CSheetDriver&) = delete;
    CSheetDriver& operator=(const CSheetDriver&) = delete;

    int CurrentPageId();   // the template number of the page shown; -1 when closed

    bool Click(int id);   // mouse press and release on the control; false if not clickable
    void TypeChars(int id, const std::string& utf8);   // "\b" types a backspace
    bool Select(int comboId, const std::string& entryText);
    bool SelectIndex(int comboId, int index);
    void SetText(int id, const std::string& utf8);   // like pasting: no character messages

    // The wizard's buttons; false (and nothing happens) when the button is not offered.
    bool Next();
    bool Back();
    bool Finish();
    bool Cancel();
    // A click, made while the program works, on a control of the page or on the wizard's
    // ID_WIZBACK, ID_WIZNEXT or IDCANCEL_BUTTON: it waits among the pending input until the
    // program next takes input in.
    void QueueClick(int id);
    void PressEnter();    // Enter key on the control that has the focus
    void PressEscape();
    void KeyOn(int id, int qtKey);   // a key press and release on a control (arrows, Space)

    bool IsClosed();
    INT_PTR Result();
    DWORD Buttons();   // PSWIZB_* of the buttons shown and enabled
    bool Exists(int id);
    bool IsEnabled(int id);
    bool IsChecked(int id);
    bool HasFocus(int id);
    std::string Text(int id);
    std::vector<std::string> Entries(int comboId);
    int CurSel(int comboId);
    std::string WindowTitle();
    bool SaveScreenshot(const std::string& pngPath);

    // Runs what is posted (SetWizardButtons, deferred window teardown).
    void ProcessEvents();

private:
    CPropertySheetEx& m_sheet;
};
