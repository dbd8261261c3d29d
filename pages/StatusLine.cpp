#include "pages/StatusLine.h"

#include <cstdio>

#include "framework/Afx.h"

// A row of dots grows to 36 bytes of text, then starts again.
static constexpr size_t kLongestToGrow = 35;

std::string AdvancedStatusText(const std::string& text)
{
    if (text.size() <= kLongestToGrow)
        return text + ".";
    std::string cleared;
    for (char c : text) {
        if (c != '.')
            cleared += c;
    }
    return cleared;
}

std::string PercentStatusText(const std::string& text, int percent)
{
    std::string kept = text.size() > 3 ? text.substr(0, text.size() - 3) : std::string();
    char digits[16];
    snprintf(digits, sizeof digits, "%.2d%%", percent);
    return kept + digits;
}

void CStatusLine::ShowStep(UINT nID)
{
    SetWindowText(LoadResString(nID).c_str());
    if (CWnd* sheet = AfxGetMainWnd())
        sheet->UpdateWindow();
}

void CStatusLine::Advance()
{
    SetWindowText(AdvancedStatusText(GetWindowText()).c_str());
}

void CStatusLine::ShowPercent(int percent)
{
    SetWindowText(PercentStatusText(GetWindowText(), percent).c_str());
}
