#include "tests/framework/TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QTest>
#include <filesystem>

#include "framework/ModuleResources.h"
#include "tests/support/Bytes.h"
#include "tests/support/SheetDriver.h"

#include <gtest/gtest.h>
#include "framework/TestSeam.h"

const std::vector<uint8_t>& TestResBytes()
{
    static const std::vector<uint8_t> bytes = ReadBytes(TEST_RES_PATH, 0, std::filesystem::file_size(TEST_RES_PATH));
    return bytes;
}

UseTestResources::UseTestResources(uint16_t language)
{
    SetModuleResourcesForTest(TestResBytes().data(), TestResBytes().size());
    SetResourceLanguageForTest(language);
}

UseTestResources::~UseTestResources()
{
    SetModuleResourcesForTest(nullptr, 0);
    SetResourceLanguageForTest(0);
}

BEGIN_MESSAGE_MAP(CNoSpaceEdit, CEdit)
    ON_WM_CHAR()
END_MESSAGE_MAP()

void CNoSpaceEdit::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags)
{
    m_seen.push_back(nChar);
    if (nChar == ' ' || nChar == '.')
        return;
    CEdit::OnChar(nChar, nRepCnt, nFlags);
}

BEGIN_MESSAGE_MAP(CControlsPage, CPropertyPageEx)
    ON_BN_CLICKED(IDC_T_RADIO_A, &CControlsPage::OnRadioA)
    ON_BN_CLICKED(IDC_T_RADIO_B, &CControlsPage::OnRadioB)
    ON_BN_CLICKED(IDC_T_RADIO_C, &CControlsPage::OnRadioC)
    ON_BN_CLICKED(IDC_T_RADIO_D, &CControlsPage::OnRadioD)
    ON_BN_CLICKED(IDC_T_CHECK, &CControlsPage::OnCheck)
    ON_BN_CLICKED(IDC_T_PUSH, &CControlsPage::OnPush)
    ON_CBN_SELCHANGE(IDC_T_SORTED, &CControlsPage::OnSortedChange)
END_MESSAGE_MAP()

void CControlsPage::DoDataExchange(CDataExchange* pDX)
{
    CPropertyPageEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_T_FILTERED, m_filtered);
    DDX_Control(pDX, IDC_T_RADIO_A, m_radioA);
    DDX_Control(pDX, IDC_T_SORTED, m_sorted);
}

BOOL CControlsPage::OnInitDialog()
{
    ++m_initCount;
    return CPropertyPageEx::OnInitDialog();
}

bool PressMnemonic(QWidget* window, int qtKey)
{
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QApplication::processEvents();
    if (!window->isActiveWindow())
        return false;
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, static_cast<Qt::Key>(qtKey), Qt::AltModifier);
    // A mnemonic click is animated: it lands after a short delay.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return true;
}

namespace {

// The framework's tests need the Qt application before the first widget.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override { EnsureApplication(); }
};

::testing::Environment* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace
