#include "framework/DialogAccessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeySequence>
#include <QLineEdit>

#include "framework/DialogControls.h"
#include "framework/TextCodec.h"

namespace {

QString WithoutMnemonics(const QString& text)
{
    return QString::fromStdString(StripMnemonics(text.toStdString()));
}

// A radio button of a dialog: a radio button whatever its auto-exclusivity. Pressing it
// through assistive technology is a click, with the click's notification and group rule.
class RadioButtonAccessible : public QAccessibleWidget {
public:
    explicit RadioButtonAccessible(QAbstractButton* b) : QAccessibleWidget(b, QAccessible::RadioButton) {}

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Button()->isChecked();
        s.pressed = Button()->isDown();
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        QString str;
        if (t == QAccessible::Name) {
            str = widget()->accessibleName();
            if (str.isEmpty())
                str = WithoutMnemonics(Button()->text());
        } else if (t == QAccessible::Accelerator) {
            str = QKeySequence::mnemonic(Button()->text()).toString(QKeySequence::NativeText);
        }
        return str.isEmpty() ? QAccessibleWidget::text(t) : str;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction();
        return names << QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == toggleAction() || action == pressAction()) {
            if (widget()->isEnabled())
                Button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A combo box of a dialog, named after its label (the accessible name the dialog gave
// it); its entry is its value. Children as Qt gives them: the list, then the edit field
// of a combo box that has one.
class ComboBoxAccessible : public QAccessibleWidget {
public:
    explicit ComboBoxAccessible(QComboBox* c) : QAccessibleWidget(c, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        QString str;
        if (t == QAccessible::Name)
            str = widget()->accessibleName();
        if (t == QAccessible::Value || (t == QAccessible::Name && str.isEmpty()))
            str = Combo()->isEditable() ? Combo()->lineEdit()->text() : Combo()->currentText();
        else if (t == QAccessible::Accelerator)
            str = QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
        return str.isEmpty() ? QAccessibleWidget::text(t) : str;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = Combo()->isEditable();
        s.expandable = true;
        s.expanded = Combo()->view() && Combo()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }

    int childCount() const override { return Combo()->isEditable() ? 2 : 1; }

    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(Combo()->view());
        if (index == 1 && Combo()->isEditable())
            return QAccessible::queryAccessibleInterface(Combo()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child && child->object() == Combo()->view())
            return 0;
        if (child && Combo()->isEditable() && child->object() == Combo()->lineEdit())
            return 1;
        return -1;
    }

    QAccessibleInterface* focusChild() const override
    {
        return Combo()->isEditable() ? child(1) : nullptr;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << showMenuAction() << pressAction();
        return names << QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == showMenuAction() || action == pressAction()) {
            if (!widget()->isEnabled())
                return;
            if (Combo()->view() && Combo()->view()->isVisible())
                Combo()->hidePopup();
            else
                Combo()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

// Qt asks with each class name of the object, most derived first; our control classes
// carry no meta-object of their own, so they are asked for as their Qt class.
QAccessibleInterface* DialogControlInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String("QRadioButton"))
        if (auto* radio = dynamic_cast<DialogRadioButton*>(object))
            return new RadioButtonAccessible(radio);
    if (className == QLatin1String("QComboBox"))
        if (auto* combo = dynamic_cast<DialogComboBox*>(object))
            return new ComboBoxAccessible(combo);
    return nullptr;
}

}  // namespace

void InstallDialogAccessibility()
{
    // The factory installed last is asked first: ours goes in after Qt's own, which the
    // application object installs.
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(DialogControlInterface);
    installed = true;
}
