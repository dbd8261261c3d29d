#include "pages/FilterEdit.h"

BEGIN_MESSAGE_MAP(CFilterEdit, CEdit)
    ON_WM_CHAR()
END_MESSAGE_MAP()

// The whole character code is compared: a character of another script never matches.
void CFilterEdit::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags)
{
    switch (nChar) {
    case ' ':
    case '"':
    case '*':
    case '.':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
        return;   // dropped without a sound
    default:
        CEdit::OnChar(nChar, nRepCnt, nFlags);
    }
}
