#include "pages/ImageKey.h"

#include "app/Wizard97.h"

BEGIN_MESSAGE_MAP(CImageKey, CInteriorPropertyPage)
END_MESSAGE_MAP()

CImageKey::CImageKey() : CInteriorPropertyPage(IDD_IMAGEKEY, 0, 0, 0) {}

void CImageKey::DoDataExchange(CDataExchange* pDX)
{
    CInteriorPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_IMAGE_FROM_FILE, m_radioFromFile);
    DDX_Control(pDX, IDC_IMAGE_FILE_LABEL, m_staticFileLabel);
    DDX_Control(pDX, IDC_IMAGE_BROWSE, m_buttonBrowse);
    DDX_Control(pDX, IDC_IMAGE_FILE, m_editFile);
    DDX_Control(pDX, IDC_IMAGE_FROM_DRIVE, m_radioFromDrive);
    DDX_Control(pDX, IDC_IMAGE_DRIVE_LABEL, m_staticDriveLabel);
    DDX_Control(pDX, IDC_IMAGE_DRIVE, m_comboDrive);
}
