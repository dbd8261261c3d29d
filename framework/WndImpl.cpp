#include "framework/WndImpl.h"

#include "framework/DialogTemplate.h"

CWndImpl::CWndImpl(QWidget* w, WndKind k, int controlId, uint32_t controlStyle)
    : QObject(w), widget(w), kind(k), id(controlId), style(controlStyle)
{
}

CWndImpl::~CWndImpl()
{
    if (bound && bound->Impl() == this)
        bound->Detach();
    bound = nullptr;
    owned.reset();
}

void CWndImpl::Bind(CWnd* obj)
{
    if (bound == obj)
        return;
    if (bound && bound->Impl() == this)
        bound->Detach();
    bound = obj;
}

CWndImpl* CWndImpl::FindControl(int controlId) const
{
    for (CWndImpl* c : controls)
        if (c->id == controlId)
            return c;
    return nullptr;
}

bool CWndImpl::IsAutoRadio() const
{
    return kind == WndKind::RadioButton && (style & BS_TYPEMASK) == BS_AUTORADIOBUTTON_STYLE;
}

bool CWndImpl::IsAutoCheck() const
{
    const uint32_t type = style & BS_TYPEMASK;
    return kind == WndKind::CheckBox && (type == BS_AUTOCHECKBOX_STYLE || type == BS_AUTO3STATE_STYLE);
}

void NotifyParent(CWndImpl* control, UINT code)
{
    if (!control || !control->dialog || !control->dialog->bound)
        return;
    control->dialog->bound->OnCmdMsg(code, static_cast<UINT>(control->id));
}
