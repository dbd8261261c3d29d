#include "pages/FindKey.h"

#include "app/Wizard97.h"
#include "pages/KeyDescription.h"
#include "pages/StepFailure.h"
#include "keydrive/LastError.h"

#include <cstdio>

BEGIN_MESSAGE_MAP(CFindKey, CInteriorPropertyPage)
    ON_CBN_SELCHANGE(IDC_LETTER, &CFindKey::OnSelChangeLetter)
END_MESSAGE_MAP()

CFindKey::CFindKey() : CInteriorPropertyPage(IDD_FINDKEY, 0, 0, 0) {}

void CFindKey::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LETTER, m_comboLetter);
    DDX_Control(pDX, IDC_KEY_DESCRIPTION, m_staticDescription);
}

// The list is built once, at the first showing: discovery has run by then.
BOOL CFindKey::OnInitDialog()
{
    CInteriorPropertyPage::OnInitDialog();
    for (int i = 0; i < 26; i++) {
        if (m_pWizard->m_keyDrive.m_bIsKey[i]) {
            char entry[3] = {static_cast<char>('A' + i), ':', '\0'};
            m_comboLetter.AddString(entry);
        }
    }
    m_comboLetter.SetCurSel(m_comboLetter.GetCount() - 1);
    DescribeSelectedKey();
    return FALSE;
}

BOOL CFindKey::OnSetActive()
{
    DescribeSelectedKey();
    return CInteriorPropertyPage::OnSetActive();
}

// A key that cannot be opened is named in an error box with the reason, and the page stays:
// every page after this one works on the opened key.
LRESULT CFindKey::OnWizardNext()
{
    {
        CWaitCursor wait;
        int index = m_comboLetter.GetCurSel();
        if (index == CB_ERR)
            return -1;
        std::string entry = m_comboLetter.GetLBText(index);
        char letter = entry.empty() ? '\0' : entry[0];
        if (!m_pWizard->m_keyDrive.OpenKey(letter)) {
            // The disk helper did not start (no password given, no agent, no pkexec): say
            // what to do, not only what failed.
            CLastError error = CLastError::Now();
            if (error.dwCode == ERROR_NOT_AUTHENTICATED) {
                std::string text = FormatText(LoadResString(IDS_HELPER_NOT_STARTED).c_str(), error.strDetail.c_str());
                MessageBoxA(nullptr, text.c_str(), LoadResString(IDS_ERROR).c_str(), MB_OK | MB_ICONERROR);
                return -1;
            }
            std::string reason = LastErrorReason();
            char what[128];
            std::snprintf(what, sizeof(what), LoadResString(IDS_KEY_OPEN_FAILED).c_str(), letter);
            ShowFailure(what, reason);
            return -1;
        }
    }
    m_pWizard->PushPage(m_nPageID);
    return IDD_TASK;
}

void CFindKey::OnSelChangeLetter()
{
    DescribeSelectedKey();
}

// The line under the list names the selected key as a person knows it, so that nobody
// picks the wrong disk.
void CFindKey::DescribeSelectedKey()
{
    int index = m_comboLetter.GetCurSel();
    if (index == CB_ERR) {
        m_staticDescription.SetWindowText(LoadResString(IDS_KEY_NONE).c_str());
        return;
    }
    std::string entry = m_comboLetter.GetLBText(index);
    int disk = m_pWizard->m_keyDrive.m_nDiskNumber[entry[0] - 'A'];
    m_staticDescription.SetWindowText(KeyDescription(disk).c_str());
}
