#include "app/Wizard97.h"

#include "res/resource.h"

CWizard97::CWizard97(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheetEx(nIDCaption, pParentWnd, iSelectPage)
{
    SetWizardMode();

    // The order of the sheet decides which page "the next page" is: geometry comes
    // before configuration here, unlike the members.
    AddPage(&m_welcomePage);
    AddPage(&m_findKeyPage);
    AddPage(&m_taskPage);
    AddPage(&m_rolePage);
    AddPage(&m_filesystemPage);
    AddPage(&m_geometryPage);
    AddPage(&m_configurationPage);
    AddPage(&m_backupPage);
    AddPage(&m_imageKeyPage);
    AddPage(&m_completePage);

    m_psh.dwFlags = (m_psh.dwFlags & ~PSH_HASHELP) | PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK;
    m_psh.hInstance = AfxGetInstanceHandle();
    m_psh.pszbmWatermark = MAKEINTRESOURCE(IDB_WATERMARK);
    m_psh.pszbmHeader = MAKEINTRESOURCE(IDB_HEADER);
}

// Members go in reverse order: the key device object first (it closes the key and
// releases the formatter), then the history, then the pages.
CWizard97::~CWizard97() = default;

void CWizard97::PushPage(int id)
{
    m_history.push_back(id);
}

int CWizard97::PopPage()
{
    if (m_history.empty())
        return -1;
    int id = m_history.back();
    m_history.pop_back();
    return id;
}

CWizard97* TheWizard()
{
    return dynamic_cast<CWizard97*>(AfxGetMainWnd());
}
