#include "keydrive/KeyProgress.h"

#include "framework/Afx.h"
#include "keydrive/ProgressCounters.h"

CKeyProgress* KeyProgress()
{
    return dynamic_cast<CKeyProgress*>(AfxGetMainWnd());
}

void RepaintProgress()
{
    if (CKeyProgress* progress = KeyProgress())
        progress->Repaint();
}

bool StopRequested(UINT nQuestionID)
{
    CKeyProgress* progress = KeyProgress();
    return progress && progress->StopRequested(nQuestionID);
}

DWORD CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID)
{
    bool advance = CopyProgressCounter().Tick();
    if (CKeyProgress* progress = KeyProgress()) {
        if (advance)
            progress->AdvanceCopyProgress();
        progress->Repaint();
    }
    return 0;
}
