// The status line at the bottom of the operation pages: a step text, a row of dots that
// grows, or a percentage. The long operations move it through the wizard (KeyProgress.h).
#pragma once

#include <string>

#include "framework/Afx.h"

// The status line control of an operation page.
class CStatusLine : public CStatic {
public:
    // Shows a string-table text and paints it at once: the step that follows keeps the
    // thread busy.
    void ShowStep(UINT nID);
    // One advance of the row of dots.
    void Advance();
    // The percentage in place of the last three bytes.
    void ShowPercent(int percent);
};

// The text after one advance of the row of dots: a dot is added up to 36 bytes, then
// every full stop goes and the row starts again.
std::string AdvancedStatusText(const std::string& text);
// The text with its last three bytes replaced by a two-digit percentage and "%".
std::string PercentStatusText(const std::string& text, int percent);

