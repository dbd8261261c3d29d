// The application object and the framework's main routine.
#include "platform/OwnCalls.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "framework/Afx.h"
#include "framework/ModuleResources.h"
#include "framework/ResourceImages.h"
#include "framework/WindowSystem.h"
#include "res/resource.h"

#include <cstdio>

namespace {

CWinApp* g_app = nullptr;

QMessageBox::Icon IconOf(UINT type)
{
    switch (type & 0xF0) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

// The platform's MessageBoxA, answered with a Qt message box.
int ShowMessageBox(HWND, const char* text, const char* caption, UINT type)
{
    if (!qApp)
        return IDOK;
    QMessageBox box(IconOf(type), QString::fromUtf8(caption ? caption : ""), QString::fromUtf8(text ? text : ""),
                    QMessageBox::NoButton, QApplication::activeWindow());
    const bool japanese = ResourceLanguage() == LANG_JAPANESE_JP;
    struct Choice {
        int result;
        const char* english;
        const char* japanese;
        QMessageBox::ButtonRole role;
    };
    std::vector<Choice> choices;
    switch (type & 0xF) {
    case MB_OKCANCEL:
        choices = {{IDOK, "OK", "OK", QMessageBox::AcceptRole}, {IDCANCEL, "Cancel", "キャンセル", QMessageBox::RejectRole}};
        break;
    case MB_YESNO:
        choices = {{IDYES, "&Yes", "はい(&Y)", QMessageBox::YesRole}, {IDNO, "&No", "いいえ(&N)", QMessageBox::NoRole}};
        break;
    default: choices = {{IDOK, "OK", "OK", QMessageBox::AcceptRole}};
    }
    std::vector<std::pair<QAbstractButton*, int>> buttons;
    for (const Choice& c : choices)
        buttons.emplace_back(box.addButton(QString::fromUtf8(japanese ? c.japanese : c.english), c.role), c.result);
    // A box shown while work goes on is answered with the ordinary pointer, not the wait cursor.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    box.exec();
    if (waiting)
        QApplication::restoreOverrideCursor();
    for (auto& [button, result] : buttons)
        if (box.clickedButton() == button)
            return result;
    return (type & 0xF) == MB_YESNO ? IDNO : (type & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
}

}  // namespace

CWinApp::CWinApp(LPCSTR lpszAppName)
{
    m_pszAppName = lpszAppName;
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
HINSTANCE AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : nullptr; }

int AfxWinMain(int argc, char** argv)
{
    // The application's name is the program file's name without its extension.
    static std::string name = QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : "")).completeBaseName().toStdString();
    WindowSystemChoice windowSystem = ChooseWindowSystem();
    if (!windowSystem.any) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), LoadResString(IDS_NO_DISPLAY).c_str());
        return 1;
    }
    if (!windowSystem.platform.empty())
        qputenv("QT_QPA_PLATFORM", windowSystem.platform.c_str());
    CWindowSystemStart start(name, windowSystem.displays);
    QApplication qtApp(argc, argv);
    start.Release();
    QApplication::setApplicationName(QString::fromStdString(name));
    if (const ResEntry* group = ModuleResources().Find(RT_GROUP_ICON_ID, 131, ResourceLanguage()))
        QApplication::setWindowIcon(IconFromGroup(ModuleResources(), *group));
    SetMessageBoxHandler(&ShowMessageBox);
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    if (!app->m_pszAppName)
        app->m_pszAppName = name.c_str();
    if (app->m_pszAppID)
        QGuiApplication::setDesktopFileName(QString::fromUtf8(app->m_pszAppID));
    // The module's instance handle only has to be non-null and unique: resources come
    // from the embedded .res, not from a loaded module.
    static char instanceTag;
    app->m_hInstance = reinterpret_cast<HINSTANCE>(&instanceTag);
    int code = 0;
    if (app->InitInstance())
        qtApp.exec();   // only when the program asks for a message loop of its own
    code = app->ExitInstance();
    SetMessageBoxHandler(nullptr);
    return code;
}

// Start-up services of the Windows framework with nothing to start on Linux: COM/OLE
// has no counterpart here, the socket library needs no initialisation, the Qt widgets
// need no common-controls registration, and no ActiveX controls are hosted.
BOOL AfxOleInit() { return TRUE; }
void InitCommonControls() {}
BOOL AfxSocketInit() { return TRUE; }
void AfxEnableControlContainer() {}
