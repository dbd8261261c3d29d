#include "app/MorvikApp.h"

#include "app/Wizard97.h"
#include "platform/OwnCalls.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CmorvikApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CmorvikApp::CmorvikApp() = default;

BOOL CmorvikApp::InitInstance()
{
    AfxOleInit();
    InitCommonControls();
    CWinApp::InitInstance();

    // The start-up check of this platform: the program must be able to open disks for
    // writing (root on this computer; always so on a sandbox machine).
    if (!AfxSocketInit() || !InitDiskAccess()) {
        AfxMessageBox(InitDiskAccess() ? IDS_SOCKETS_INIT_FAILED : IDS_NEED_ROOT, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    AfxEnableControlContainer();

    CWizard97 sheet(IDS_WIZARD_CAPTION, nullptr, 0);
    m_pMainWnd = &sheet;
    sheet.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
