// The short-name field: a single-line edit that drops, as they are typed, the characters a
// boot-menu label or a file name may not hold. Pasted text is not filtered.
#pragma once

#include "framework/Afx.h"

class CFilterEdit : public CEdit {
public:
    void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) override;

    DECLARE_MESSAGE_MAP()
};
