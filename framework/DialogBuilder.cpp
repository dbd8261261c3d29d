#include "framework/DialogBuilder.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <algorithm>

#include "framework/DialogAccessibility.h"
#include "framework/DialogControls.h"
#include "framework/TextCodec.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

CWndImpl* MakeButton(const DialogItem& item, QWidget* page)
{
    const uint32_t type = item.style & BS_TYPEMASK;
    QAbstractButton* button = nullptr;
    CWndImpl* impl = nullptr;
    auto attach = [&](auto* b, WndKind kind) {
        impl = new CWndImpl(b, kind, item.id, item.style);
        b->SetImpl(impl);
        button = b;
    };
    switch (type) {
    case BS_GROUPBOX_STYLE: {
        auto* box = new QGroupBox(Q(item.text), page);
        box->setFocusPolicy(Qt::NoFocus);
        return new CWndImpl(box, WndKind::GroupBox, item.id, item.style);
    }
    case BS_RADIOBUTTON_STYLE:
    case BS_AUTORADIOBUTTON_STYLE: {
        auto* radio = new DialogRadioButton(page);
        radio->setAutoExclusive(false);   // exclusivity follows the dialog groups instead
        attach(radio, WndKind::RadioButton);
        break;
    }
    case BS_CHECKBOX_STYLE:
    case BS_AUTOCHECKBOX_STYLE:
    case BS_3STATE_STYLE:
    case BS_AUTO3STATE_STYLE: {
        auto* check = new DialogCheckBox(page);
        check->setTristate(type == BS_3STATE_STYLE || type == BS_AUTO3STATE_STYLE);
        attach(check, WndKind::CheckBox);
        break;
    }
    default: {
        // As on Windows, a push button with the focus is the one Enter presses; otherwise
        // the sheet's default button is.
        auto* push = new DialogPushButton(page);
        push->setAutoDefault(true);
        attach(push, WndKind::PushButton);
    }
    }
    button->setText(Q(item.text));
    return impl;
}

CWndImpl* MakeStatic(const DialogItem& item, QWidget* page)
{
    const uint32_t type = item.style & SS_TYPEMASK;
    if (type == SS_ETCHEDHORZ_STYLE) {
        auto* line = new QFrame(page);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return new CWndImpl(line, WndKind::Static, item.id, item.style);
    }
    auto* label = new QLabel(page);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment((type == SS_CENTER_STYLE  ? Qt::AlignHCenter
                         : type == SS_RIGHT_STYLE ? Qt::AlignRight
                                                  : Qt::AlignLeft) |
                        Qt::AlignTop);
    label->setWordWrap(type != SS_LEFTNOWORDWRAP_STYLE);
    auto* impl = new CWndImpl(label, WndKind::Static, item.id, item.style);
    impl->markupText = item.text;
    return impl;
}

CWndImpl* MakeEdit(const DialogItem& item, QWidget* page)
{
    auto* edit = new CharEdit(page);
    edit->setFrame((item.style & WS_BORDER_STYLE) || (item.exStyle & 0x200 /* WS_EX_CLIENTEDGE */));
    edit->setReadOnly(item.style & ES_READONLY_STYLE);
    if (item.style & ES_PASSWORD_STYLE)
        edit->setEchoMode(QLineEdit::Password);
    edit->setText(Q(item.text));
    auto* impl = new CWndImpl(edit, WndKind::Edit, item.id, item.style);
    edit->SetImpl(impl);
    return impl;
}

CWndImpl* MakeCombo(const DialogItem& item, QWidget* page)
{
    auto* combo = new DialogComboBox(page);
    const uint32_t type = item.style & 0x3;
    combo->setEditable(type == CBS_DROPDOWN_STYLE);
    combo->setInsertPolicy(QComboBox::NoInsert);
    auto* impl = new CWndImpl(combo, WndKind::ComboBox, item.id, item.style);
    // Only a person's choice notifies, as CBN_SELCHANGE does.
    QObject::connect(combo, &QComboBox::activated, impl, [impl](int) { NotifyParent(impl, CBN_SELCHANGE); });
    return impl;
}

CWndImpl* MakeControl(const DialogItem& item, QWidget* page)
{
    switch (item.controlClass) {
    case ControlClass::Button: return MakeButton(item, page);
    case ControlClass::Static: return MakeStatic(item, page);
    case ControlClass::Edit: return MakeEdit(item, page);
    case ControlClass::ComboBox: return MakeCombo(item, page);
    case ControlClass::ListBox: return new CWndImpl(new QListWidget(page), WndKind::Other, item.id, item.style);
    case ControlClass::ScrollBar:
        return new CWndImpl(new QScrollBar(Qt::Horizontal, page), WndKind::Other, item.id, item.style);
    default: {
        auto* placeholder = new QWidget(page);   // a control class this framework does not know
        return new CWndImpl(placeholder, WndKind::Other, item.id, item.style);
    }
    }
}

QRect ControlRect(const DialogItem& item, const DialogFont& font, WndKind kind)
{
    QRect r = font.Rect(item.x, item.y, item.cx, item.cy);
    // A combo box's template height includes its drop-down list; the box itself is one
    // text line high with its frame.
    if (kind == WndKind::ComboBox)
        r.setHeight(std::min(r.height(), font.baseY + 8));
    return r;
}

// A static's mnemonic gives the focus to the next control that can take it.
void SetLabelText(CWndImpl* label, const std::vector<CWndImpl*>& controls, size_t index)
{
    auto* q = qobject_cast<QLabel*>(label->widget);
    if (!q)
        return;
    const bool prefix = !(label->style & SS_NOPREFIX_STYLE);
    QWidget* buddy = nullptr;
    if (prefix && label->markupText.find('&') != std::string::npos)
        for (size_t k = index + 1; k < controls.size() && !buddy; ++k)
            if (controls[k]->kind != WndKind::Static && controls[k]->kind != WndKind::GroupBox)
                buddy = controls[k]->widget;
    if (buddy) {
        q->setText(Q(label->markupText));
        q->setBuddy(buddy);
    } else {
        q->setText(Q(prefix ? StripMnemonics(label->markupText) : label->markupText));
    }
}

// The static an edit field or combo box is named after, as a screen reader finds it: the
// label on the same line in front of the field, else the static before it in template
// order (the rule Windows screen readers follow, which alone would name a field after the
// wrong one of two labels listed before their two fields).
CWndImpl* FieldLabel(const std::vector<CWndImpl*>& controls, size_t index)
{
    const QRect field = controls[index]->widget->geometry();
    CWndImpl* best = nullptr;
    for (CWndImpl* c : controls) {
        const QRect r = c->widget->geometry();
        const bool sameLine = r.top() <= field.bottom() && r.bottom() >= field.top();
        const bool inFront = r.left() < field.left() && r.left() + r.width() <= field.left() + 2;
        if (qobject_cast<QLabel*>(c->widget) && sameLine && inFront &&
            (!best || r.left() > best->widget->geometry().left()))
            best = c;
    }
    for (size_t k = index; !best && k-- > 0;)
        if (qobject_cast<QLabel*>(controls[k]->widget))
            best = controls[k];
    return best;
}

// A push button whose text is only a sign ("...") says nothing by itself: it is described
// by the label of its line, as the field beside it is named.
bool IsSignButton(const CWndImpl* c)
{
    if (c->kind != WndKind::PushButton)
        return false;
    const QString text = static_cast<QAbstractButton*>(c->widget)->text();
    return std::none_of(text.begin(), text.end(), [](QChar ch) { return ch.isLetterOrNumber(); });
}

void NameFields(const std::vector<CWndImpl*>& controls)
{
    for (size_t i = 0; i < controls.size(); ++i) {
        CWndImpl* field = controls[i];
        const bool isField = field->kind == WndKind::Edit || field->kind == WndKind::ComboBox;
        if (!isField && !IsSignButton(field))
            continue;
        field->nameLabel = FieldLabel(controls, i);
        if (!field->nameLabel)
            continue;
        // A label without a buddy of its own also names the field through the label
        // relation; its text has no mnemonic that the buddy would change.
        auto* label = static_cast<QLabel*>(field->nameLabel->widget);
        const bool prefix = !(field->nameLabel->style & SS_NOPREFIX_STYLE);
        if (isField && !label->buddy() && prefix && field->nameLabel->markupText.find('&') == std::string::npos)
            label->setBuddy(field->widget);
        UpdateFieldNames(field->nameLabel);
    }
}

}  // namespace

void UpdateFieldNames(CWndImpl* label)
{
    if (!label || !label->dialog)
        return;
    const bool prefix = !(label->style & SS_NOPREFIX_STYLE);
    const QString name = Q(prefix ? StripMnemonics(label->markupText) : label->markupText);
    for (CWndImpl* c : label->dialog->controls) {
        if (c->nameLabel != label)
            continue;
        if (c->kind == WndKind::PushButton)
            c->widget->setAccessibleDescription(name);
        else
            c->widget->setAccessibleName(name);
    }
}

DialogFont FontOfTemplate(const DialogTemplateData& t)
{
    return MakeDialogFont(t.typeface.empty() ? "MS Sans Serif" : t.typeface, t.pointSize ? t.pointSize : 8, t.weight,
                          t.italic != 0);
}

BuiltDialog BuildDialog(const DialogTemplateData& t, QWidget* parent)
{
    InstallDialogAccessibility();
    BuiltDialog built;
    built.font = FontOfTemplate(t);
    auto* page = new DialogPageWidget(parent);
    page->setFont(built.font.font);
    page->resize(built.font.X(t.cx), built.font.Y(t.cy));
    page->setAccessibleName(Q(t.title));
    built.widget = page;
    built.impl = new CWndImpl(page, WndKind::Page, 0, t.style);
    page->SetImpl(built.impl);

    int group = 0;
    QWidget* previousFocusable = nullptr;
    for (const DialogItem& item : t.items) {
        CWndImpl* c = MakeControl(item, page);
        if (&item != &t.items.front() && (item.style & WS_GROUP_STYLE))
            ++group;
        c->group = group;
        c->dialog = built.impl;
        c->widget->setFont(built.font.font);
        c->widget->setGeometry(ControlRect(item, built.font, c->kind));
        // Product names in the texts may be longer than the boxes were drawn for: a check
        // box or radio button grows to the right rather than cut its text.
        if (c->kind == WndKind::RadioButton || c->kind == WndKind::CheckBox)
            c->widget->resize(std::max(c->widget->width(), c->widget->sizeHint().width()), c->widget->height());
        c->widget->setEnabled(!(item.style & WS_DISABLED_STYLE));
        c->widget->setVisible(item.style & WS_VISIBLE_STYLE);
        if (c->kind != WndKind::Static && c->kind != WndKind::GroupBox && c->kind != WndKind::Other) {
            c->widget->setFocusPolicy((item.style & WS_TABSTOP_STYLE) ? Qt::StrongFocus : Qt::ClickFocus);
            if (previousFocusable)
                QWidget::setTabOrder(previousFocusable, c->widget);
            previousFocusable = c->widget;
        }
        built.impl->controls.push_back(c);
    }
    for (size_t i = 0; i < built.impl->controls.size(); ++i)
        if (built.impl->controls[i]->kind == WndKind::Static)
            SetLabelText(built.impl->controls[i], built.impl->controls, i);
    NameFields(built.impl->controls);
    return built;
}
