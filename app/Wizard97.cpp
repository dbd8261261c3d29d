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

// The formatter's reports move the filesystem page's dots, also while the geometry page
// prepares: that page's own line is driven by no progress source.
void CWizard97::AdvanceFormatProgress()
{
    m_filesystemPage.AdvanceProgress();
}

void CWizard97::ShowCopying(const std::string& name)
{
    m_configurationPage.SetStatus((LoadResString(IDS_COPYING) + name).c_str());
}

void CWizard97::AdvanceCopyProgress()
{
    m_configurationPage.AdvanceProgress();
}

void CWizard97::ShowTransferStep(UINT nStepID)
{
    m_backupPage.ShowStep(nStepID);
}

void CWizard97::ShowTransferPercent(int percent)
{
    m_backupPage.ShowPercent(percent);
}

// The work's repaint is also where a press of Cancel is heard.
void CWizard97::Repaint()
{
    PumpWaitingInput();
}

bool CWizard97::StopRequested(UINT nQuestionID)
{
    if (!TakeCancelPress())
        return false;
    std::string question = LoadResString(nQuestionID);
    return MessageBoxA(nullptr, question.c_str(), LoadResString(IDS_STOP_CAPTION).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}
