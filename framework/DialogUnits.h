// Dialog units: template positions are in units of the dialog font, a quarter of its
// average character width across and an eighth of its height down, as Windows measures.
#pragma once

#include <QFont>
#include <QRect>
#include <string>

struct DialogFont {
    QFont font;
    int baseX = 6;   // average width of A..Z a..z, rounded as Windows rounds it
    int baseY = 13;  // character height (ascent + descent)

    int X(int dlu) const;
    int Y(int dlu) const;
    QRect Rect(int x, int y, int cx, int cy) const;
};

// The font a template names, mapped to one present here: the Windows sans fonts to a
// metric-compatible sans, the Japanese Gothic fonts to Noto Sans CJK JP. Point sizes
// are taken at 96 dots per inch, as on a standard Windows screen.
DialogFont MakeDialogFont(const std::string& typeface, int pointSize, int weight = 400, bool italic = false);
// Windows' MulDiv: a * b / c rounded half away from zero.
int MulDivRound(int a, int b, int c);
