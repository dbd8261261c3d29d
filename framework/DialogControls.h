// The Qt widgets behind dialog controls, with the Windows dialog-manager behaviour that
// Qt does not have: button notifications from every way a person presses a button,
// automatic radio buttons grouped by WS_GROUP, arrow keys within a group, and typed
// characters routed through the character message.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "framework/WndImpl.h"

// The page's dialog-manager rules over its controls.
namespace DialogManager {
// The controls of the same dialog group as c, c included, in template order.
std::vector<CWndImpl*> GroupOf(CWndImpl* c);
// Checks radio button c and unchecks the other radio buttons of its group, silently.
void CheckRadioInGroup(CWndImpl* c);
// Arrow keys: moves the focus to the next (or previous) control of the group, wrapping;
// an automatic radio button reached this way is pressed, as Windows does.
void MoveInGroup(CWndImpl* from, bool forward);
// The control Tab reaches from c (nullptr: leave the page).
CWndImpl* NextTabStop(CWndImpl* page, CWndImpl* from, bool forward);
}

// Push buttons, check boxes and radio buttons share this behaviour over their Qt class.
template <class Base>
class DialogButton : public Base {
public:
    explicit DialogButton(QWidget* parent) : Base(parent) {}
    void SetImpl(CWndImpl* impl);
    CWndImpl* Impl() const { return m_impl; }

protected:
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void OnToggled(bool checked);
    CWndImpl* m_impl = nullptr;
};

using DialogPushButton = DialogButton<QPushButton>;
using DialogCheckBox = DialogButton<QCheckBox>;
using DialogRadioButton = DialogButton<QRadioButton>;

// A combo box of a dialog: its own class, so that assistive technology can be told its
// name (see DialogAccessibility.h). Its entry is also the selected item of its list, closed
// or open, where assistive technology looks for the value of a combo box named otherwise.
class DialogComboBox : public QComboBox {
public:
    explicit DialogComboBox(QWidget* parent);
};

// A single-line edit whose typed characters go through the character message.
class CharEdit : public QLineEdit {
public:
    explicit CharEdit(QWidget* parent) : QLineEdit(parent) {}
    void SetImpl(CWndImpl* impl) { m_impl = impl; }
    // Delivers one character as typing does: to the bound object's OnChar when its class
    // maps WM_CHAR, else straight to the default processing.
    void DeliverChar(char32_t ch);
    // What the edit control does with a character by itself.
    void DefaultChar(char32_t ch);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;

private:
    CWndImpl* m_impl = nullptr;
};

// A page: its Tab key follows the dialog manager's rules.
class DialogPageWidget : public QWidget {
public:
    explicit DialogPageWidget(QWidget* parent) : QWidget(parent) {}
    void SetImpl(CWndImpl* impl) { m_impl = impl; }

protected:
    bool focusNextPrevChild(bool next) override;

private:
    CWndImpl* m_impl = nullptr;
};

// The message-map lookup for WM_CHAR on an object.
bool HasCharHandler(const CCmdTarget* target, AFX_PMSG_CHAR* handler);
