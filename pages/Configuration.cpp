#include "pages/Configuration.h"

#include "app/Wizard97.h"
#include "pages/StatusLine.h"
#include "pages/StepFailure.h"

BEGIN_MESSAGE_MAP(CConfiguration, CInteriorPropertyPage)
    ON_BN_CLICKED(IDC_FLASH_PACKAGE, &CConfiguration::OnFlashPackage)
    ON_BN_CLICKED(IDC_FLOPPY_IMAGE, &CConfiguration::OnFloppyImage)
END_MESSAGE_MAP()

namespace {

constexpr int kShortNameLimit = 8;
constexpr int kNameBound = 260;   // the most that is read from a name field

std::string NameOf(const CEdit& edit)
{
    char name[kNameBound + 1] = "";
    edit.GetWindowText(name, sizeof name);
    return name;
}

// False, the answer of a box that only tells.
bool Refuse(const std::string& text)
{
    MessageBoxA(nullptr, text.c_str(), LoadResString(IDS_CONFIGURATION_CAPTION).c_str(), MB_OK | MB_ICONEXCLAMATION);
    return false;
}

bool Ask(const std::string& question)
{
    return MessageBoxA(nullptr, question.c_str(), LoadResString(IDS_CONFIGURATION_CAPTION).c_str(),
                       MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

}  // namespace

CConfiguration::CConfiguration() : CInteriorPropertyPage(IDD_CONFIGURATION, 0, 0, 0) {}

void CConfiguration::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FLASH_PACKAGE, m_radioFlashPackage);
    DDX_Control(pDX, IDC_FLOPPY_IMAGE, m_radioFloppyImage);
    DDX_Control(pDX, IDC_CONFIG_DRIVE_LABEL, m_staticDrive);
    DDX_Control(pDX, IDC_CONFIG_DRIVE, m_comboDrive);
    DDX_Control(pDX, IDC_MENU_TEXT, m_groupMenuText);
    DDX_Control(pDX, IDC_SHORT_NAME_LABEL, m_staticShortName);
    DDX_Control(pDX, IDC_LONG_NAME_LABEL, m_staticLongName);
    DDX_Control(pDX, IDC_SHORT_NAME, m_editShortName);
    DDX_Control(pDX, IDC_LONG_NAME, m_editLongName);
    DDX_Control(pDX, IDC_CONFIG_STATUS, m_staticStatus);
}

// The floppy drives are listed once, when the page is first shown.
BOOL CConfiguration::OnInitDialog()
{
    CInteriorPropertyPage::OnInitDialog();
    CKeyDrive& key = m_pWizard->m_keyDrive;
    if (key.m_bDriveA)
        m_comboDrive.AddString(LoadResString(IDS_DRIVE_A).c_str());
    if (key.m_bDriveB)
        m_comboDrive.AddString(LoadResString(IDS_DRIVE_B).c_str());
    m_comboDrive.SetCurSel(0);
    m_radioFlashPackage.SetCheck(BST_CHECKED);
    m_staticStatus.SetWindowText("");
    m_editShortName.LimitText(kShortNameLimit);
    return TRUE;
}

// The files of the key are written through its file system while this page is shown,
// so the raw handles are closed.
BOOL CConfiguration::OnSetActive()
{
    m_pWizard->m_keyDrive.CloseKey();
    return CInteriorPropertyPage::OnSetActive();
}

// The page before works on the raw key again.
LRESULT CConfiguration::OnWizardBack()
{
    m_pWizard->m_keyDrive.RefreshKey();
    return CInteriorPropertyPage::OnWizardBack();
}

void CConfiguration::EnableFloppyControls(BOOL bEnable)
{
    m_staticDrive.EnableWindow(bEnable);
    m_comboDrive.EnableWindow(bEnable);
    m_groupMenuText.EnableWindow(bEnable);
    m_staticShortName.EnableWindow(bEnable);
    m_editShortName.EnableWindow(bEnable);
    m_staticLongName.EnableWindow(bEnable);
    m_editLongName.EnableWindow(bEnable);
}

void CConfiguration::OnFlashPackage()
{
    m_radioFloppyImage.SetCheck(BST_UNCHECKED);
    EnableFloppyControls(FALSE);
}

// Without a floppy drive the choice falls back to the flash package, silently.
void CConfiguration::OnFloppyImage()
{
    if (m_comboDrive.GetCount() > 0) {
        m_radioFlashPackage.SetCheck(BST_UNCHECKED);
        EnableFloppyControls(TRUE);
    } else {
        m_radioFlashPackage.SetCheck(BST_CHECKED);
        OnFlashPackage();
    }
}

// Every operation is checked: the first that fails names its file and the reason in an
// error box, and the page stays. A run of the flash copy that stopped at a folder the key
// already holds is no failure: the tree was copied there before.
LRESULT CConfiguration::OnWizardNext()
{
    CWaitCursor wait;
    CKeyDrive& key = m_pWizard->m_keyDrive;
    int next = -1;
    if (m_radioFlashPackage.GetCheck()) {
        if (!key.CopyFlashPackage() && key.m_failure.nStep != 0)
            return KeyFailed(key);
        if (!key.WriteFlashConfiguration())
            return KeyFailed(key);
        next = IDD_COMPLETE;
    }
    if (m_radioFloppyImage.GetCheck()) {
        int index = m_comboDrive.GetCurSel();
        std::string shortName = NameOf(m_editShortName);
        std::string longName = NameOf(m_editLongName);
        if (index != CB_ERR) {
            if (!NamesAreUsable(shortName, longName))
                return -1;
            bool exists = false;
            if (!key.HasBootChoice(shortName, exists))
                return KeyFailed(key);
            if (exists && !Ask(FormatText(LoadResString(IDS_CHOICE_EXISTS).c_str(), shortName.c_str())))
                return -1;
            std::string drive = m_comboDrive.GetLBText(index);
            if (!key.CaptureFloppyImage(drive, shortName))
                return KeyFailed(key);
            if (!key.AddImageConfiguration(shortName, longName))
                return KeyFailed(key);
            next = IDD_COMPLETE;
        }
    }
    if (next != -1)
        m_pWizard->PushPage(m_nPageID);
    return next;
}

// Names that cannot boot, or would take a file of the key's own, are refused, and a long
// name is cut only where the user sees it: each is said, and the page stays.
bool CConfiguration::NamesAreUsable(const std::string& shortName, const std::string& longName)
{
    if (UINT problem = CKeyDrive::ShortNameProblem(shortName))
        return Refuse(FormatText(LoadResString(problem).c_str(), shortName.c_str()));
    if (longName.empty())
        return Refuse(LoadResString(IDS_LONG_NAME_MISSING));
    if (m_editLongName.GetWindowTextLength() > static_cast<int>(longName.size())) {
        m_editLongName.SetWindowText(longName.c_str());
        return Refuse(FormatText(LoadResString(IDS_LONG_NAME_CUT).c_str(), static_cast<unsigned>(longName.size())));
    }
    return true;
}

void CConfiguration::SetStatus(LPCSTR text)
{
    m_staticStatus.SetWindowText(text);
}

void CConfiguration::AdvanceProgress()
{
    m_staticStatus.Advance();
}
