// The wizard sheet: the ten pages in their order, the page history that makes Back
// retrace the path taken, and the one key device object.
#pragma once

#include <vector>

#include "keydrive/KeyDrive.h"
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

class CWizard97 : public CPropertySheetEx {
public:
    CWizard97(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage);
    ~CWizard97() override;

    void PushPage(int id);
    int PopPage();   // -1 when the history is empty

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

// The sheet while it runs, as the application's main window; null when no sheet runs.
CWizard97* TheWizard();
