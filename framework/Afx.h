// The user-interface framework the program is written against: application object,
// Wizard-97 property sheet, pages, controls, message maps, wait cursor, message boxes,
// file dialogs and the program's embedded resources. Answered with Qt 6 Widgets in the
// .cpp files of this folder; no Qt type appears here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Win32.h"

class CWnd;
class CCmdTarget;
class CPropertySheetEx;
class CPropertyPageEx;
class CWinApp;

// ---- messages, notifications and flags ------------------------------------------
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT BN_CLICKED = 0;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT PSM_SETWIZBUTTONS = 0x0470;   // WM_USER + 112
constexpr UINT WM_COMMANDHELP = 0x0365;
constexpr UINT ID_HELP = 57670;

constexpr DWORD PSWIZB_BACK = 0x1;
constexpr DWORD PSWIZB_NEXT = 0x2;
constexpr DWORD PSWIZB_FINISH = 0x4;
constexpr DWORD PSWIZB_DISABLEDFINISH = 0x8;

constexpr DWORD PSH_WIZARD = 0x00000020;
constexpr DWORD PSH_HASHELP = 0x00000200;
constexpr DWORD PSH_WATERMARK = 0x00008000;
constexpr DWORD PSH_HEADER = 0x00080000;
constexpr DWORD PSH_WIZARD97 = 0x01000000;

constexpr DWORD PSP_HASHELP = 0x00000020;
constexpr DWORD PSP_HIDEHEADER = 0x00000800;
constexpr DWORD PSP_USEHEADERTITLE = 0x00001000;
constexpr DWORD PSP_USEHEADERSUBTITLE = 0x00002000;

constexpr int ID_WIZBACK = 0x3023;
constexpr int ID_WIZNEXT = 0x3024;
constexpr int ID_WIZFINISH = 0x3025;
constexpr int IDCANCEL_BUTTON = 2;

constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr int CB_ERR = -1;

// Resource identifiers as the Windows macro gives them.
inline const char* MAKEINTRESOURCE(UINT id) { return reinterpret_cast<const char*>(static_cast<uintptr_t>(id)); }

// ---- message maps -------------------------------------------------------------------
using AFX_PMSG = void (CCmdTarget::*)();
using AFX_PMSG_CHAR = void (CCmdTarget::*)(UINT nChar, UINT nRepCnt, UINT nFlags);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;      // WM_COMMAND or WM_CHAR; 0 ends the table
    UINT nCode;         // notification code (BN_CLICKED)
    UINT nID;           // control identifier
    AFX_PMSG pfn;       // handler for WM_COMMAND entries
    AFX_PMSG_CHAR pfnChar;  // handler for WM_CHAR entries
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* pBaseMap;
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// The tables are built inside a function of the class, so that the entries can name
// the class as ThisClass (ON_WM_CHAR does) and reach its protected handlers.
#define DECLARE_MESSAGE_MAP()                                      \
protected:                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                  \
                                                                   \
public:                                                            \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }  \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                    \
    {                                                                                  \
        using ThisClass [[maybe_unused]] = theClass;                                                  \
        using TheBaseClass = baseClass;                                                \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                              \
        {0, 0, 0, nullptr, nullptr}};                                                  \
        static const AFX_MSGMAP messageMap = {TheBaseClass::GetThisMessageMap(), &_messageEntries[0]}; \
        return &messageMap;                                                            \
    }

#define ON_BN_CLICKED(id, memberFxn) \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), static_cast<AFX_PMSG>(memberFxn), nullptr},
#define ON_CBN_SELCHANGE(id, memberFxn) \
    {WM_COMMAND, CBN_SELCHANGE, static_cast<UINT>(id), static_cast<AFX_PMSG>(memberFxn), nullptr},
// ON_COMMAND takes the handler without '&' (ON_COMMAND(ID_HELP, CWinApp::OnHelp)); the
// notification macros take it with '&' (ON_BN_CLICKED(IDC_X, &CTask::OnX)).
#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<AFX_PMSG>(&memberFxn), nullptr},
#define ON_WM_CHAR() {WM_CHAR, 0, 0, nullptr, static_cast<AFX_PMSG_CHAR>(&ThisClass::OnChar)},

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }

    // Sends a command notification (BN_CLICKED, CBN_SELCHANGE) from control nID through
    // this object's message map, derived class first. False when no entry handles it.
    bool OnCmdMsg(UINT nCode, UINT nID);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
};

// ---- windows and controls --------------------------------------------------------------
struct CWndImpl;   // the Qt side of a window

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;
    CWnd* GetDlgItem(int nID) const;

    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    void SetWindowText(LPCSTR lpszString);
    int GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const;   // bytes copied, without NUL
    std::string GetWindowText() const;                               // whole text
    int GetWindowTextLength() const;                                 // bytes
    void SetFocus();
    // Paints what is pending in this window and its children now, without processing input.
    void UpdateWindow();

    // Sends a character message as a key press would (WM_CHAR through the message map).
    void SendChar(UINT nChar);
    // The character message: the base inserts the character into an edit control (or does
    // the editing action of a control character such as backspace); an override that
    // returns without calling it drops the character.
    virtual void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);

    CWndImpl* Impl() const { return m_pImpl; }
    void Attach(CWndImpl* impl);   // framework use: binds this object to a live window
    void Detach();

protected:
    CWndImpl* m_pImpl = nullptr;
};

class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int nCheck);   // never sends a click notification
};

class CEdit : public CWnd {
public:
    void LimitText(int nChars);
    void SetLimitText(UINT nMax) { LimitText(static_cast<int>(nMax)); }
};

class CStatic : public CWnd {};

class CComboBox : public CWnd {
public:
    int AddString(LPCSTR lpszString);   // into a sorted list at its sorted place; index
    int GetCount() const;
    int GetCurSel() const;              // CB_ERR when nothing is selected
    int SetCurSel(int nSelect);         // -1 clears; CB_ERR when out of range
    int GetLBText(int nIndex, LPSTR lpszText) const;   // bytes copied, CB_ERR when out of range
    int GetLBTextLen(int nIndex) const;
    std::string GetLBText(int nIndex) const;
    void ResetContent();
};

// ---- data exchange ----------------------------------------------------------------------
class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};
// Binds a control object to the dialog's control with that identifier (once).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

// ---- pages and the sheet ------------------------------------------------------------------
struct PROPSHEETPAGE_FLAGS {
    DWORD dwFlags = 0;
    UINT pszTemplate = 0;
    UINT pszTitle = 0;
    UINT pszHeaderTitle = 0;
    UINT pszHeaderSubTitle = 0;
};

class CPropertyPageEx : public CWnd {
public:
    explicit CPropertyPageEx(UINT nIDTemplate, UINT nIDCaption = 0, UINT nIDHeaderTitle = 0,
                             UINT nIDHeaderSubTitle = 0);
    ~CPropertyPageEx() override;

    PROPSHEETPAGE_FLAGS m_psp;

    virtual BOOL OnInitDialog();         // binds the controls through DoDataExchange
    virtual BOOL OnSetActive();          // TRUE
    virtual BOOL OnKillActive();         // TRUE
    virtual BOOL OnQueryCancel();        // TRUE
    virtual LRESULT OnWizardBack();      // 0
    virtual LRESULT OnWizardNext();      // 0
    virtual BOOL OnWizardFinish();       // TRUE
    virtual void DoDataExchange(CDataExchange* pDX);

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // The check state of a control of this page, by identifier.
    BOOL CheckDlgButton(int nIDButton, UINT nCheck);
    UINT IsDlgButtonChecked(int nIDButton) const;

    CPropertySheetEx* GetSheet() const { return m_pSheet; }
    void SetSheet(CPropertySheetEx* sheet) { m_pSheet = sheet; }   // framework use
    bool IsCreated() const { return m_pImpl != nullptr; }

private:
    CPropertySheetEx* m_pSheet = nullptr;
};

struct PROPSHEETHEADER_FLAGS {
    DWORD dwFlags = 0;
    HINSTANCE hInstance = nullptr;
    const char* pszbmWatermark = nullptr;   // MAKEINTRESOURCE(id)
    const char* pszbmHeader = nullptr;      // MAKEINTRESOURCE(id)
};

struct CSheetImpl;

class CPropertySheetEx : public CWnd {
public:
    CPropertySheetEx(UINT nIDCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
    ~CPropertySheetEx() override;

    PROPSHEETHEADER_FLAGS m_psh;

    void AddPage(CPropertyPageEx* pPage);
    void SetWizardMode();
    int GetPageCount() const;
    CPropertyPageEx* GetPage(int nPage) const;
    CPropertyPageEx* GetActivePage() const;
    int GetActiveIndex() const;
    // Shows the page at that position of the sheet's order, as the sheet's own page
    // change does; FALSE when the sheet has no window or the page declines.
    BOOL SetActivePage(int nPage);

    // Posts PSM_SETWIZBUTTONS: takes effect after the page change under way.
    void SetWizardButtons(DWORD dwFlags);

    // Runs the sheet: ID_WIZFINISH after Finish, IDCANCEL after Cancel or the close box.
    virtual INT_PTR DoModal();

    // Creates the sheet's window and shows the start page without running a loop of its
    // own (the test driver uses this; DoModal does it first).
    BOOL Create();
    // Ends the sheet as Finish or Cancel would.
    void EndDialog(INT_PTR nResult);

    // What the buttons show now: PSWIZB_* flags of the enabled Back/Next/Finish.
    DWORD GetWizardButtonsState() const;

    // While a page's handler (Next, Back, Finish) works, the sheet is busy: its buttons start
    // no other handler, and a press of Cancel (its button, Esc, the close box) is kept
    // instead of ending the sheet. PumpWaitingInput paints what is pending and takes in what
    // the person did meanwhile, dropping every other input; TakeCancelPress tells, once,
    // whether Cancel was pressed. A press that no one took ends the sheet when the handler
    // has returned, as it would have then.
    void PumpWaitingInput();
    BOOL TakeCancelPress();

    CSheetImpl* SheetImpl() const { return m_pSheetImpl.get(); }

protected:
    virtual void OnDestroy();   // the sheet's window is going away

private:
    std::unique_ptr<CSheetImpl> m_pSheetImpl;
    std::vector<CPropertyPageEx*> m_pages;
    UINT m_nIDCaption;
    UINT m_nStartPage;
    friend struct CSheetImpl;
};

// ---- the application ----------------------------------------------------------------------
class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();   // the framework's base initialisation; TRUE
    virtual int ExitInstance();

    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName = nullptr;   // program file name without extension
    HINSTANCE m_hInstance = nullptr;
    // The program's identity for the desktop (its desktop entry's name without ".desktop"),
    // which a Wayland desktop matches the window to its entry and icon by.
    const char* m_pszAppID = nullptr;

    void OnHelp();   // the framework's standard help handler (no help file: nothing)
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
// The framework's main routine: creates the Qt application, runs InitInstance and
// ExitInstance of the one CWinApp, and returns the exit code.
int AfxWinMain(int argc, char** argv);
BOOL AfxOleInit();
void InitCommonControls();
BOOL AfxSocketInit();
void AfxEnableControlContainer();

// ---- resources of the program -----------------------------------------------------------
// A string-table text in the user's language (English when the text is missing there).
BOOL AfxLoadString(UINT nID, std::string& rString);
std::string LoadResString(UINT nID);   // empty when missing
// A string-table text filled in printf-style, as CString::Format does; the text may grow to
// any length (a file name, a long menu text).
std::string FormatText(LPCSTR lpszFormat, ...) __attribute__((format(printf, 1, 2)));
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

// ---- wait cursor, message boxes, file dialogs -------------------------------------------
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    void Restore();
};
void BeginWaitCursor();
void EndWaitCursor();

int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = UINT(-1));

constexpr DWORD OFN_READONLY = 0x1;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x2;
constexpr DWORD OFN_HIDEREADONLY = 0x4;
constexpr DWORD OFN_PATHMUSTEXIST = 0x800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x1000;

class CFileDialog {
public:
    // lpszFilter in the Windows form "Text (*.ext)|*.ext||".
    CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt = nullptr, LPCSTR lpszFileName = nullptr,
                DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR lpszFilter = nullptr,
                CWnd* pParentWnd = nullptr);
    INT_PTR DoModal();   // IDOK or IDCANCEL
    std::string GetPathName() const;

    struct {
        DWORD Flags;
        const char* lpstrInitialDir;
    } m_ofn;

private:
    BOOL m_bOpen;
    std::string m_defExt, m_fileName, m_filter, m_initialDir, m_result;
};

