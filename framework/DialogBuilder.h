// Creates a page's widget and its controls from a dialog template.
#pragma once

#include <QWidget>

#include "framework/DialogTemplate.h"
#include "framework/DialogUnits.h"
#include "framework/WndImpl.h"

struct BuiltDialog {
    QWidget* widget = nullptr;
    CWndImpl* impl = nullptr;
    DialogFont font;
};

// The font a template asks for.
DialogFont FontOfTemplate(const DialogTemplateData& t);
// The page widget (size = template size in pixels) under parent, with every control at
// its place, its style applied, dialog groups numbered and the tab order set.
BuiltDialog BuildDialog(const DialogTemplateData& t, QWidget* parent);
// Gives the edit fields and combo boxes named after this static its text as their
// accessible name, and the sign-only push buttons described by it their description
// (after the static's text changed).
void UpdateFieldNames(CWndImpl* label);
