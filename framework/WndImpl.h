// The Qt side of a window: the widget behind a CWnd, the object the program's calls go
// through, and what the dialog manager needs to know about a control (its template
// style, identifier and dialog group).
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "framework/Afx.h"

enum class WndKind { Sheet, Page, PushButton, CheckBox, RadioButton, GroupBox, Edit, Static, ComboBox, Other };

// Lives as a child object of its widget and goes away with it; the bound CWnd is then
// detached, so that a CWnd outliving its window is simply "not created".
struct CWndImpl : public QObject {
    CWndImpl(QWidget* w, WndKind k, int controlId, uint32_t controlStyle);
    ~CWndImpl() override;

    QWidget* widget;
    WndKind kind;
    int id;
    uint32_t style;
    int group = 0;                 // dialog group number within the page
    CWnd* bound = nullptr;         // the object the program uses for this window
    std::unique_ptr<CWnd> owned;   // a temporary object handed out by GetDlgItem
    CWndImpl* dialog = nullptr;    // controls: their page
    CWnd* parentWnd = nullptr;     // pages: their sheet
    std::string markupText;        // statics: the text with its mnemonic markup
    CWndImpl* nameLabel = nullptr;   // edits, combo boxes, "..." buttons: the static of their line
    std::vector<CWndImpl*> controls;   // pages: the controls in template order
    bool inClick = false;          // buttons: a click is under way

    // Binds obj to this window; a previous binding is replaced.
    void Bind(CWnd* obj);
    CWndImpl* FindControl(int controlId) const;
    bool IsAutoRadio() const;
    bool IsAutoCheck() const;
};

// Sends a command notification from a control to its page's message map.
void NotifyParent(CWndImpl* control, UINT code);

// While one of these lives, check changes made by the program do not notify.
class SilentChanges {
public:
    SilentChanges() { ++s_depth; }
    ~SilentChanges() { --s_depth; }
    SilentChanges(const SilentChanges&) = delete;
    SilentChanges& operator=(const SilentChanges&) = delete;
    static bool Active() { return s_depth > 0; }

private:
    static inline int s_depth = 0;
};
