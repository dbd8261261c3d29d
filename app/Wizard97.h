// The wizard sheet: the ten pages in their order, the page history that makes Back
// retrace the path taken, and the one key device object.
#pragma once

#include <vector>

#include "keydrive/KeyDrive.h"
#include "keydrive/KeyProgress.h"
#include "pages/Backup.h"
#include "pages/CompletePage.h"
#include "pages/Configuration.h"
#include "pages/Filesystem.h"
#include "pages/FindKey.h"
#include "pages/Geometry.h"
#include "pages/ImageKey.h"
#include "pages/Role.h"
#include "pages/Task.h"
#include "pages/WelcomePage.h"

class CWizard97 : public CPropertySheetEx, public CKeyProgress {
public:
    CWizard97(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage);
    ~CWizard97() override;

    void PushPage(int id);
    int PopPage();   // -1 when the history is empty

    // What the key's long operations show, on the status lines of the pages whose work they do.
    void AdvanceFormatProgress() override;
    void ShowCopying(const std::string& name) override;
    void AdvanceCopyProgress() override;
    void ShowTransferStep(UINT nStepID) override;
    void ShowTransferPercent(int percent) override;
    void Repaint() override;
    bool StopRequested(UINT nQuestionID) override;

    // Members in construction order: configuration before geometry, unlike the page order.
    CWelcomePage m_welcomePage;
    CFindKey m_findKeyPage;
    CTask m_taskPage;
    CRole m_rolePage;
    CFilesystem m_filesystemPage;
    CConfiguration m_configurationPage;
    CGeometry m_geometryPage;
    CBackup m_backupPage;
    CImageKey m_imageKeyPage;
    CCompletePage m_completePage;
    std::vector<int> m_history;
    CKeyDrive m_keyDrive;
};
