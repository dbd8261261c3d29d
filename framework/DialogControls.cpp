#include "framework/DialogControls.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "framework/DialogTemplate.h"

namespace {

bool CanTakeFocus(const CWndImpl* c)
{
    return c->widget->isEnabled() && c->widget->isVisibleTo(c->widget->parentWidget()) &&
           c->kind != WndKind::Static && c->kind != WndKind::GroupBox;
}

CWndImpl* CheckedRadioOfGroup(CWndImpl* c)
{
    for (CWndImpl* g : DialogManager::GroupOf(c))
        if (g->kind == WndKind::RadioButton && static_cast<QAbstractButton*>(g->widget)->isChecked())
            return g;
    return nullptr;
}

}  // namespace

// ---- the dialog manager ----------------------------------------------------------------

std::vector<CWndImpl*> DialogManager::GroupOf(CWndImpl* c)
{
    std::vector<CWndImpl*> group;
    if (!c || !c->dialog)
        return group;
    for (CWndImpl* other : c->dialog->controls)
        if (other->group == c->group)
            group.push_back(other);
    return group;
}

void DialogManager::CheckRadioInGroup(CWndImpl* c)
{
    SilentChanges silent;
    for (CWndImpl* other : GroupOf(c))
        if (other != c && other->IsAutoRadio())
            static_cast<QAbstractButton*>(other->widget)->setChecked(false);
    static_cast<QAbstractButton*>(c->widget)->setChecked(true);
}

void DialogManager::MoveInGroup(CWndImpl* from, bool forward)
{
    std::vector<CWndImpl*> group = GroupOf(from);
    auto it = std::find(group.begin(), group.end(), from);
    if (it == group.end())
        return;
    const size_t n = group.size();
    size_t pos = static_cast<size_t>(it - group.begin());
    for (size_t step = 1; step < n; ++step) {
        CWndImpl* candidate = group[(pos + (forward ? step : n - step)) % n];
        if (!CanTakeFocus(candidate))
            continue;
        candidate->widget->setFocus(Qt::OtherFocusReason);
        if (candidate->IsAutoRadio())
            static_cast<QAbstractButton*>(candidate->widget)->click();
        return;
    }
}

CWndImpl* DialogManager::NextTabStop(CWndImpl* page, CWndImpl* from, bool forward)
{
    const std::vector<CWndImpl*>& list = page->controls;
    auto it = std::find(list.begin(), list.end(), from);
    long i = it == list.end() ? (forward ? -1 : static_cast<long>(list.size())) : static_cast<long>(it - list.begin());
    for (i += forward ? 1 : -1; i >= 0 && i < static_cast<long>(list.size()); i += forward ? 1 : -1) {
        CWndImpl* c = list[static_cast<size_t>(i)];
        if (!(c->style & WS_TABSTOP_STYLE) || !CanTakeFocus(c))
            continue;
        // A radio group is one tab stop: its checked button, if any.
        if (c->kind == WndKind::RadioButton) {
            if (from && from->kind == WndKind::RadioButton && from->group == c->group)
                continue;
            if (CWndImpl* checked = CheckedRadioOfGroup(c); checked && CanTakeFocus(checked))
                return checked;
        }
        return c;
    }
    return nullptr;
}

// ---- buttons ---------------------------------------------------------------------------

template <class Base>
void DialogButton<Base>::SetImpl(CWndImpl* impl)
{
    m_impl = impl;
    // Every press ends in clicked(): mouse, Space, Enter on a default button, mnemonic.
    QObject::connect(this, &QAbstractButton::clicked, this, [this] {
        m_impl->inClick = false;
        NotifyParent(m_impl, BN_CLICKED);
    });
    // A toggle that did not come from a press or from the program: an accessibility
    // client toggled the button. Windows handles that as a click.
    QObject::connect(this, &QAbstractButton::toggled, this, [this](bool checked) { OnToggled(checked); });
}

template <class Base>
void DialogButton<Base>::OnToggled(bool checked)
{
    if (SilentChanges::Active() || m_impl->inClick)
        return;
    {
        SilentChanges silent;
        if (m_impl->IsAutoRadio())
            DialogManager::CheckRadioInGroup(m_impl);
        else if (!m_impl->IsAutoCheck())
            this->setChecked(!checked);   // buttons that the program checks itself
    }
    NotifyParent(m_impl, BN_CLICKED);
}

template <class Base>
void DialogButton<Base>::nextCheckState()
{
    m_impl->inClick = true;   // clicked() follows and notifies
    SilentChanges silent;
    if (m_impl->IsAutoRadio()) {
        DialogManager::CheckRadioInGroup(m_impl);   // a checked radio stays checked
    } else if (m_impl->IsAutoCheck()) {
        Base::nextCheckState();
    }
    // Non-automatic buttons keep their state; the program sets it on the notification.
}

template <class Base>
void DialogButton<Base>::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        DialogManager::MoveInGroup(m_impl, false);
        return;
    case Qt::Key_Down:
    case Qt::Key_Right:
        DialogManager::MoveInGroup(m_impl, true);
        return;
    default:
        Base::keyPressEvent(e);
    }
}

template <class Base>
void DialogButton<Base>::focusInEvent(QFocusEvent* e)
{
    // Tabbing into a radio group lands on its checked button.
    const bool byTab = e->reason() == Qt::TabFocusReason || e->reason() == Qt::BacktabFocusReason;
    if (byTab && m_impl && m_impl->kind == WndKind::RadioButton) {
        CWndImpl* checked = CheckedRadioOfGroup(m_impl);
        if (checked && checked != m_impl && CanTakeFocus(checked)) {
            checked->widget->setFocus(e->reason());
            return;
        }
    }
    Base::focusInEvent(e);
}

template class DialogButton<QPushButton>;
template class DialogButton<QCheckBox>;
template class DialogButton<QRadioButton>;

// ---- edit ------------------------------------------------------------------------------

bool HasCharHandler(const CCmdTarget* target, AFX_PMSG_CHAR* handler)
{
    for (const AFX_MSGMAP* map = target ? target->GetMessageMap() : nullptr; map; map = map->pBaseMap)
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->nMessage != 0; ++e)
            if (e->nMessage == WM_CHAR && e->pfnChar) {
                *handler = e->pfnChar;
                return true;
            }
    return false;
}

void CharEdit::DeliverChar(char32_t ch)
{
    AFX_PMSG_CHAR handler = nullptr;
    CWnd* target = m_impl ? m_impl->bound : nullptr;
    if (target && HasCharHandler(target, &handler))
        (static_cast<CCmdTarget*>(target)->*handler)(static_cast<UINT>(ch), 1, 0);
    else
        DefaultChar(ch);
}

void CharEdit::DefaultChar(char32_t ch)
{
    switch (ch) {
    case 0x08: backspace(); return;
    case 0x01: selectAll(); return;
    case 0x03: copy(); return;
    case 0x16: paste(); return;
    case 0x18: cut(); return;
    case 0x1A: undo(); return;
    default:
        if (ch >= 0x20 && ch != 0x7F && !isReadOnly())
            insert(QString::fromUcs4(&ch, 1));
    }
}

void CharEdit::keyPressEvent(QKeyEvent* e)
{
    const QString text = e->text();
    const bool commandModifier = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool typed = !text.isEmpty() && !commandModifier && (text[0] >= QChar(0x20) || e->key() == Qt::Key_Backspace) &&
                       text[0] != QChar(0x7F);
    if (!typed) {
        QLineEdit::keyPressEvent(e);   // Enter, Esc, Tab, arrows, shortcuts
        return;
    }
    e->accept();
    for (char32_t ch : text.toUcs4())
        DeliverChar(ch);
}

void CharEdit::inputMethodEvent(QInputMethodEvent* e)
{
    // A finished composition arrives as characters, each through the character message.
    if (!e->commitString().isEmpty() && e->preeditString().isEmpty() && e->replacementLength() == 0) {
        const QString committed = e->commitString();
        QInputMethodEvent rest(QString(), e->attributes());
        QLineEdit::inputMethodEvent(&rest);
        for (char32_t ch : committed.toUcs4())
            DeliverChar(ch);
        e->accept();
        return;
    }
    QLineEdit::inputMethodEvent(e);
}

// ---- combo box -------------------------------------------------------------------------

DialogComboBox::DialogComboBox(QWidget* parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        QItemSelectionModel* selection = view()->selectionModel();
        if (index < 0)
            selection->clearSelection();
        else
            selection->select(model()->index(index, modelColumn()), QItemSelectionModel::ClearAndSelect);
    });
}

// ---- page ------------------------------------------------------------------------------

bool DialogPageWidget::focusNextPrevChild(bool next)
{
    CWndImpl* current = nullptr;
    if (m_impl)
        for (CWndImpl* c : m_impl->controls)
            if (c->widget == focusWidget() || c->widget->isAncestorOf(focusWidget()))
                current = c;
    if (m_impl && current) {
        if (CWndImpl* target = DialogManager::NextTabStop(m_impl, current, next)) {
            target->widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return QWidget::focusNextPrevChild(next);
}
