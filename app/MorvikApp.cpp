#include "app/MorvikApp.h"

#include "app/Wizard97.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/OwnCalls.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CmorvikApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

// The desktop knows the window by the name of the installed desktop entry.
CmorvikApp::CmorvikApp() { m_pszAppID = "org.bootwright.Bootwright"; }

namespace {

// A string-table text with one %s filled in.
std::string FormatResString(UINT nID, const char* value)
{
    std::string pattern = LoadResString(nID);
    std::vector<char> text(pattern.size() + std::strlen(value) + 1);
    std::snprintf(text.data(), text.size(), pattern.c_str(), value);
    return text.data();
}

}  // namespace

BOOL CmorvikApp::InitInstance()
{
    AfxOleInit();
    InitCommonControls();
    CWinApp::InitInstance();

    // The start-up checks of this platform, each ending the program with its message before
    // the wizard can touch a key: the support files are those beside the program; the
    // machine is the one asked for; disks can be opened for writing (root on this computer,
    // always on a sandbox machine); the outside programs that do the work are installed.
    if (!EnterProgramFolder()) {
        AfxMessageBox(IDS_PROGRAM_FOLDER, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    char problem[1024];
    if (GetMachineProblem(problem, sizeof(problem)) != 0) {
        AfxMessageBox(FormatResString(IDS_MACHINE_PROBLEM, problem).c_str(), MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    if (!AfxSocketInit() || !InitDiskAccess()) {
        AfxMessageBox(InitDiskAccess() ? IDS_SOCKETS_INIT_FAILED : IDS_NEED_ROOT, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    char packages[256];
    if (!FindMissingTools(packages, sizeof(packages))) {
        AfxMessageBox(FormatResString(IDS_TOOLS_MISSING, packages).c_str(), MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    AfxEnableControlContainer();

    CWizard97 sheet(IDS_WIZARD_CAPTION, nullptr, 0);
    m_pMainWnd = &sheet;
    sheet.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
